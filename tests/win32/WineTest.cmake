# scaleboot_add_wine_test(NAME <name> COMMAND <command> [<arg>...] [<add_test option>...])
#
# A test of a Windows cross build, whose programs run under Wine (see wine.sh). Where this machine cannot start
# them (a 32-bit build on a machine that runs no 32-bit programs) the test says why and exits with 77, which
# CTest reports as skipped, neither passed nor failed.
include_guard(GLOBAL)

function(scaleboot_add_wine_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME" "")
  add_test(${ARGV})
  set_tests_properties("${arg_NAME}" PROPERTIES SKIP_RETURN_CODE 77)
endfunction()
