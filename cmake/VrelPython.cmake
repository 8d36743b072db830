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
# A module built with the sanitizers would need their runtimes preloaded
# into the interpreter; the sanitizer builds leave it out.
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
  message(STATUS "Python module: not built with the sanitizers")
elseif(NOT Python3_FOUND OR NOT pybind11_FOUND)
  message(STATUS "Python module: not built (needs pybind11-dev, python3-dev and python3-numpy)")
else()
  message(STATUS "Python module: for ${Python3_EXECUTABLE} (${Python3_VERSION})")
  add_subdirectory(python)
endif()
