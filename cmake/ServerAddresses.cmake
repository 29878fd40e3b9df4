# SPDX-License-Identifier: MIT
# Writes the generated sources that hold the maker's server addresses: the scrambled endpoint
# table and the build information with the update feed. The program's build uses the cache
# variables; a test build of the same program can point them at a local server instead.
include(${CMAKE_CURRENT_LIST_DIR}/ScrambledText.cmake)

function(veluna_endpoint_table output sync_url report_url crash_url)
  veluna_scramble_key(endpoint_key)
  veluna_hex_bytes("${endpoint_key}" ENDPOINT_KEY_BYTES key_length)
  veluna_scramble_text("${sync_url}" "${endpoint_key}" SYNC_BYTES SYNC_LENGTH)
  veluna_scramble_text("${report_url}" "${endpoint_key}" REPORT_BYTES REPORT_LENGTH)
  veluna_scramble_text("${crash_url}" "${endpoint_key}" CRASH_BYTES CRASH_LENGTH)
  configure_file(${PROJECT_SOURCE_DIR}/core/server/endpointtable.cpp.in ${output} @ONLY)
endfunction()

function(veluna_build_info output update_feed_url)
  set(VELUNA_UPDATE_FEED_URL "${update_feed_url}")
  configure_file(${PROJECT_SOURCE_DIR}/core/buildinfo/buildinfo.cpp.in ${output} @ONLY)
endfunction()
