# Configures and builds the project against altered copies of the firmware folder, as a maintainer dropping in
# other images would:
#  - an image with a wrong trailer configures with a warning, builds, and the program counts it as damaged; with
#    SCALEBOOT_FIRMWARE_STRICT=ON (the release builds) the same image stops the configure step;
#  - an image of the wrong length stops the configure step with a message naming the file and the length;
#  - the folder report of cmake/FirmwareCheck.cmake tells the repository's placeholders, generated ones and
#    other images apart, carries the labels of the folder's description, and refuses a description that is
#    missing, does not match the images or holds a label of the wrong form, naming the image and the problem.
# Run as: cmake -DSOURCE_DIR=... -DWORK_DIR=... -DFIRMWARE_DIR=... -DGENERATOR=... -P FirmwareFolderTest.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/damaged" "${WORK_DIR}/short" "${WORK_DIR}/generated" "${WORK_DIR}/other")
file(GLOB images "${FIRMWARE_DIR}/*.bin" "${FIRMWARE_DIR}/images.txt")
file(COPY ${images} DESTINATION "${WORK_DIR}/damaged")
file(COPY ${images} DESTINATION "${WORK_DIR}/short")

# put_byte(PATH OFFSET VALUE): writes one byte (VALUE, decimal) at OFFSET with coreutils' dd.
function(put_byte path offset value)
  math(EXPR high "${value} / 64")
  math(EXPR mid "(${value} / 8) % 8")
  math(EXPR low "${value} % 8")
  execute_process(COMMAND sh -c "printf '\\${high}${mid}${low}' | dd of='${path}' bs=1 seek=${offset} conv=notrunc status=none"
                  RESULT_VARIABLE rc)
  file(READ "${path}" check OFFSET ${offset} LIMIT 1 HEX)
  math(EXPR written "0x${check}")
  if(NOT rc EQUAL 0 OR NOT written EQUAL value)
    message(FATAL_ERROR "could not write byte ${offset} of ${path}")
  endif()
endfunction()
function(byte_at path offset out_var)
  file(READ "${path}" hex OFFSET ${offset} LIMIT 1 HEX)
  math(EXPR value "0x${hex}")
  set(${out_var} ${value} PARENT_SCOPE)
endfunction()

# Damage the last trailer byte of yk936.bin (flip its top bit).
set(damaged "${WORK_DIR}/damaged/yk936.bin")
file(SIZE "${damaged}" size)
math(EXPR last "${size} - 1")
byte_at("${damaged}" ${last} byte)
math(EXPR flipped "(${byte} + 128) % 256")
put_byte("${damaged}" ${last} ${flipped})

