# The training run of the profile-guided build (see pgo.cmake), run with
# cmake -P: PGO_DIR (the record), TRAINER (the program), STAMP (touched on
# success).
#
# The record is made afresh each time: the profiling runtime adds a run's
# counts to those it finds.
file(REMOVE_RECURSE ${PGO_DIR})
execute_process(COMMAND ${TRAINER} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the training run failed: ${status}")
endif()
# Without the record of these units the optimised build would quietly do
# without one (it must not warn about the units training does not reach).
file(GLOB records RELATIVE ${PGO_DIR} ${PGO_DIR}/*.gcda)
foreach(unit xlexer xgrammaruntraced xparserreduce xvalidator xcatalogindex qvi18n_string)
  set(found ${records})
  list(FILTER found INCLUDE REGEX "#${unit}\\.cpp\\.gcda$")
  if(NOT found)
    message(FATAL_ERROR "the training run left no record for ${unit}.cpp in ${PGO_DIR}")
  endif()
endforeach()
file(TOUCH ${STAMP})
