# Checks a file of the Bravura font against the SHA-256 it has in the pinned
# release (scripts/bravura.sha256) and, when it matches, copies it to COPY_TO.
# The build embeds only that copy, so it embeds only a checked font.
#
#   cmake -DFILE=third_party/bravura/bravura.otf [-DCOPY_TO=out/bravura.otf] -P scripts/check-font.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED FILE)
  message(FATAL_ERROR "check-font.cmake: say which file with -DFILE=path")
endif()
set(sums_file ${CMAKE_CURRENT_LIST_DIR}/bravura.sha256)
get_filename_component(name "${FILE}" NAME)

file(STRINGS ${sums_file} lines)
set(expected "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([0-9a-f]+)  (.+)$" AND CMAKE_MATCH_2 STREQUAL name)
    set(expected ${CMAKE_MATCH_1})
  endif()
endforeach()
if(expected STREQUAL "")
  message(FATAL_ERROR "The Bravura font check knows no file named ${name} (see ${sums_file}).")
endif()

if(NOT EXISTS "${FILE}")
  message(FATAL_ERROR "The Bravura font is missing: ${FILE} does not exist. Run scripts/fetch-font.sh (make does this for you).")
endif()
file(SHA256 "${FILE}" actual)
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR
    "The Bravura font is not the pinned release, so it is not built in.\n"
    "  file:     ${FILE}\n"
    "  SHA-256:  ${actual}\n"
    "  expected: ${expected}\n"
    "Delete the file and run scripts/fetch-font.sh (make does this for you) to fetch the pinned version again.")
endif()

if(DEFINED COPY_TO)
  get_filename_component(dir "${COPY_TO}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  file(COPY_FILE "${FILE}" "${COPY_TO}" ONLY_IF_DIFFERENT)
endif()
