# Installation of the desktop integration, its validation tests, and the .deb built by CPack.
include(GNUInstallDirs)

set(PELMORA_LICENSE "LicenseRef-proprietary" CACHE STRING "SPDX licence of Pelmora, for the AppStream metadata")
set(PELMORA_PACKAGE_CONTACT "Pelmora maintainers <maintainers@users.noreply.c-seed-7fa9f2d7.example>"
    CACHE STRING "Maintainer field of the .deb")

set(PELMORA_PROGRAM "${CMAKE_INSTALL_FULL_BINDIR}/pelmora")
set(PELMORA_LAUNCHER "${CMAKE_INSTALL_FULL_LIBEXECDIR}/pelmora/pelmora-launch")
set(PELMORA_DESKTOP_FILE "${CMAKE_BINARY_DIR}/packaging/pelmora.desktop")
set(PELMORA_METAINFO_FILE "${CMAKE_BINARY_DIR}/packaging/io.github.pelmora.pelmora.metainfo.xml")

configure_file(${CMAKE_CURRENT_LIST_DIR}/pelmora-launch.in ${CMAKE_BINARY_DIR}/packaging/pelmora-launch @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/pelmora.desktop.in ${PELMORA_DESKTOP_FILE} @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/io.github.pelmora.pelmora.metainfo.xml.in ${PELMORA_METAINFO_FILE} @ONLY)

install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/pelmora-launch DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/pelmora)
install(FILES ${PELMORA_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
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
                   -DPREFIX=${CMAKE_INSTALL_PREFIX}
                   -DBINDIR=${CMAKE_INSTALL_BINDIR} -DLIBEXECDIR=${CMAKE_INSTALL_LIBEXECDIR}
                   -DDATADIR=${CMAKE_INSTALL_DATADIR} -P ${CMAKE_CURRENT_LIST_DIR}/check_install.cmake)
  set_tests_properties(validate_desktop_entry validate_appstream_metadata install_layout PROPERTIES LABELS packaging)
endif()

# The .deb: `make package`. Its prefix is the install prefix, so the desktop entry's paths hold in the package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VENDOR "Pelmora")
set(CPACK_PACKAGE_CONTACT "${PELMORA_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small alarm timer with a large digital clock")
set(CPACK_PACKAGE_DESCRIPTION "Pelmora counts a delay down, counts up to it, or waits for a time of day, \
then beeps once a second until stopped, or runs a file once. \
Started from the desktop menu, it keeps its tasks in ~/.local/share/pelmora/TASKS.BIN.")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/pelmora")
# The shared libraries come from dpkg-shlibdeps; the rest is what Qt and the clock need at run time
# without linking to it: the X11 platform plugin, and the metric-compatible "Arial" of the clock face.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation")
# xdg-open opens a task's file when it is not a program.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
