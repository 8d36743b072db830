# Fails unless the dynamic symbol table of LIBRARY defines exactly the
# fourteen engine functions.
set(expected
  VrelBitmapColorConversion VrelBitmapColorCorrection VrelClose VrelGetProfileName
  VrelGetProfileNameC VrelGetSearchData VrelGetSearchDataC VrelInit VrelInitColorConversion
  VrelLineColorConversion VrelOnDotBlack VrelPixelColorConversion VrelPixelColorCorrection
  VrelReset)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${out}")
set(found)
foreach(line ${lines})
  if(line MATCHES "^[0-9a-fA-F]+ +([A-Za-z]) +([^ @]+)")
    set(kind ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    # Absolute symbols are version-node markers of the linker, not code or data.
    if(kind STREQUAL "A")
      continue()
    endif()
    list(APPEND found ${name})
  endif()
endforeach()
list(SORT found)
list(REMOVE_DUPLICATES found)
set(extra ${found})
list(REMOVE_ITEM extra ${expected})
set(missing ${expected})
list(REMOVE_ITEM missing ${found})
if(extra OR missing)
  message(FATAL_ERROR "export table mismatch\n  unexpected: ${extra}\n  missing: ${missing}")
endif()
list(LENGTH found n)
message(STATUS "exactly ${n} engine functions exported")
