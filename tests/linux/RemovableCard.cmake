# scaleboot_add_card_test(NAME <name> [CARDS <count>] [TYPE <vfat|ext2>] COMMAND <program> [<arg>...])
#
# A test whose command runs under tests/linux/removable-card.sh, with fresh, empty cards mounted for it that the
# program lists as removable drives (one unless CARDS says more, of the file system TYPE where given; the first's mount point, ending in "/", in
# SCALEBOOT_TEST_CARD, the second's in SCALEBOOT_TEST_CARD2; see the script for the rest). <program> may be a
# target name. The test counts as skipped where the cards cannot be made (not root, no loop device).
include_guard(GLOBAL)

function(scaleboot_add_card_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;CARDS;TYPE" "COMMAND")
  list(POP_FRONT arg_COMMAND program)
  if(TARGET "${program}")
    scaleboot_program_runner(program "${program}")
  endif()
  if(NOT arg_CARDS)
    set(arg_CARDS 1)
  endif()
  add_test(NAME "${arg_NAME}" COMMAND "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/removable-card.sh" "${program}" ${arg_COMMAND})
  set(environment "SCALEBOOT_TEST_CARDS=${arg_CARDS}")
  if(arg_TYPE)
    list(APPEND environment "SCALEBOOT_TEST_CARD_TYPE=${arg_TYPE}")
  endif()
  set_tests_properties("${arg_NAME}" PROPERTIES SKIP_RETURN_CODE 77 ENVIRONMENT "${environment}")
endfunction()

# scaleboot_program_runner(<var> <target>): what runs <target> on this machine, for a script that starts it: the
# program itself, or in a cross build a small script beside it that starts it under the emulator (qemu-user),
# passing its arguments and taking its process id, so that the signals a test sends reach the program.
function(scaleboot_program_runner var target)
  if(CMAKE_CROSSCOMPILING AND NOT WIN32)
    set(runner "${CMAKE_CURRENT_BINARY_DIR}/run-${target}")
    file(GENERATE OUTPUT "${runner}"
         CONTENT "#!/bin/sh\nexec ${CMAKE_CROSSCOMPILING_EMULATOR} \"$<TARGET_FILE:${target}>\" \"$@\"\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(${var} "${runner}" PARENT_SCOPE)
  else()
    set(${var} "$<TARGET_FILE:${target}>" PARENT_SCOPE)
  endif()
endfunction()
