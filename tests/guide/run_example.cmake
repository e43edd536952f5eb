# Runs one of the guide's examples on DATA. Its source file SOURCE must
# appear verbatim in GUIDE. With OUTPUT it writes the reference; otherwise
# its output must equal REFERENCE byte for byte. With PYTHON the example is a
# script run on the package under PYTHONPATH, which loads LIBRARY; when the
# package is not in the tree the run is skipped.
file(READ ${SOURCE} source)
file(READ ${GUIDE} guide)
string(FIND "${guide}" "${source}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${GUIDE} does not quote ${SOURCE} as it is")
endif()
if(PYTHON)
  if(NOT EXISTS ${PYTHONPATH}/mxplugin/__init__.py)
    message("skipped: the Python package is not in this tree (${PYTHONPATH}/mxplugin)")
    return()
  endif()
  set(PROGRAM ${SOURCE})
  set(command ${CMAKE_COMMAND} -E env PYTHONPATH=${PYTHONPATH} MXPLUGIN_LIBRARY=${LIBRARY}
              ${PYTHON} ${SOURCE})
else()
  set(command ${PROGRAM})
endif()
execute_process(COMMAND ${command} ${DATA} RESULT_VARIABLE status OUTPUT_VARIABLE output
                ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} exited with ${status}:\n${output}${errors}")
endif()
if(OUTPUT)
  file(WRITE ${OUTPUT} "${output}")
  message("${output}")
  return()
endif()
file(READ ${REFERENCE} expected)
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "${PROGRAM} printed\n${output}\nwhere the C example printed\n${expected}")
endif()
message("${output}")
