# The engine script the program carries (resources/web/bleeptone_engine.js,
# committed) must be the one the web build makes from today's source:
#   cmake -DBUILT=build/web/web/bleeptone_engine.js -DCOMMITTED=resources/web/bleeptone_engine.js -P ...
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${BUILT}" "${COMMITTED}" RESULT_VARIABLE different)
if(different)
  message(FATAL_ERROR "${COMMITTED} is stale (it differs from ${BUILT}): run `make web-engine` and commit it")
endif()
