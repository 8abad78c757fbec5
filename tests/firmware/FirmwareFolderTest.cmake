# Configures and builds the project against altered copies of the firmware folder, as a maintainer dropping in
# other images would:
#  - an image with a wrong trailer configures with a warning, builds, and the program counts it as corrupt;
#  - an image of the wrong length stops the configure step with a message naming the file and the length.
# Run as: cmake -DSOURCE_DIR=... -DWORK_DIR=... -DFIRMWARE_DIR=... -P FirmwareFolderTest.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/damaged" "${WORK_DIR}/short")
file(GLOB images "${FIRMWARE_DIR}/*.bin")
file(COPY ${images} DESTINATION "${WORK_DIR}/damaged")
file(COPY ${images} DESTINATION "${WORK_DIR}/short")

# Damage the last trailer byte of yk936.bin (flip its top bit) with coreutils' dd.
set(damaged "${WORK_DIR}/damaged/yk936.bin")
file(SIZE "${damaged}" size)
math(EXPR last "${size} - 1")
file(READ "${damaged}" byte OFFSET ${last} LIMIT 1 HEX)
math(EXPR flipped "(0x${byte} + 128) % 256" OUTPUT_FORMAT DECIMAL)
math(EXPR octal_high "${flipped} / 64")
math(EXPR octal_mid "(${flipped} / 8) % 8")
math(EXPR octal_low "${flipped} % 8")
execute_process(COMMAND sh -c "printf '\\${octal_high}${octal_mid}${octal_low}' | dd of='${damaged}' bs=1 seek=${last} conv=notrunc status=none"
                RESULT_VARIABLE rc)
file(READ "${damaged}" check OFFSET ${last} LIMIT 1 HEX)
if(NOT rc EQUAL 0 OR check STREQUAL byte)
  message(FATAL_ERROR "could not damage the copy of yk936.bin")
endif()

execute_process(
  COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/build-damaged" -G Ninja
          -DSCALEBOOT_FIRMWARE_DIR=${WORK_DIR}/damaged -DSCALEBOOT_BUILD_GUI=OFF -DSCALEBOOT_BUILD_TESTS=ON
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "a damaged trailer must not stop the configure step:\n${out}\n${err}")
endif()
string(REGEX REPLACE "[ \n]+" " " err "${err}")
if(NOT err MATCHES "damaged/yk936.bin: checksum trailer [0-9]+ differs from the payload sum")
  message(FATAL_ERROR "no warning about the damaged trailer:\n${err}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}/build-damaged" --target firmware_status
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the build with a damaged image failed:\n${out}\n${err}")
endif()
execute_process(COMMAND "${WORK_DIR}/build-damaged/tests/firmware_status" OUTPUT_VARIABLE status)
if(NOT status MATCHES "^CorruptCount=1 P321835 P282935")
  message(FATAL_ERROR "the damaged image was not counted: ${status}")
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
if(NOT err MATCHES "32yk936.bin is 15749 bytes long; it must be exactly 15750 bytes")
  message(FATAL_ERROR "unclear message for the wrong length:\n${err}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "firmware folder checks passed")
