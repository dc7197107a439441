# Fails when the program FILE needs Qt Gui or Qt Widgets: the window-free
# code and its tests must run without them.
execute_process(COMMAND readelf -d ${FILE} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${FILE}")
endif()
string(REGEX MATCHALL "Shared library: \\[[^]]*\\]" needed "${dynamic}")
foreach(lib ${needed})
  if(lib MATCHES "libQt6(Gui|Widgets|PrintSupport)")
    message(FATAL_ERROR "${FILE} needs ${lib}")
  endif()
endforeach()
message(STATUS "${FILE}: ${needed}")
