# The Debian package: cpack -G DEB from the build folder writes morvane-patch_<version>_<arch>.deb.
# Its dependencies are read from the libraries the installed executable links (dpkg-shlibdeps),
# so they follow whatever the build linked rather than a list kept by hand.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvane-patch)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Morvane 4.8 Patch developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "adds the Chat Partners category to the Morvane 4.8 add-on for mIRC")
set(CPACK_PACKAGE_DESCRIPTION
    "Morvane 4.8 Patch changes morvane.mrc, the main script of the Morvane 4.8
chat add-on for mIRC, so that the add-on knows the Chat Partners (PT) room
category. It adds the category to the add-on's room lists, comments out its
raw debug log and, if the user agrees, raises the version it reports to 4.8a.
Before it changes anything it keeps the script's text in a patch log and a
backup beside the script.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(MORVANE_PACKAGE_MAINTAINER "Morvane 4.8 Patch developers <morvane-patch@localhost>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${MORVANE_PACKAGE_MAINTAINER}")
set(CPACK_MORVANE_SOURCE_DATE_EPOCH "${MORVANE_SOURCE_DATE_EPOCH}")
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/packaging/source_date.cmake")
# The Python that makes the program's font, which the build therefore has.
set(CPACK_MORVANE_PYTHON "${MORVANE_FONT_PYTHON}")
set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/packaging/deb_member_modes.cmake")
include(CPack)
