# Runs the C example host (HOST with LIBRARY) and the Fortran one (FORTRAN_HOST)
# on DATA and fails unless both succeed and print the same bytes.
execute_process(COMMAND ${HOST} --library ${LIBRARY} ${DATA} RESULT_VARIABLE cStatus
                OUTPUT_VARIABLE cOutput)
execute_process(COMMAND ${FORTRAN_HOST} ${DATA} RESULT_VARIABLE fortranStatus
                OUTPUT_VARIABLE fortranOutput)
if(NOT cStatus EQUAL 0 OR NOT fortranStatus EQUAL 0)
  message(FATAL_ERROR "the C host exited with ${cStatus}, the Fortran host with ${fortranStatus}")
endif()
if(NOT cOutput STREQUAL fortranOutput)
  string(LENGTH "${cOutput}" cLength)
  string(LENGTH "${fortranOutput}" fortranLength)
  message(FATAL_ERROR "on ${DATA} the Fortran host printed ${fortranLength} characters that "
                      "differ from the C host's ${cLength}; diff their outputs to see where")
endif()
