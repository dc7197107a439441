# Fails unless LIBRARY's dynamic symbol table defines exactly the five
# exports of the device library (undefined references to libc/libstdc++
# are not ours and are ignored).
find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")
set(found "")
foreach(line ${lines})
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] +" "" name "${line}")
  list(APPEND found ${name})
endforeach()
list(SORT found)
set(expected Quenzel_Device_Close Quenzel_Device_Open Quenzel_Get_Datas
  Quenzel_Single_Sample Quenzel_Start_Sample)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "${LIBRARY} exports:\n${out}\nexpected exactly: ${expected}")
endif()
message(STATUS "${LIBRARY}: exactly the five exports")
