# SPDX-License-Identifier: MIT
# Installs the build into PREFIX (emptied first) and checks that the program, its desktop entry,
# its metainfo and its icons are where desktops look, filled in and well formed. The desktop
# entry and the metainfo also go through desktop-file-validate and appstreamcli when the machine
# has them.
cmake_policy(VERSION 3.25)

foreach(variable IN ITEMS BUILD_DIR PREFIX BINDIR DATADIR DESKTOP_ID VERSION)
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
  RESULT_VARIABLE result OUTPUT_QUIET)
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
foreach(size IN ITEMS 16 24 32 48 64 128 256)
  set(png "${icons}/${size}x${size}/apps/${DESKTOP_ID}.png")
  if(NOT EXISTS "${png}")
    fail("missing ${png}")
    continue()
  endif()
  file(READ "${png}" header LIMIT 24 HEX)
  string(SUBSTRING "${header}" 0 16 signature)
  string(SUBSTRING "${header}" 32 8 width)
  string(SUBSTRING "${header}" 40 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT width EQUAL size OR NOT height EQUAL size)
    fail("${png} is not a ${size}x${size} PNG (${width}x${height})")
  endif()
endforeach()

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
  foreach(expected IN ITEMS "<id>${DESKTOP_ID}</id>" "<release version=\"${VERSION}\""
                            "<launchable type=\"desktop-id\">${DESKTOP_ID}.desktop</launchable>")
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
    message(STATUS "${tool} not found; not run")
    return()
  endif()
  execute_process(COMMAND "${program}" ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    set(failures "${failures}\n  ${tool} says:\n${output}" PARENT_SCOPE)
  endif()
endfunction()
validate(desktop-file-validate "${entry}")
validate(appstreamcli validate --no-net "${metainfo}")

if(failures)
  message(FATAL_ERROR "The installed files are not right:${failures}")
endif()
message(STATUS "Installed files are complete in ${PREFIX}")
