# Installs into a staging folder, under a prefix other than the configured one, and checks that every file lands
# in its standard place, that the desktop entry and the launcher point at the files installed under that prefix,
# and that the launcher starts in the per-user data folder.
function(fail message)
  message(FATAL_ERROR "${message}")
endfunction()

file(REMOVE_RECURSE "${STAGE}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${STAGE} ${CMAKE_COMMAND} --install "${BUILD_DIR}"
                        --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  fail("cmake --install failed: ${result}")
endif()

set(root "${STAGE}${PREFIX}")
foreach(path
    ${BINDIR}/pelmora
    ${LIBEXECDIR}/pelmora/pelmora-sound.so
    ${LIBEXECDIR}/pelmora/pelmora-launch
    ${DATADIR}/applications/io.github.pelmora.pelmora.desktop
    ${DATADIR}/man/man1/pelmora.1.gz
    ${DATADIR}/doc/pelmora/copyright
    ${DATADIR}/doc/pelmora/changelog.gz
    ${DATADIR}/metainfo/io.github.pelmora.pelmora.metainfo.xml
    ${DATADIR}/icons/hicolor/16x16/apps/pelmora.png
    ${DATADIR}/icons/hicolor/32x32/apps/pelmora.png
    ${DATADIR}/icons/hicolor/scalable/apps/pelmora.svg)
  if(NOT EXISTS "${root}/${path}")
    fail("not installed: ${PREFIX}/${path}")
  endif()
endforeach()
foreach(program ${BINDIR}/pelmora ${LIBEXECDIR}/pelmora/pelmora-launch)
  execute_process(COMMAND test -x "${root}/${program}" RESULT_VARIABLE not_executable)
  if(not_executable)
    fail("not executable: ${PREFIX}/${program}")
  endif()
endforeach()

# The icons are the sizes their folders promise: the PNG header holds width and height at bytes 16..23.
foreach(size 16 32)
  file(READ "${root}/${DATADIR}/icons/hicolor/${size}x${size}/apps/pelmora.png" header LIMIT 24 HEX)
  math(EXPR expected "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${header}" 32 16 dimensions)
  string(SUBSTRING "${expected}" 2 -1 digits)
  string(LENGTH "${digits}" length)
  if(length EQUAL 1)
    set(digits "0${digits}")
  endif()
  if(NOT dimensions STREQUAL "000000${digits}000000${digits}")
    fail("the ${size} px icon is not ${size}x${size}: ${dimensions}")
  endif()
endforeach()

file(STRINGS "${root}/${DATADIR}/applications/io.github.pelmora.pelmora.desktop" exec_line REGEX "^Exec=")
if(NOT exec_line STREQUAL "Exec=${PREFIX}/${LIBEXECDIR}/pelmora/pelmora-launch")
  fail("the desktop entry does not start the installed launcher: ${exec_line}")
endif()
file(STRINGS "${root}/${LIBEXECDIR}/pelmora/pelmora-launch" exec_program REGEX "^exec ")
if(NOT exec_program STREQUAL "exec \"${PREFIX}/${BINDIR}/pelmora\" \"$@\"")
  fail("the launcher does not start the installed program: ${exec_program}")
endif()

# Run the launcher with pwd in place of the program: it must make the data folder and start there.
set(home "${STAGE}/home")
file(MAKE_DIRECTORY "${home}")
file(READ "${root}/${LIBEXECDIR}/pelmora/pelmora-launch" launcher)
string(REPLACE "${PREFIX}/${BINDIR}/pelmora" "/bin/pwd" launcher "${launcher}")
file(WRITE "${STAGE}/launch-pwd" "${launcher}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=XDG_DATA_HOME HOME=${home} sh "${STAGE}/launch-pwd"
                OUTPUT_VARIABLE started_in OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT started_in STREQUAL "${home}/.local/share/pelmora")
  fail("the launcher started in '${started_in}' (${result}), not in ${home}/.local/share/pelmora")
endif()
message(STATUS "installed layout and launcher are as expected")
