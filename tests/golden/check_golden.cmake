# Runs the golden program and compares the SHA-256 digest of every output
# with the table: one line per case, "<digest>  <case>". Names the cases
# that differ, are missing or are not in the table.
#
#   cmake -DPROGRAM=<vrel_golden> -DDATA=<dir of sample.vdb> -DOUT=<scratch dir>
#         -DTABLE=tests/golden/golden.sha256 [-DLAUNCHER=wine] [-DREGENERATE=ON]
#         -P tests/golden/check_golden.cmake
#
# To regenerate the table after an intended change of the engine's output,
# run it once with -DREGENERATE=ON from a host build (for instance
# `cmake -DPROGRAM=build/default/tests/golden/vrel_golden -DDATA=data/sample
# -DOUT=/tmp/golden -DTABLE=tests/golden/golden.sha256 -DREGENERATE=ON -P
# tests/golden/check_golden.cmake`), then check that .ci/windows.sh and a
# VREL_FORCE_PORTABLE=1 ctest still pass against it.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${LAUNCHER} ${PROGRAM} ${DATA} . WORKING_DIRECTORY ${OUT}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} failed (${status})")
endif()
file(GLOB outputs RELATIVE ${OUT} ${OUT}/*.out)
list(SORT outputs)
if(REGENERATE)
  set(table "")
  foreach(output ${outputs})
    file(SHA256 ${OUT}/${output} digest)
    string(REGEX REPLACE "\\.out$" "" name ${output})
    string(APPEND table "${digest}  ${name}\n")
  endforeach()
  file(WRITE ${TABLE} "${table}")
  list(LENGTH outputs count)
  message(STATUS "${count} cases written to ${TABLE}")
  return()
endif()
file(STRINGS ${TABLE} lines)
set(problems 0)
foreach(line ${lines})
  string(REGEX MATCH "^([0-9a-f]+)  (.+)$" _ "${line}")
  set(name ${CMAKE_MATCH_2})
  list(REMOVE_ITEM outputs ${name}.out)
  if(NOT EXISTS ${OUT}/${name}.out)
    message(SEND_ERROR "case ${name}: no output")
  else()
    file(SHA256 ${OUT}/${name}.out digest)
    if(NOT digest STREQUAL CMAKE_MATCH_1)
      message(SEND_ERROR "case ${name} differs: ${digest}")
    endif()
  endif()
endforeach()
foreach(output ${outputs})
  message(SEND_ERROR "case ${output} is not in the table")
endforeach()
list(LENGTH lines count)
message(STATUS "${count} cases compared")
