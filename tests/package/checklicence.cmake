# SPDX-License-Identifier: MIT
# Every C++, CMake, shell and Python file git tracks in SOURCE_DIR carries the licence's SPDX line
# in its first lines, so that a file added without it fails the tests.
cmake_policy(VERSION 3.25)
if(NOT DEFINED SOURCE_DIR)
  message(FATAL_ERROR "checklicence.cmake needs -DSOURCE_DIR=...")
endif()

find_package(Git REQUIRED)
execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" ls-files
  OUTPUT_VARIABLE tracked RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "git cannot list the files of ${SOURCE_DIR}: ${error}")
endif()
string(STRIP "${tracked}" tracked)
string(REPLACE "\n" ";" tracked "${tracked}")

set(sources "")
set(missing "")
foreach(file IN LISTS tracked)
  set(path "${SOURCE_DIR}/${file}")
  if(IS_DIRECTORY "${path}" OR NOT EXISTS "${path}")
    continue()
  endif()
  file(STRINGS "${path}" head LIMIT_COUNT 3)
  # By name, or by a shebang for scripts without a suffix (maintainer scripts, .ci/run).
  if(NOT file MATCHES "(\\.(c|cc|cpp|cxx|h|hpp|cmake|sh|bash|py)(\\.in)?|CMakeLists\\.txt)$"
     AND NOT head MATCHES "^#!.*(sh|python)")
    continue()
  endif()
  list(APPEND sources "${file}")
  if(NOT head MATCHES "SPDX-License-Identifier: MIT")
    list(APPEND missing "${file}")
  endif()
endforeach()

list(LENGTH sources checked)
if(missing)
  list(JOIN missing "\n  " missing)
  message(FATAL_ERROR "No SPDX-License-Identifier: MIT line in the first lines of:\n  ${missing}")
endif()
if(checked EQUAL 0)
  message(FATAL_ERROR "no tracked source file found in ${SOURCE_DIR}")
endif()
message(STATUS "${checked} tracked source files carry the licence's SPDX line")
