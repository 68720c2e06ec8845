# make package: a Debian package of what `make install` installs, with its
# dependencies computed from the binaries by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME setupkit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "setupkit maintainers <setupkit@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make, inspect, verify and recover setup media")
set(CPACK_PACKAGE_DESCRIPTION "setupkit packs files into the archives of setup media (SETUP.BIN and its
volumes), makes whole media with the graphical setup program, and lists,
verifies and restores the files of existing media.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A medium carries these fonts and the Wayland plugins in its runtime; strip
# and xorriso are used when present (stripped binaries on media, ISO images
# of disks).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, fonts-dejavu-core, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "binutils, xorriso")
include(CPack)
