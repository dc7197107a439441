# Fails unless LIBRARY needs libusb-1.0 and is marked to stay loaded
# (NODELETE: its session threads may outlive a dlclose).
find_program(READELF readelf REQUIRED)
execute_process(COMMAND ${READELF} -d ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${LIBRARY}")
endif()
if(NOT out MATCHES "\\(NEEDED\\)[^\n]*\\[libusb-1\\.0\\.so\\.0\\]")
  message(FATAL_ERROR "${LIBRARY} does not link libusb-1.0:\n${out}")
endif()
if(NOT out MATCHES "\\(FLAGS_1\\)[^\n]*NODELETE")
  message(FATAL_ERROR "${LIBRARY} is not marked NODELETE:\n${out}")
endif()
message(STATUS "${LIBRARY} links libusb-1.0 and stays loaded")
