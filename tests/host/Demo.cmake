# The README's main job: kxf-host demo with its default vendor library, the bundled software token.
if(NOT TOKEN)
  message("SKIPPED: the software token (target skfsoft) is not part of this build")
  return()
endif()
execute_process(COMMAND ${HOST} demo RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "kxf-host demo against ${TOKEN} exited with ${rc}")
endif()
