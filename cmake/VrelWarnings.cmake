# Warning flags shared by every target of the project.
add_library(vrel_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(vrel_warnings INTERFACE -Wall -Wextra -Wpedantic)
  if(VREL_WERROR)
    target_compile_options(vrel_warnings INTERFACE -Werror)
  endif()
endif()
