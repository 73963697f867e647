# nimbrel_VERSION_ARCH.deb: the Linux `nimbrel` with its manual page, bash
# completion, udev rule, systemd user unit and example configuration,
# built by CPack in a tree configured with -DNIMBREL_DEB=ON (./test's
# optimised tree, with Debian's build flags). Its dependencies come from
# the binary (dpkg-shlibdeps), and libcurl4 from below; tests/package/deb.sh
# checks it.
set(linux ${CMAKE_SOURCE_DIR}/packaging/linux)
set(deb_stage ${CMAKE_BINARY_DIR}/deb)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
find_program(NIMBREL_GZIP gzip REQUIRED)

# The user unit runs the installed program, not one in the user's home.
file(READ ${linux}/nimbrel.service unit)
string(REPLACE "%h/.local/bin/nimbrel" "/usr/bin/nimbrel" unit "${unit}")
file(WRITE ${deb_stage}/nimbrel.service "${unit}")

# A native package's changelog: this version, dated by the build
# (SOURCE_DATE_EPOCH when set, for a reproducible package).
set(NIMBREL_MAINTAINER "Corvalen <nimbrel@corvalen.example>")
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${deb_stage}/changelog
     "nimbrel (${NIMBREL_VERSION}) stable; urgency=medium\n\n"
     "  * Nimbrel ${NIMBREL_VERSION}.\n\n"
     " -- ${NIMBREL_MAINTAINER}  ${changelog_date}\n")

# Manual page and changelog compressed as Debian wants them: at most, and
# without a time stamp.
add_custom_command(
  OUTPUT ${deb_stage}/nimbrel.1.gz ${deb_stage}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/nimbrel.1 ${deb_stage}/nimbrel.1
  COMMAND ${NIMBREL_GZIP} -9nf ${deb_stage}/nimbrel.1
  COMMAND ${NIMBREL_GZIP} -9nkf ${deb_stage}/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/nimbrel.1 ${deb_stage}/changelog
  VERBATIM)
add_custom_target(deb_documents ALL DEPENDS ${deb_stage}/nimbrel.1.gz ${deb_stage}/changelog.gz)

install(TARGETS nimbrel RUNTIME DESTINATION bin)
install(FILES ${deb_stage}/nimbrel.1.gz DESTINATION share/man/man1)
install(FILES ${linux}/nimbrel.bash-completion DESTINATION share/bash-completion/completions
        RENAME nimbrel)
install(FILES ${linux}/70-nimbrel.rules DESTINATION lib/udev/rules.d)
install(FILES ${deb_stage}/nimbrel.service DESTINATION lib/systemd/user)
install(FILES ${linux}/nimbrel.conf DESTINATION share/doc/nimbrel/examples)
install(FILES ${linux}/copyright ${deb_stage}/changelog.gz DESTINATION share/doc/nimbrel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nimbrel)
set(CPACK_PACKAGE_VERSION ${NIMBREL_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "${NIMBREL_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A cross build names its target (the toolchain file's NIMBREL_DEB_ARCH);
# dpkg-shlibdeps then reads that architecture's libraries.
if(NIMBREL_DEB_ARCH)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${NIMBREL_DEB_ARCH})
else()
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE NIMBREL_DEB_ARCH
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcurl is loaded at the first upload, so dpkg-shlibdeps cannot see it;
# CPack adds this to what it finds. 7.85 brought CURLOPT_PROTOCOLS_STR.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4 (>= 7.85.0)")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${linux}/postinst ${linux}/postrm)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "companion of a USB weather-station console\n"
    "nimbrel shows the console's live readings in your units, exports its\n"
    "history to a spreadsheet file, uploads its readings to Weather\n"
    "Underground and Weathercloud and sets its clock. It runs as a systemd\n"
    "user service on the machine the console is plugged into.")
string(JOIN "" CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_DEBIAN_PACKAGE_DESCRIPTION})
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/cpack)
include(CPack)

add_test(NAME package_deb
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/deb.sh ${CMAKE_BINARY_DIR} ${NIMBREL_DEB_ARCH}
         WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
