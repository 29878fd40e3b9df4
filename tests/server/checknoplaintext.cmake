# SPDX-License-Identifier: MIT
# Fails when any of TEXTS ("|"-separated) appears in any of FILES ("|"-separated) as a run of
# printable characters, in 8-bit or UTF-16 form: what `strings` would show.
string(REPLACE "|" ";" files "${FILES}")
string(REPLACE "|" ";" texts "${TEXTS}")
foreach(file IN LISTS files)
  foreach(encoding IN ITEMS UTF-8 UTF-16LE)
    file(STRINGS "${file}" found LENGTH_MINIMUM 8 ENCODING ${encoding})
    foreach(text IN LISTS texts)
      string(FIND "${found}" "${text}" at)
      if(NOT text STREQUAL "" AND at GREATER -1)
        message(FATAL_ERROR "${file} holds \"${text}\" in plain text (${encoding})")
      endif()
    endforeach()
  endforeach()
endforeach()
