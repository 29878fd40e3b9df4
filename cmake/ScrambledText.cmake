# SPDX-License-Identifier: MIT
# Scrambles build-time texts (the server addresses) so they never appear in the program as plain
# text: byte i of a table is byte i of the UTF-8 text XOR byte (i mod 16) of one 16-byte key.

# The key of this build folder: 32 hexadecimal digits drawn once, at the first configure, and kept
# in the cache so that a later configure regenerates identical tables (and rebuilds nothing).
function(veluna_scramble_key out_var)
  if(NOT DEFINED CACHE{VELUNA_SCRAMBLE_KEY})
    string(RANDOM LENGTH 32 ALPHABET "0123456789abcdef" key)
    set(VELUNA_SCRAMBLE_KEY "${key}" CACHE INTERNAL "Key that scrambles the server addresses")
  endif()
  set(${out_var} "${VELUNA_SCRAMBLE_KEY}" PARENT_SCOPE)
endfunction()

# Writes into out_bytes a C++ initialiser list ("0x1f, 0x03, ...") of the bytes of key_hex
# (32 hexadecimal digits) and into out_length their count.
function(veluna_hex_bytes hex out_bytes out_length)
  string(LENGTH "${hex}" digits)
  set(bytes "")
  set(count 0)
  if(digits GREATER 0)
    math(EXPR last "${digits} - 2")
    foreach(offset RANGE 0 ${last} 2)
      string(SUBSTRING "${hex}" ${offset} 2 byte)
      list(APPEND bytes "0x${byte}")
      math(EXPR count "${count} + 1")
    endforeach()
  endif()
  list(JOIN bytes ", " joined)
  set(${out_bytes} "${joined}" PARENT_SCOPE)
  set(${out_length} ${count} PARENT_SCOPE)
endfunction()

# Scrambles text with key_hex; out_bytes receives the table as a C++ initialiser list and
# out_length its length in bytes.
function(veluna_scramble_text text key_hex out_bytes out_length)
  string(HEX "${text}" text_hex)
  string(LENGTH "${text_hex}" digits)
  set(scrambled "")
  if(digits GREATER 0)
    math(EXPR last "${digits} - 2")
    foreach(offset RANGE 0 ${last} 2)
      string(SUBSTRING "${text_hex}" ${offset} 2 text_byte)
      math(EXPR key_offset "(${offset} % 32)")
      string(SUBSTRING "${key_hex}" ${key_offset} 2 key_byte)
      math(EXPR mixed "0x${text_byte} ^ 0x${key_byte}" OUTPUT_FORMAT HEXADECIMAL)
      # math() prints "0x5"; pad to two digits so the table reads evenly.
      string(SUBSTRING "${mixed}" 2 -1 mixed)
      string(LENGTH "${mixed}" mixed_digits)
      if(mixed_digits LESS 2)
        set(mixed "0${mixed}")
      endif()
      string(APPEND scrambled "${mixed}")
    endforeach()
  endif()
  veluna_hex_bytes("${scrambled}" bytes length)
  set(${out_bytes} "${bytes}" PARENT_SCOPE)
  set(${out_length} ${length} PARENT_SCOPE)
endfunction()
