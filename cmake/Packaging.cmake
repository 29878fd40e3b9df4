# SPDX-License-Identifier: MIT
# Debian packages from the install rules (`cpack -G DEB`, or scripts/package.sh): `veluna` from the
# `app` component and, once the build has install rules for it, `veluna-server` from `server`.
# Dependencies come from dpkg-shlibdeps; the version, the release day and its summary come from the
# top-level CMakeLists.txt, as the metainfo's do.
set(debianDir ${PROJECT_SOURCE_DIR}/resources/debian)
set(CPACK_PACKAGE_NAME veluna)
set(CPACK_PACKAGE_VENDOR Plenox)
set(CPACK_PACKAGE_CONTACT "Plenox <support@plenox.app>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "Packages want -DCMAKE_INSTALL_PREFIX=/usr for their files under /etc "
    "(scripts/package.sh sets it)")
endif()
set(CPACK_STRIP_FILES ON)
# Files under /etc (the server's configuration) are staged like the rest, not written to /etc.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
  GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_GENERATOR DEB)
set(CPACK_PRE_BUILD_SCRIPTS ${debianDir}/compressmanuals.cmake)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE veluna)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VELUNA_WEBSITE_URL}/veluna")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_APP_PACKAGE_NAME veluna)
set(CPACK_DEBIAN_APP_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_APP_DESCRIPTION "keeps the computer awake for as long as you choose
Veluna stops the computer from going to sleep on its own: pick a duration,
press one button, and for that time the computer stays awake; optionally the
screen stays on too. It lives in a window or in the panel, and can be driven
from the command line.")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME veluna-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
# Beyond what dpkg-shlibdeps sees: the maintainer scripts' adduser, and the SQL driver Qt loads
# as a plugin for the default SQLite database (PostgreSQL's for a shared one).
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "adduser, libqt6sql6-sqlite")
set(CPACK_DEBIAN_SERVER_PACKAGE_SUGGESTS libqt6sql6-psql)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA ${debianDir}/veluna-server/postinst
  ${debianDir}/veluna-server/prerm ${debianDir}/veluna-server/postrm
  ${debianDir}/veluna-server/conffiles)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_SERVER_DESCRIPTION "support inbox, crash reports and update feed for Veluna
The maker's side of Veluna: it receives the support messages and crash reports
the program sends, answers them, and serves the update feed. It runs as the
systemd service veluna-server, as a system user of that name, with its state
in /var/lib/veluna-server; veluna-admin is the maker's command for it.")

# A package for each component that has install rules: today's program, and the server once built.
get_cmake_property(components COMPONENTS)
set(CPACK_COMPONENTS_ALL "")
foreach(component IN ITEMS app server)
  if(component IN_LIST components)
    list(APPEND CPACK_COMPONENTS_ALL ${component})
  endif()
endforeach()

# RFC 2822 day for the changelog, from the ISO release day (Sakamoto's weekday rule).
function(veluna_rfc2822_day iso out)
  if(NOT iso MATCHES "^([0-9][0-9][0-9][0-9])-([01][0-9])-([0-3][0-9])$")
    message(FATAL_ERROR "VELUNA_RELEASE_DATE must read YYYY-MM-DD, not \"${iso}\"")
  endif()
  set(isoYear ${CMAKE_MATCH_1})
  set(day ${CMAKE_MATCH_3})
  math(EXPR year "${CMAKE_MATCH_1}")
  string(REGEX REPLACE "^0" "" month ${CMAKE_MATCH_2})
  string(REGEX REPLACE "^0" "" dayNumber ${day})
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  math(EXPR monthIndex "${month} - 1")
  list(GET offsets ${monthIndex} offset)
  if(month LESS 3)
    math(EXPR year "${year} - 1")
  endif()
  math(EXPR weekday "(${year} + ${year} / 4 - ${year} / 100 + ${year} / 400 + ${offset} \
    + ${dayNumber}) % 7")
  list(GET weekdays ${weekday} weekdayName)
  list(GET months ${monthIndex} monthName)
  set(${out} "${weekdayName}, ${day} ${monthName} ${isoYear} 12:00:00 +0000" PARENT_SCOPE)
endfunction()

# The changelog and copyright file of every package, each in its own /usr/share/doc folder: one
# changelog template, and the copyright file made from LICENSE (its notice and its text).
veluna_rfc2822_day(${VELUNA_RELEASE_DATE} VELUNA_RELEASE_DATE_RFC2822)
set(docDir ${CMAKE_BINARY_DIR}/debian)
configure_file(${debianDir}/changelog.in ${docDir}/changelog @ONLY)
find_program(VELUNA_GZIP gzip REQUIRED)
execute_process(COMMAND ${VELUNA_GZIP} -9nf ${docDir}/changelog COMMAND_ERROR_IS_FATAL ANY)
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE licence)
list(FILTER licence INCLUDE REGEX "^Copyright")
string(REGEX REPLACE "^Copyright (\\(c\\) )?" "" VELUNA_COPYRIGHT "${licence}")
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX REPLACE "^.*\nPermission" "Permission" licence "${licence}")
string(STRIP "${licence}" licence)
string(REGEX REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " VELUNA_LICENSE_TEXT " ${licence}")
configure_file(${debianDir}/copyright.in ${docDir}/copyright @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  install(FILES ${docDir}/changelog.gz ${docDir}/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
    COMPONENT ${component})
endforeach()

include(CPack)

if(BUILD_TESTING)
  add_subdirectory(tests/package)
endif()
