# The font check passes the pinned font and stops on a copy with one byte
# changed, naming the file and both sums, and then makes no checked copy.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/changed)
set(copy ${WORK}/changed/bravura.otf)
set(out ${WORK}/checked/bravura.otf)

execute_process(COMMAND ${CMAKE_COMMAND} -DFILE=${FONT} -DCOPY_TO=${out} -P ${CHECK}
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS ${out})
  message(FATAL_ERROR "the pinned font did not pass the check (${rc}): ${err}")
endif()
file(SHA256 ${FONT} pinned)
file(REMOVE ${out})

# One byte in the middle of the font's tables, changed to another value.
file(COPY_FILE ${FONT} ${copy})
file(READ ${copy} byte OFFSET 4096 LIMIT 1 HEX)
if(byte STREQUAL "41")
  set(other B)
else()
  set(other A)
endif()
execute_process(COMMAND sh -c "printf ${other} | dd of='${copy}' bs=1 seek=4096 conv=notrunc 2>/dev/null"
                RESULT_VARIABLE rc)
file(SHA256 ${copy} changed)
if(NOT rc EQUAL 0 OR changed STREQUAL pinned)
  message(FATAL_ERROR "could not change a byte of ${copy}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -DFILE=${copy} -DCOPY_TO=${out} -P ${CHECK}
                RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE err)
string(APPEND err "${output}")
if(rc EQUAL 0)
  message(FATAL_ERROR "the check passed a changed font")
endif()
foreach(part "${copy}" "${changed}" "${pinned}")
  string(FIND "${err}" "${part}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the check's message does not name ${part}:\n${err}")
  endif()
endforeach()
if(EXISTS ${out})
  message(FATAL_ERROR "the changed font was copied for embedding all the same")
endif()
message(STATUS "The changed font was refused:\n${err}")
