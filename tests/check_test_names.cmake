# Fails when a test's name carries a dump of its parameter's bytes ("GetParam() = 8-byte
# object <...>") instead of the name its row's generator gives it: such a name says nothing in
# a failure list and changes with the row's layout.
#   cmake -DCTEST=<ctest> -DBUILD_DIR=<build folder> -P check_test_names.cmake
execute_process(COMMAND ${CTEST} -N WORKING_DIRECTORY ${BUILD_DIR}
                OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "ctest -N failed (${result}): ${errors}")
endif()
string(REGEX MATCHALL "Test +#[0-9]+: [^\n]*" names "${listing}")
list(LENGTH names count)
# The rows of the tables must be in the list at all, or there was nothing to look at.
if(NOT listing MATCHES "Sizes/MipmapAgainstGlu[.]EveryLevelMatches/1024x512")
  message(FATAL_ERROR "no row Sizes/MipmapAgainstGlu.EveryLevelMatches/1024x512 among ${count} tests")
endif()
set(dumps "")
foreach(name IN LISTS names)
  if(name MATCHES "GetParam\\(\\)|-byte object")
    string(APPEND dumps "\n  ${name}")
  endif()
endforeach()
if(dumps)
  message(FATAL_ERROR "test names with their parameter's bytes instead of a row name:${dumps}")
endif()
message(STATUS "${count} test names, none with a parameter dump")
