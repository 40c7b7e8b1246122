# Installs the build into a fresh prefix, as `make install PREFIX=...` does,
# and checks what a desktop needs: the program on the path with its sound
# module where it looks for it, a valid desktop entry that opens MIDI files,
# and the icon it names. Then starts the installed program and checks that
# it loaded its sound module.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${out}${err}")
endif()

set(program ${PREFIX}/bin/tonemark)
if(NOT EXISTS ${program})
  message(FATAL_ERROR "${program} was not installed")
endif()
# The program looks for its module beside its own file, links resolved.
file(REAL_PATH ${program} real)
get_filename_component(folder ${real} DIRECTORY)
if(NOT EXISTS ${folder}/tonemark-sound.so)
  message(FATAL_ERROR "the sound module is not beside the program (${real})")
endif()

set(entry ${PREFIX}/share/applications/tonemark.desktop)
set(icon ${PREFIX}/share/icons/hicolor/scalable/apps/tonemark.svg)
foreach(f ${entry} ${icon} ${PREFIX}/share/doc/tonemark/bravura-LICENSE.txt)
  if(NOT EXISTS ${f})
    message(FATAL_ERROR "${f} was not installed")
  endif()
endforeach()
file(READ ${entry} text)
foreach(line "Exec=tonemark %f" "Icon=tonemark" "MimeType=audio/midi;audio/x-midi;")
  string(FIND "${text}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks \"${line}\"")
  endif()
endforeach()
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${entry} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  # Hints are advice; errors and warnings are faults.
  if(NOT rc EQUAL 0 OR "${out}${err}" MATCHES "error:|warning:")
    message(FATAL_ERROR "desktop-file-validate refuses the entry:\n${out}${err}")
  endif()
endif()
if(XMLLINT)
  execute_process(COMMAND ${XMLLINT} --noout ${icon} RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the icon is not well-formed SVG:\n${err}")
  endif()
endif()

# Started through the link on the path, the program reports how it started
# and quits; soundfont-ms is -1 when it found no synthesiser module.
execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen TONEMARK_STARTUP_REPORT=1 ${program}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
if(NOT rc EQUAL 0 OR NOT out MATCHES "soundfont-ms ")
  message(FATAL_ERROR "the installed program did not start (${rc}):\n${out}${err}")
endif()
if(out MATCHES "soundfont-ms -1")
  message(FATAL_ERROR "the installed program found no sound module:\n${out}${err}")
endif()
message(STATUS "Installed in ${PREFIX}; the program reports: ${out}")
