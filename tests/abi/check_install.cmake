# Installs the build tree into a scratch prefix, then configures, builds and
# runs against it: a small consumer project and the README's example
# (examples/, whose printed lines the README shows) with find_package(vrel), shared and static, and both again with
# pkg-config, the static one from a prefix that holds only the archive. The
# programs are built with the flags of the build under test, so that a
# sanitizer build's library runs with its runtime.
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
set(example_source ${SOURCE_DIR}/examples/convert_line.c)
set(sample_dir ${SOURCE_DIR}/data/sample)

file(READ ${SOURCE_DIR}/README.md readme_text)

# The example prints one line per pixel; white paper takes no ink.
function(check_example program)
  execute_process(COMMAND ${program} ${sample_dir} RESULT_VARIABLE rc OUTPUT_VARIABLE out
    ERROR_VARIABLE err)
  string(REGEX MATCHALL "RGB[^\n]*\n" lines "${out}")
  list(LENGTH lines n)
  if(NOT rc EQUAL 0 OR NOT n EQUAL 4
     OR NOT out MATCHES "RGB 255 255 255 -> C   0 M   0 Y   0 K   0")
    message(FATAL_ERROR "${program} failed (${rc}): ${out}${err}")
  endif()
  # The README shows what the example prints, line for line.
  foreach(line ${lines})
    string(FIND "${readme_text}" "    ${line}" shown)
    if(shown EQUAL -1)
      message(FATAL_ERROR "the README does not show the example's line: ${line}")
    endif()
  endforeach()
endfunction()

function(build_project name source_dir)
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${source_dir} -B ${WORK_DIR}/${name} -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix "-DCMAKE_C_FLAGS=${CONSUMER_C_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${CONSUMER_LINK_FLAGS}" ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${name} configure failed")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/${name} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${name} build failed")
  endif()
endfunction()

build_project(consumer ${CONSUMER_DIR} -DEXAMPLE_SOURCE=${example_source})
execute_process(COMMAND ${WORK_DIR}/consumer/consumer RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "consumer ok")
  message(FATAL_ERROR "consumer run failed: ${out}")
endif()
check_example(${WORK_DIR}/consumer/example_static)
build_project(example ${SOURCE_DIR}/examples)
check_example(${WORK_DIR}/example/convert_line)

file(GLOB pc ${WORK_DIR}/prefix/lib*/pkgconfig/vrel.pc)
if(NOT pc)
  message(FATAL_ERROR "installed tree lacks vrel.pc")
endif()

# The same programs built by hand from what pkg-config says, as a Makefile would.
find_program(PKG_CONFIG pkg-config REQUIRED)
separate_arguments(extra_flags UNIX_COMMAND "${CONSUMER_C_FLAGS} ${CONSUMER_LINK_FLAGS}")
function(build_with_pkg_config prefix source output)
  file(GLOB pc ${prefix}/lib*/pkgconfig/vrel.pc)
  get_filename_component(pc_dir ${pc} DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  execute_process(COMMAND ${PKG_CONFIG} ${ARGN} --cflags --libs vrel RESULT_VARIABLE rc
    OUTPUT_VARIABLE pc_flags OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know the vrel in ${prefix}")
  endif()
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  execute_process(COMMAND ${C_COMPILER} ${extra_flags} ${source} ${pc_flags} -o ${output}
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${output}: build with pkg-config ${ARGN} flags failed")
  endif()
endfunction()

build_with_pkg_config(${WORK_DIR}/prefix ${CONSUMER_DIR}/main.c ${WORK_DIR}/consumer-pc)
get_filename_component(lib_dir ${pc} DIRECTORY)
get_filename_component(lib_dir ${lib_dir} DIRECTORY)
set(ENV{LD_LIBRARY_PATH} ${lib_dir})
execute_process(COMMAND ${WORK_DIR}/consumer-pc RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "consumer ok")
  message(FATAL_ERROR "pkg-config consumer run failed: ${out}")
endif()
unset(ENV{LD_LIBRARY_PATH})

# A prefix with the archive only: -lvrel can find nothing but libvrel.a.
file(COPY ${WORK_DIR}/prefix/ DESTINATION ${WORK_DIR}/prefix-static)
file(GLOB shared ${WORK_DIR}/prefix-static/lib*/libvrel.so*)
file(REMOVE ${shared})
build_with_pkg_config(${WORK_DIR}/prefix-static ${example_source} ${WORK_DIR}/example-pc-static
  --static)
check_example(${WORK_DIR}/example-pc-static)
message(STATUS "consumer and example built against the installed tree")
