# What a Windows build made on Linux with cmake/mingw-w64-x86_64.cmake needs beyond the toolchain.

# nlohmann-json is header-only: Debian's headers come in through a folder holding nothing else,
# so that no other header of /usr/include can shadow the MinGW ones.
find_path(ZARN_NLOHMANN_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          REQUIRED)
set(ZARN_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${ZARN_THIRD_PARTY_INCLUDE})
file(CREATE_LINK ${ZARN_NLOHMANN_INCLUDE}/nlohmann ${ZARN_THIRD_PARTY_INCLUDE}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${ZARN_THIRD_PARTY_INCLUDE})

# Windows programs the build runs (the moduleinfo writer, the tests) run under Wine, in a prefix
# of this build's own.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine.sh ${CMAKE_BINARY_DIR}/wineprefix)
endif()