execute_process(
  COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/build-damaged" -G Ninja
          -DSCALEBOOT_FIRMWARE_DIR=${WORK_DIR}/damaged -DSCALEBOOT_BUILD_GUI=OFF -DSCALEBOOT_BUILD_TESTS=OFF
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "a damaged trailer must not stop the configure step:\n${out}\n${err}")
endif()
string(REGEX REPLACE "[ \n]+" " " err "${err}")
set(trailer_message "damaged/yk936.bin: trailer [0-9]+ instead of [0-9]+ \\(the sum of its payload bytes\\)")
if(NOT err MATCHES "${trailer_message}")
  message(FATAL_ERROR "no warning about the damaged trailer:\n${err}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}/build-damaged" --target firmware_table
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the build with a damaged image failed:\n${out}\n${err}")
endif()
execute_process(COMMAND "${WORK_DIR}/build-damaged/firmware_table" OUTPUT_VARIABLE table)
if(NOT table MATCHES "image\tyk936.bin\t15750\tP2829xx\tdamaged\n" OR NOT table MATCHES "\ncorrupt\t1\n" OR
   NOT table MATCHES "image\t32yk2368.bin\t422916\tP32xx35\tsound\n" OR NOT table MATCHES "version\tA\tP321835\n")
  message(FATAL_ERROR "the damaged image was not counted:\n${table}")
endif()

# A release build refuses the same folder.
execute_process(
  COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/build-strict" -G Ninja
          -DSCALEBOOT_FIRMWARE_DIR=${WORK_DIR}/damaged -DSCALEBOOT_FIRMWARE_STRICT=ON -DSCALEBOOT_BUILD_GUI=OFF
          -DSCALEBOOT_BUILD_TESTS=OFF
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX REPLACE "[ \n]+" " " err "${err}")
if(rc EQUAL 0 OR NOT err MATCHES "${trailer_message}.*A release is not built from a damaged image")
  message(FATAL_ERROR "SCALEBOOT_FIRMWARE_STRICT must refuse a damaged trailer (status ${rc}):\n${err}")
endif()

# Cut one byte off 32yk936.bin.
execute_process(COMMAND truncate -s -1 "${WORK_DIR}/short/32yk936.bin")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/build-short" -G Ninja
          -DSCALEBOOT_FIRMWARE_DIR=${WORK_DIR}/short -DSCALEBOOT_BUILD_GUI=OFF -DSCALEBOOT_BUILD_TESTS=OFF
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(FATAL_ERROR "an image of the wrong length must stop the configure step")
endif()
string(REGEX REPLACE "[ \n]+" " " err "${err}")
if(NOT err MATCHES "short/32yk936.bin: length 15749 instead of 15750")
  message(FATAL_ERROR "unclear message for the wrong length:\n${err}")
endif()

# The report: generated images with other bytes, and one whose marker is gone (its first byte swapped with a
# later one, so the sum and the trailer still hold).
set(other_labels P41xx07 P4102xx P40xx03 P4005xx)
execute_process(COMMAND "${GENERATOR}" "${WORK_DIR}/generated" 7 ${other_labels} RESULT_VARIABLE rc OUTPUT_QUIET)
execute_process(COMMAND "${GENERATOR}" "${WORK_DIR}/other" 7 ${other_labels} RESULT_VARIABLE rc2 OUTPUT_QUIET)
if(NOT rc EQUAL 0 OR NOT rc2 EQUAL 0)
  message(FATAL_ERROR "the placeholder generator failed")
endif()
set(other "${WORK_DIR}/other/yk2368.bin")
byte_at("${other}" 0 first)
byte_at("${other}" 1000 later)
if(first EQUAL later)
  message(FATAL_ERROR "bytes 0 and 1000 of ${other} are the same: pick another")
endif()
put_byte("${other}" 0 ${later})
put_byte("${other}" 1000 ${first})

# Descriptions altered: copies of the generated folder, each with one line of images.txt replaced (by sed).
set(described "${WORK_DIR}/generated")
# name | sed command on images.txt ("remove" removes the file)
set(alterations
  "missing|remove"
  "length|s/^yk936.bin 15750 /yk936.bin 15751 /"
  "prefix|s/^32yk936.bin 15750 P41/32yk936.bin 15750 P42/"
  "placeholder|s/^yk2368.bin 422916 P40xx03/yk2368.bin 422916 P40xx04/"
  "form936|s/^yk936.bin 15750 P4005xx/yk936.bin 15750 P400535/"
  "form2368|s/^32yk2368.bin 422916 P41xx07/32yk2368.bin 422916 P4101xx/"
  "own2368|s/^32yk2368.bin 422916 P41xx07/32yk2368.bin 422916 P41xxxx/"
  "size|s/^yk936.bin 15750 P4005xx/yk936.bin 15750 P4005xxx/"
  "unknown|s/^yk936.bin /yk937.bin /")
foreach(alteration IN LISTS alterations)
  string(REPLACE "|" ";" parts "${alteration}")
  list(GET parts 0 name)
  list(GET parts 1 command)
  file(COPY "${described}/" DESTINATION "${WORK_DIR}/described-${name}")
  if(command STREQUAL "remove")
    file(REMOVE "${WORK_DIR}/described-${name}/images.txt")
  else()
    execute_process(COMMAND sed -i "${command}" "${WORK_DIR}/described-${name}/images.txt" RESULT_VARIABLE rc)
    file(READ "${WORK_DIR}/described-${name}/images.txt" altered)
    file(READ "${described}/images.txt" unaltered)
    if(NOT rc EQUAL 0 OR altered STREQUAL unaltered)
      message(FATAL_ERROR "sed '${command}' did not change the description")
    endif()
  endif()
endforeach()
set(d "${WORK_DIR}/described")

# folder | expected report lines (regular expressions), one case each
set(cases
  "${d}-missing|^problem\t[^\n]*described-missing/images.txt: missing [^\n]*\n$"
  "${d}-length|^problem\t[^\n]*described-length/yk936.bin: length 15750 instead of 15751\nimage\t"
  "${d}-prefix|^problem\t[^\n]*images.txt: 32yk936.bin: label P4202xx does not begin as 32yk2368.bin's \\(P41xx07\\)"
  "${d}-placeholder|^problem\t[^\n]*described-placeholder/yk2368.bin: a placeholder of label P40xx03, described as P40xx04\nimage\t"
  "${d}-form936|^problem\t[^\n]*images.txt: yk936.bin: label P400535: a 936 image's label has its own two characters at 4-5 and \"xx\" at 6-7\n$"
  "${d}-form2368|^problem\t[^\n]*images.txt: 32yk2368.bin: label P4101xx: a 2368 image's label has \"xx\" at characters 4-5"
  "${d}-own2368|^problem\t[^\n]*images.txt: 32yk2368.bin: label P41xxxx: a 2368 image's label has \"xx\" at characters 4-5 and its own two at 6-7\n$"
  "${d}-size|^problem\t[^\n]*images.txt: yk936.bin: label \"P4005xxx\" is not seven characters"
  "${d}-unknown|^problem\t[^\n]*images.txt: line [0-9]+: yk937.bin is none of the images.*images.txt: yk936.bin is not described\n$"
  "${SOURCE_DIR}/resources/firmware|image\t32yk2368.bin\t422916\t[0-9a-f]+\trepository\tP32xx35\nimage\t32yk936.bin\t15750\t[0-9a-f]+\trepository\tP3218xx\nimage\tyk2368.bin\t422916\t[0-9a-f]+\trepository\tP28xx35\nimage\tyk936.bin\t15750\t[0-9a-f]+\trepository\tP2829xx\n"
  "${WORK_DIR}/generated|image\t32yk2368.bin\t422916\t[0-9a-f]+\tgenerated\tP41xx07\n.*image\tyk936.bin\t15750\t[0-9a-f]+\tgenerated\tP4005xx\n"
  "${WORK_DIR}/other|image\t32yk936.bin\t15750\t[0-9a-f]+\tgenerated\tP4102xx\nimage\tyk2368.bin\t422916\t[0-9a-f]+\tno\tP40xx03\n"
  "${WORK_DIR}/damaged|^problem\t[^\n]*damaged/yk936.bin: trailer [0-9]+ instead of [0-9]+ [^\n]*\nimage\t32yk2368.bin\t"
  "${WORK_DIR}/short|^problem\t[^\n]*short/32yk936.bin: length 15749 instead of 15750\n"
  "${WORK_DIR}/none|^problem\t[^\n]*/none: no such folder\n$")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 folder)
  list(GET parts 1 expected)
  file(REMOVE "${WORK_DIR}/report.txt")
  execute_process(COMMAND "${CMAKE_COMMAND}" -DFIRMWARE_DIR=${folder} -DREPORT=${WORK_DIR}/report.txt
                          -P "${SOURCE_DIR}/cmake/FirmwareCheck.cmake" RESULT_VARIABLE rc ERROR_VARIABLE err)
  file(READ "${WORK_DIR}/report.txt" report)
  if(NOT rc EQUAL 0 OR NOT report MATCHES "${expected}")
    message(FATAL_ERROR "report of ${folder} (status ${rc}):\n${report}${err}\nexpected:\n${expected}")
  endif()
endforeach()
# The generated images differ from the repository's.
file(SHA256 "${WORK_DIR}/generated/yk936.bin" generated_hash)
file(SHA256 "${SOURCE_DIR}/resources/firmware/yk936.bin" repository_hash)
if(generated_hash STREQUAL repository_hash)
  message(FATAL_ERROR "seed 7 gave the repository's own yk936.bin")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "firmware folder checks passed")
