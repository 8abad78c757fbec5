# The target scaleboot_json: nlohmann-json, header-only, from Debian's nlohmann-json3-dev.
#
# A native build uses its CMake package. A MinGW cross build cannot: the package's include folder is /usr/include,
# the host's own headers, which a Windows compiler must never search. The cross builds get a folder of the build
# tree holding nothing but a link to /usr/include/nlohmann, so <nlohmann/json.hpp> and the headers it includes are
# found there and nothing else of the host is.
include_guard(GLOBAL)

add_library(scaleboot_json INTERFACE)
if(CMAKE_CROSSCOMPILING)
  find_path(SCALEBOOT_JSON_INCLUDE_DIR nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT SCALEBOOT_JSON_INCLUDE_DIR)
    message(FATAL_ERROR "nlohmann/json.hpp not found in /usr/include: install nlohmann-json3-dev")
  endif()
  set(_json_dir "${CMAKE_BINARY_DIR}/json-include")
  file(MAKE_DIRECTORY "${_json_dir}")
  file(CREATE_LINK "${SCALEBOOT_JSON_INCLUDE_DIR}/nlohmann" "${_json_dir}/nlohmann" SYMBOLIC)
  target_include_directories(scaleboot_json SYSTEM INTERFACE "${_json_dir}")
else()
  find_package(nlohmann_json 3.10 REQUIRED)
  target_link_libraries(scaleboot_json INTERFACE nlohmann_json::nlohmann_json)
endif()
