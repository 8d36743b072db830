# Installs the build tree into a scratch prefix, then configures, builds and
# runs a small consumer project against it with find_package(vrel) and with
# pkg-config. The consumer is built with the flags of the build under test,
# so that a sanitizer build's library runs with its runtime.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()
foreach(f include/vrel/vrel.h)
  if(NOT EXISTS ${WORK_DIR}/prefix/${f})
    message(FATAL_ERROR "installed tree lacks ${f}")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G ${GENERATOR}
  -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix "-DCMAKE_C_FLAGS=${CONSUMER_C_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${CONSUMER_LINK_FLAGS}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "consumer configure failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "consumer build failed")
endif()
execute_process(COMMAND ${WORK_DIR}/consumer/consumer RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "consumer ok")
  message(FATAL_ERROR "consumer run failed: ${out}")
endif()
file(GLOB pc ${WORK_DIR}/prefix/lib*/pkgconfig/vrel.pc)
if(NOT pc)
  message(FATAL_ERROR "installed tree lacks vrel.pc")
endif()

# The same program built by hand from what pkg-config says, as a Makefile would.
find_program(PKG_CONFIG pkg-config REQUIRED)
get_filename_component(pc_dir ${pc} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs vrel RESULT_VARIABLE rc
  OUTPUT_VARIABLE pc_flags OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know the installed vrel")
endif()
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
separate_arguments(extra_flags UNIX_COMMAND "${CONSUMER_C_FLAGS} ${CONSUMER_LINK_FLAGS}")
execute_process(COMMAND ${C_COMPILER} ${extra_flags} ${CONSUMER_DIR}/main.c ${pc_flags}
  -o ${WORK_DIR}/consumer-pc RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "consumer build with pkg-config flags failed")
endif()
get_filename_component(lib_dir ${pc_dir} DIRECTORY)
set(ENV{LD_LIBRARY_PATH} ${lib_dir})
execute_process(COMMAND ${WORK_DIR}/consumer-pc RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "consumer ok")
  message(FATAL_ERROR "pkg-config consumer run failed: ${out}")
endif()
message(STATUS "consumer built against the installed tree")
