# Finds what the Python module needs and adds python/ when all of it is
# there. The interpreter is the system's /usr/bin/python3 unless
# Python3_EXECUTABLE names another: the module is built for one interpreter,
# and the tests run with that same one.
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "Interpreter the Python module is built for")
endif()
find_package(Python3 COMPONENTS Interpreter Development.Module NumPy)
if(Python3_FOUND)
  find_package(pybind11 CONFIG)
endif()
# Built with AddressSanitizer, the module needs the sanitizers' runtimes
# loaded before the interpreter starts: its tests preload them (GCC's
# libasan and libubsan), and leak checking is left off, as the interpreter
# keeps much of its memory to the end. Other sanitizers leave it out.
set(VREL_PYTHON_PRELOAD "")
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=address" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  foreach(runtime libasan.so libubsan.so)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    list(APPEND VREL_PYTHON_PRELOAD ${path})
  endforeach()
  list(JOIN VREL_PYTHON_PRELOAD ":" VREL_PYTHON_PRELOAD)
endif()
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=" AND NOT VREL_PYTHON_PRELOAD)
  message(STATUS "Python module: not built with these sanitizers")
elseif(NOT Python3_FOUND OR NOT pybind11_FOUND)
  message(STATUS "Python module: not built (needs pybind11-dev, python3-dev and python3-numpy)")
else()
  message(STATUS "Python module: for ${Python3_EXECUTABLE} (${Python3_VERSION})")
  add_subdirectory(python)
endif()
