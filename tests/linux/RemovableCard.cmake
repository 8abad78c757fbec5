# scaleboot_add_card_test(NAME <name> COMMAND <program> [<arg>...])
#
# A test whose command runs under tests/linux/removable-card.sh, with a fresh, empty card mounted for it that
# the program lists as a removable drive (its mount point, ending in "/", in SCALEBOOT_TEST_CARD; see the
# script for the rest). <program> may be a target name. The test counts as skipped where the card cannot be
# made (not root, no loop device).
include_guard(GLOBAL)

function(scaleboot_add_card_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME" "COMMAND")
  list(POP_FRONT arg_COMMAND program)
  if(TARGET "${program}")
    set(program "$<TARGET_FILE:${program}>")
  endif()
  add_test(NAME "${arg_NAME}" COMMAND "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/removable-card.sh" "${program}" ${arg_COMMAND})
  set_tests_properties("${arg_NAME}" PROPERTIES SKIP_RETURN_CODE 77)
endfunction()
