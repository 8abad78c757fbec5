# Configures and builds the project against altered copies of the firmware folder, as a maintainer dropping in
# other images would:
#  - an image with a wrong trailer configures with a warning, builds, and the program counts it as damaged; with
#    SCALEBOOT_FIRMWARE_STRICT=ON (the release builds) the same image stops the configure step;
#  - an image of the wrong length stops the configure step with a message naming the file and the length;
#  - the folder report of cmake/FirmwareCheck.cmake tells the repository's placeholders, generated ones and
#    other images apart.
# Run as: cmake -DSOURCE_DIR=... -DWORK_DIR=... -DFIRMWARE_DIR=... -DGENERATOR=... -P FirmwareFolderTest.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/damaged" "${WORK_DIR}/short" "${WORK_DIR}/generated" "${WORK_DIR}/other")
file(GLOB images "${FIRMWARE_DIR}/*.bin")
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
execute_process(COMMAND "${GENERATOR}" "${WORK_DIR}/generated" 7 RESULT_VARIABLE rc OUTPUT_QUIET)
execute_process(COMMAND "${GENERATOR}" "${WORK_DIR}/other" 7 RESULT_VARIABLE rc2 OUTPUT_QUIET)
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

# folder | expected report lines (regular expressions), one case each
set(cases
  "${SOURCE_DIR}/resources/firmware|image\t32yk2368.bin\t422916\t[0-9a-f]+\trepository\nimage\t32yk936.bin\t15750\t[0-9a-f]+\trepository\nimage\tyk2368.bin\t422916\t[0-9a-f]+\trepository\nimage\tyk936.bin\t15750\t[0-9a-f]+\trepository\n"
  "${WORK_DIR}/generated|image\t32yk2368.bin\t422916\t[0-9a-f]+\tgenerated\n.*image\tyk936.bin\t15750\t[0-9a-f]+\tgenerated\n"
  "${WORK_DIR}/other|image\t32yk936.bin\t15750\t[0-9a-f]+\tgenerated\nimage\tyk2368.bin\t422916\t[0-9a-f]+\tno\n"
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
