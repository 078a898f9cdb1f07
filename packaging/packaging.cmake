# Installation of the desktop integration, its validation tests, and the .deb built by CPack.
include(GNUInstallDirs)

# The SPDX licence of Pelmora, for the AppStream metadata; LICENSE at the top says the same.
set(PELMORA_LICENSE "GPL-3.0-or-later")
set(PELMORA_PACKAGE_CONTACT "Pelmora maintainers <maintainers@users.noreply.c-seed-7fa9f2d7.example>"
    CACHE STRING "Maintainer field of the .deb")

set(PELMORA_APP_ID io.github.pelmora.pelmora)
set(PELMORA_DESKTOP_FILE "${CMAKE_BINARY_DIR}/packaging/${PELMORA_APP_ID}.desktop")
set(PELMORA_METAINFO_FILE "${CMAKE_BINARY_DIR}/packaging/${PELMORA_APP_ID}.metainfo.xml")

# The launcher and the desktop entry name installed paths: they are written when installing, for the prefix
# used then. The desktop entry made here, for the configured prefix, is the one the validator checks.
set(PELMORA_PROGRAM "${CMAKE_INSTALL_FULL_BINDIR}/pelmora")
set(PELMORA_LAUNCHER "${CMAKE_INSTALL_FULL_LIBEXECDIR}/pelmora/pelmora-launch")
configure_file(${CMAKE_CURRENT_LIST_DIR}/${PELMORA_APP_ID}.desktop.in ${PELMORA_DESKTOP_FILE} @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/install_configured.cmake.in
               ${CMAKE_BINARY_DIR}/packaging/install_configured.cmake @ONLY)
install(SCRIPT ${CMAKE_BINARY_DIR}/packaging/install_configured.cmake)
configure_file(${CMAKE_CURRENT_LIST_DIR}/${PELMORA_APP_ID}.metainfo.xml.in ${PELMORA_METAINFO_FILE} @ONLY)

# Debian wants the manual page and the changelog compressed with gzip -9n: no name, no time stamp.
# A mode of @ONLY fills in the version; COPYONLY takes the file as it is.
function(pelmora_gzip source output mode)
  configure_file(${source} ${output}.plain ${mode}) # so that changing the source configures again
  execute_process(COMMAND gzip -9nc ${output}.plain OUTPUT_FILE ${output} COMMAND_ERROR_IS_FATAL ANY)
endfunction()
pelmora_gzip(${CMAKE_CURRENT_LIST_DIR}/pelmora.1.in ${CMAKE_BINARY_DIR}/packaging/pelmora.1.gz @ONLY)
pelmora_gzip(${CMAKE_CURRENT_LIST_DIR}/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz COPYONLY)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog latest_entry LIMIT_COUNT 1)
if(NOT latest_entry MATCHES "^pelmora \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog does not start with an entry for version ${PROJECT_VERSION}")
endif()

install(FILES ${CMAKE_BINARY_DIR}/packaging/pelmora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PELMORA_METAINFO_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/res/pelmora-16.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/16x16/apps
        RENAME pelmora.png)
install(FILES ${CMAKE_SOURCE_DIR}/res/pelmora-32.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps
        RENAME pelmora.png)
install(FILES ${CMAKE_SOURCE_DIR}/res/pelmora.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

if(PELMORA_TESTS)
  find_program(DESKTOP_FILE_VALIDATE desktop-file-validate REQUIRED)
  find_program(APPSTREAMCLI appstreamcli REQUIRED)
  add_test(NAME validate_desktop_entry COMMAND ${DESKTOP_FILE_VALIDATE} ${PELMORA_DESKTOP_FILE})
  add_test(NAME validate_appstream_metadata COMMAND ${APPSTREAMCLI} validate --no-net --explain ${PELMORA_METAINFO_FILE})
  # The desktop validator reports some problems as hints on stdout and still exits 0: fail on those too.
  set_tests_properties(validate_desktop_entry PROPERTIES FAIL_REGULAR_EXPRESSION "error|warning|hint")
  add_test(NAME install_layout
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSTAGE=${CMAKE_BINARY_DIR}/install-check
                   -DPREFIX=/opt/pelmora-check
                   -DBINDIR=${CMAKE_INSTALL_BINDIR} -DLIBEXECDIR=${CMAKE_INSTALL_LIBEXECDIR}
                   -DDATADIR=${CMAKE_INSTALL_DATADIR} -P ${CMAKE_CURRENT_LIST_DIR}/check_install.cmake)
  add_test(NAME lintian_package
           COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_lintian.sh ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/lintian-check)
  set_tests_properties(lintian_package PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
  set_tests_properties(validate_desktop_entry validate_appstream_metadata install_layout lintian_package
                       PROPERTIES LABELS packaging)
endif()

# The .deb: `make package`, or packaging/build-deb.sh on a build. It packs the build as installed under /usr
# in PELMORA_DEB_STAGE, so making it compiles nothing (CPack's own install would first build every target).
set(PELMORA_DEB_STAGE "${CMAKE_BINARY_DIR}/deb-stage")
set(CPACK_GENERATOR DEB)
set(CPACK_INSTALL_CMAKE_PROJECTS "")
set(CPACK_INSTALLED_DIRECTORIES "${PELMORA_DEB_STAGE};/")
set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VENDOR "Pelmora")
set(CPACK_PACKAGE_CONTACT "${PELMORA_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small alarm timer with a large digital clock")
# Lines of at most 80 characters, as Debian's checks want them.
set(CPACK_PACKAGE_DESCRIPTION "\
Pelmora shows a large digital clock in one small window. Set a countdown of up
to one hour with a scroll bar, or run a stored task: it counts a delay down,
counts up to it, or waits for a time of day, then beeps once a second until
stopped, or runs a file once.

Started from the desktop menu, it keeps its tasks in
~/.local/share/pelmora/TASKS.BIN. It runs on X11 and natively on Wayland.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/pelmora")
# The shared libraries come from dpkg-shlibdeps; the rest is what Qt and the clock need at run time
# without linking to it: the X11 and Wayland platform plugins, and the metric-compatible "Arial" of the clock.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-wayland, fonts-liberation")
# xdg-open opens a task's file when it is not a program.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
