# Install layout and CPack settings of the Debian package (scripts/package-deb.sh makes it).
#
# lintian (Debian 12) reports nothing at error, warning, info or pedantic
# level for the package this makes, when built by scripts/package-deb.sh,
# which adds Debian's hardening flags.
include(GNUInstallDirs)

set(TW_DEB_SOURCE ${PROJECT_SOURCE_DIR}/packaging/linux)
set(TW_DEB_OUT ${CMAKE_CURRENT_BINARY_DIR}/debian-package)
# A placeholder address until the project has a contact of its own; the
# changelog's entries carry the same one.
set(TW_DEB_MAINTAINER "The Tidewell developers <tidewell@example.org>")

# The build keeps its target's name (build/src/Tidewell, which run.sh starts);
# the installed command is lower case, as Linux commands are.
install(PROGRAMS $<TARGET_FILE:Tidewell> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME tidewell)
# Stripping (CPACK_STRIP_FILES) only reaches install(TARGETS); the renamed copy
# is stripped here the way Debian's dh_strip strips a program.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tidewell\"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()")

install(FILES ${TW_DEB_SOURCE}/tidewell.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/tidewell.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/tidewell-256.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps RENAME tidewell.png)

# The manual page carries the project version; it and the changelog are
# compressed as Debian wants them (gzip -9, no name or time stamp inside).
configure_file(${TW_DEB_SOURCE}/tidewell.1.in ${TW_DEB_OUT}/tidewell.1 @ONLY)
add_custom_command(OUTPUT ${TW_DEB_OUT}/tidewell.1.gz
  COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${TW_DEB_OUT}/tidewell.1 ${TW_DEB_OUT}/tidewell.1.gz
  DEPENDS ${TW_DEB_OUT}/tidewell.1 VERBATIM)
add_custom_command(OUTPUT ${TW_DEB_OUT}/changelog.gz
  COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${TW_DEB_SOURCE}/changelog ${TW_DEB_OUT}/changelog.gz
  DEPENDS ${TW_DEB_SOURCE}/changelog VERBATIM)
add_custom_target(tidewell_package_docs ALL
  DEPENDS ${TW_DEB_OUT}/tidewell.1.gz ${TW_DEB_OUT}/changelog.gz)
install(FILES ${TW_DEB_OUT}/tidewell.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TW_DEB_SOURCE}/copyright ${TW_DEB_OUT}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tidewell)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tidewell)
set(CPACK_PACKAGE_VENDOR "The Tidewell developers")
set(CPACK_PACKAGE_CONTACT "${TW_DEB_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy changed files into many game-server installations at once")
# Lines of the long description are wrapped here: CPack takes them as they are.
set(CPACK_PACKAGE_DESCRIPTION "\
Tidewell is for operators who run several copies of a game server side by
side on one drive, each in a folder of its own with a Config.ini naming the
game. Drop changed files from one installation onto its window: Tidewell
finds the sibling installations, shows for each whether its copy is missing,
identical (MD5), smaller or larger, older or newer, ticks those whose game
name matches the typed version name, and copies the dropped files into every
ticked installation.

The window's texts are in Simplified Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# dpkg-shlibdeps finds the libraries the program links; among them
# libqt6gui6, which also holds the xcb platform plugin the window opens
# through on Debian 12. Named here: a font with the Chinese characters every
# text of the window is written in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-zenhei | fonts-noto-cjk")
include(CPack)
