# Installs the build tree into a scratch prefix, then configures, builds and
# runs against it: a small consumer project and the README's example
# (examples/, whose printed lines the README shows) with find_package(vrel),
# shared and static, and both again with pkg-config, the static one through
# the archive's own vrel.pc; only the shared builds may need libvrel.so. The
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

# The same programs built by hand from what pkg-config says, as a Makefile
# would, with PKG_CONFIG_PATH set to the folder of the vrel.pc in use.
find_program(PKG_CONFIG pkg-config REQUIRED)
find_program(LDD ldd REQUIRED)
separate_arguments(extra_flags UNIX_COMMAND "${CONSUMER_C_FLAGS} ${CONSUMER_LINK_FLAGS}")
function(build_with_pkg_config pc_dir source output)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  execute_process(COMMAND ${PKG_CONFIG} ${ARGN} --cflags --libs vrel RESULT_VARIABLE rc
    OUTPUT_VARIABLE pc_flags OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know the vrel in ${pc_dir}")
  endif()
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  execute_process(COMMAND ${C_COMPILER} ${extra_flags} ${source} ${pc_flags} -o ${output}
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${output}: build with pkg-config ${ARGN} flags failed")
  endif()
endfunction()

# Whether the program's dynamic section and the loader both name libvrel.so
# as a library it needs; `needs` is the expected answer.
function(check_needs_shared program needs)
  execute_process(COMMAND ${READELF} -d ${program} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
  execute_process(COMMAND ${LDD} ${program} OUTPUT_VARIABLE loaded)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "readelf cannot read ${program}")
  endif()
  string(REGEX MATCH "NEEDED[^\n]*libvrel\\.so" in_dynamic "${dynamic}")
  string(REGEX MATCH "libvrel\\.so" in_loaded "${loaded}")
  if(needs AND NOT (in_dynamic AND in_loaded))
    message(FATAL_ERROR "${program} does not link libvrel.so:\n${dynamic}\n${loaded}")
  elseif(NOT needs AND (in_dynamic OR in_loaded))
    message(FATAL_ERROR "${program} needs libvrel.so:\n${dynamic}\n${loaded}")
  endif()
endfunction()

check_needs_shared(${WORK_DIR}/consumer/consumer TRUE)
check_needs_shared(${WORK_DIR}/consumer/example_static FALSE)
get_filename_component(pc_dir ${pc} DIRECTORY)
get_filename_component(lib_dir ${pc_dir} DIRECTORY)
build_with_pkg_config(${pc_dir} ${CONSUMER_DIR}/main.c ${WORK_DIR}/consumer-pc)
set(ENV{LD_LIBRARY_PATH} ${lib_dir})
check_needs_shared(${WORK_DIR}/consumer-pc TRUE)
execute_process(COMMAND ${WORK_DIR}/consumer-pc RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "consumer ok")
  message(FATAL_ERROR "pkg-config consumer run failed: ${out}")
endif()

# The archive's own vrel.pc, in the same prefix as libvrel.so: the program
# needs no libvrel.so even where the loader would find one.
set(static_pc_dir ${lib_dir}/vrel-static/pkgconfig)
if(NOT EXISTS ${static_pc_dir}/vrel.pc OR NOT EXISTS ${lib_dir}/vrel-static/libvrel.a)
  message(FATAL_ERROR "installed tree lacks vrel-static/libvrel.a or its vrel.pc")
endif()
build_with_pkg_config(${static_pc_dir} ${example_source} ${WORK_DIR}/example-pc-static --static)
check_needs_shared(${WORK_DIR}/example-pc-static FALSE)
unset(ENV{LD_LIBRARY_PATH})
check_example(${WORK_DIR}/example-pc-static)
message(STATUS "consumer and example built against the installed tree")
