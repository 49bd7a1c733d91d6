# Run at install time (cmake --install, or CPack staging the package): finishes a manual page
# with the prefix it is being installed under, compresses it as Debian wants (no time stamp)
# and installs it. Set by the caller: ZENIVOR_PAGE (the page, configured but for the prefix),
# ZENIVOR_PAGE_WORK (a scratch folder), ZENIVOR_PAGE_DESTINATION (relative to the prefix) and
# ZENIVOR_GZIP.
get_filename_component(name "${ZENIVOR_PAGE}" NAME)
file(READ "${ZENIVOR_PAGE}" text)
string(REPLACE "@ZENIVOR_INSTALL_PREFIX@" "${CMAKE_INSTALL_PREFIX}" text "${text}")
file(MAKE_DIRECTORY "${ZENIVOR_PAGE_WORK}")
file(WRITE "${ZENIVOR_PAGE_WORK}/${name}" "${text}")
execute_process(COMMAND "${ZENIVOR_GZIP}" -9nf "${ZENIVOR_PAGE_WORK}/${name}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${name}")
endif()
file(INSTALL "${ZENIVOR_PAGE_WORK}/${name}.gz" DESTINATION "${CMAKE_INSTALL_PREFIX}/${ZENIVOR_PAGE_DESTINATION}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
