# SPDX-License-Identifier: MIT
# Run by CPack on its staging folder before it builds the packages: Debian installs manual pages
# compressed with gzip -9n (no name, no time stamp, so the same page gives the same bytes).
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(FILTER pages INCLUDE REGEX "/share/man/man[^/]+/[^/]+$")
list(FILTER pages EXCLUDE REGEX "\\.gz$")
foreach(page IN LISTS pages)
  execute_process(COMMAND gzip -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
