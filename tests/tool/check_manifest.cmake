# Reads the resources of IMAGE back with WINDRES and checks for the
# application manifest: resource 1 of type 24 (RT_MANIFEST) describing the
# tool and asking for administrator rights.
execute_process(COMMAND ${WINDRES} -i ${IMAGE} -O rc OUTPUT_VARIABLE resources ERROR_VARIABLE errors
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${WINDRES} cannot read the resources of ${IMAGE}: ${errors}")
endif()
# The script form doubles the quotes inside its strings.
string(REPLACE "\"\"" "\"" resources "${resources}")
string(REGEX MATCH "\n1 24 [^\n]*\nBEGIN\n(.*)\nEND" manifest "${resources}")
if(NOT manifest)
  message(FATAL_ERROR "${IMAGE} has no resource 1 of type 24 (RT_MANIFEST):\n${resources}")
endif()
foreach(needed
    "<description>register service</description>"
    "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>")
  string(FIND "${manifest}" "${needed}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the manifest of ${IMAGE} lacks ${needed}:\n${manifest}")
  endif()
endforeach()
message(STATUS "manifest of ${IMAGE}: RT_MANIFEST 1, requireAdministrator")
