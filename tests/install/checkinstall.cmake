# SPDX-License-Identifier: MIT
# Installs the program's component of the build into PREFIX (emptied first) and checks that it,
# its desktop entry, metainfo, icons and screenshot are where desktops look, filled in and well
# formed.
# The desktop entry and the metainfo also pass desktop-file-validate and appstreamcli --pedantic.
cmake_policy(VERSION 3.25)

foreach(variable IN ITEMS BUILD_DIR PREFIX BINDIR DATADIR DESKTOP_ID VERSION RELEASE_DATE)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "checkinstall.cmake needs -D${variable}=...")
  endif()
endforeach()

set(failures "")
macro(fail text)
  string(APPEND failures "\n  ${text}")
endmacro()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  --component app RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(share "${PREFIX}/${DATADIR}")
set(entry "${share}/applications/${DESKTOP_ID}.desktop")
set(metainfo "${share}/metainfo/${DESKTOP_ID}.metainfo.xml")
set(icons "${share}/icons/hicolor")

if(NOT EXISTS "${PREFIX}/${BINDIR}/veluna" OR IS_DIRECTORY "${PREFIX}/${BINDIR}/veluna")
  fail("no program at ${BINDIR}/veluna")
endif()
foreach(file IN ITEMS "${entry}" "${metainfo}" "${icons}/scalable/apps/${DESKTOP_ID}.svg"
                      "${share}/man/man1/veluna.1" "${share}/bash-completion/completions/veluna")
  if(NOT EXISTS "${file}")
    fail("missing ${file}")
  endif()
endforeach()

# A PNG starts with its signature, then the IHDR chunk: width and height as 32-bit big-endian.
# Sets <out> to "<width> <height>", or to "" when png is missing or no PNG.
function(png_size png out)
  set(${out} "" PARENT_SCOPE)
  if(NOT EXISTS "${png}")
    return()
  endif()
  file(READ "${png}" header LIMIT 24 HEX)
  string(SUBSTRING "${header}" 0 16 signature)
  string(SUBSTRING "${header}" 32 8 width)
  string(SUBSTRING "${header}" 40 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  if(signature STREQUAL "89504e470d0a1a0a")
    set(${out} "${width} ${height}" PARENT_SCOPE)
  endif()
endfunction()
foreach(size IN ITEMS 16 24 32 48 64 128 256)
  set(png "${icons}/${size}x${size}/apps/${DESKTOP_ID}.png")
  png_size("${png}" found)
  if(NOT found STREQUAL "${size} ${size}")
    fail("${png} is not a ${size}x${size} PNG (${found})")
  endif()
endforeach()
set(screenshot "${share}/veluna/screenshots/main-window.png")
png_size("${screenshot}" screenshotSize)
if(NOT screenshotSize)
  fail("no PNG screenshot at ${screenshot}")
endif()
string(REPLACE " " "\" height=\"" screenshotSize "width=\"${screenshotSize}\"")

# Filled in from the build: no placeholder left, and the values the rest of the install uses.
if(EXISTS "${entry}" AND EXISTS "${metainfo}")
  file(READ "${entry}" entryText)
  file(READ "${metainfo}" metainfoText)
  foreach(expected IN ITEMS "\nIcon=${DESKTOP_ID}\n" "\nExec=veluna\n"
                            "\nActions=keep-awake;allow-sleep;\n" "\nExec=veluna start\n"
                            "\nExec=veluna stop\n" "\nName[fr]=Autoriser la veille\n")
    string(FIND "${entryText}" "${expected}" at)
    if(at EQUAL -1)
      fail("the desktop entry lacks ${expected}")
    endif()
  endforeach()
  foreach(expected IN ITEMS "<id>${DESKTOP_ID}</id>"
      "<release version=\"${VERSION}\" date=\"${RELEASE_DATE}\">"
      "<launchable type=\"desktop-id\">${DESKTOP_ID}.desktop</launchable>"
      "<developer id=\"app.plenox\">" "<content_rating type=\"oars-1.1\"/>"
      "<binary>veluna</binary>" "<url type=\"homepage\">https://" "<url type=\"bugtracker\">https://"
      "<url type=\"help\">https://" "<url type=\"contact\">https://"
      "<image type=\"source\" ${screenshotSize}>https://")
    string(FIND "${metainfoText}" "${expected}" at)
    if(at EQUAL -1)
      fail("the metainfo lacks ${expected}")
    endif()
  endforeach()
  if(entryText MATCHES "@[A-Z_]+@" OR metainfoText MATCHES "@[A-Z_]+@")
    fail("a placeholder was left unconfigured")
  endif()
endif()

function(validate tool)
  find_program(program ${tool} NO_CACHE)
  if(NOT program)
    set(failures "${failures}\n  ${tool} is not installed (scripts/setup.sh <build-dir> test)"
      PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND "${program}" ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    set(failures "${failures}\n  ${tool} says:\n${output}" PARENT_SCOPE)
  endif()
endfunction()
validate(desktop-file-validate "${entry}")
validate(appstreamcli validate --pedantic --no-net "${metainfo}")

if(failures)
  message(FATAL_ERROR "The installed files are not right:${failures}")
endif()
message(STATUS "Installed files are complete in ${PREFIX}")
