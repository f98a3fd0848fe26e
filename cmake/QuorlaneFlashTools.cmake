include_guard(GLOBAL)

# The real flashing tools, in the build tree for the tests that drive them against the board simulator. Each lies
# alone in a directory of its own, so that a test puts exactly one of them on PATH:
#   QUORLANE_FLASHTOOLS_CK  <build>/flashtools/ck/esptool    esptool-ck, built here with make
#   QUORLANE_FLASHTOOLS_V4  <build>/flashtools/v4/esptool.py Espressif esptool 4.8.1
#   QUORLANE_FLASHTOOLS_V5  <build>/flashtools/v5/esptool    Espressif esptool 5.3.1
# The variables are empty when the tools' sources are absent; the tests then skip.
set(QUORLANE_THIRDPARTY_DIR "${PROJECT_SOURCE_DIR}/../shared/thirdparty"
    CACHE PATH "Sources of the real flashing tools the interoperability tests run")

set(QUORLANE_FLASHTOOLS_CK "")
set(QUORLANE_FLASHTOOLS_V4 "")
set(QUORLANE_FLASHTOOLS_V5 "")

set(_sources "${QUORLANE_THIRDPARTY_DIR}")
if(NOT EXISTS "${_sources}/esptool-ck/Makefile" OR NOT EXISTS "${_sources}/esptool-4.8.1/esptool.py"
   OR NOT EXISTS "${_sources}/esptool-5.3.1/esptool/__main__.py")
    message(STATUS "Flashing tools: not found in ${_sources}; the tests that run them will skip")
    return()
endif()

find_program(QUORLANE_MAKE make REQUIRED)
set(_root "${CMAKE_BINARY_DIR}/flashtools")
# Writable copies (the sources may be read-only), so that a later configure can update them.
file(COPY "${_sources}/esptool-4.8.1" "${_sources}/esptool-5.3.1" DESTINATION "${_root}/src"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
    DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
    PATTERN "__pycache__" EXCLUDE)

# esptool-ck's Makefile asks git for the version, and the copy is no git checkout.
file(GLOB_RECURSE _ck_sources CONFIGURE_DEPENDS "${_sources}/esptool-ck/*.c" "${_sources}/esptool-ck/*.h"
    "${_sources}/esptool-ck/Makefile")
add_custom_command(
    OUTPUT "${_root}/ck/esptool"
    COMMAND ${CMAKE_COMMAND} -E rm -rf "${_root}/src/esptool-ck"
    COMMAND ${CMAKE_COMMAND} -E copy_directory "${_sources}/esptool-ck" "${_root}/src/esptool-ck"
    COMMAND ${QUORLANE_MAKE} -s -C "${_root}/src/esptool-ck" VERSION=0.4.13
    COMMAND ${CMAKE_COMMAND} -E copy "${_root}/src/esptool-ck/esptool" "${_root}/ck/esptool"
    DEPENDS ${_ck_sources}
    COMMENT "Building esptool-ck for the flashing tests"
    VERBATIM)
add_custom_target(flashtools ALL DEPENDS "${_root}/ck/esptool")

# Launchers for the Python tools, with Debian's python3 so that Debian's python3-* modules are found.
function(_quorlane_flash_launcher path text)
    file(WRITE "${path}" "#!/bin/sh\nexport PYTHONDONTWRITEBYTECODE=1\n${text}\n")
    file(CHMOD "${path}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
         WORLD_EXECUTE)
endfunction()
_quorlane_flash_launcher("${_root}/v4/esptool.py"
    "exec /usr/bin/python3 -B \"${_root}/src/esptool-4.8.1/esptool.py\" \"$@\"")
# Run as a module: started as esptool.py, version 5 warns that the name is deprecated.
_quorlane_flash_launcher("${_root}/v5/esptool"
    "PYTHONPATH=\"${_root}/src/esptool-5.3.1\" exec /usr/bin/python3 -B -m esptool \"$@\"")

set(QUORLANE_FLASHTOOLS_CK "${_root}/ck")
set(QUORLANE_FLASHTOOLS_V4 "${_root}/v4")
set(QUORLANE_FLASHTOOLS_V5 "${_root}/v5")
message(STATUS "Flashing tools: esptool-ck, Espressif esptool 4.8.1 and 5.3.1 from ${_sources}")
