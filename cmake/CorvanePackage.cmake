# A Debian package of the installed files: cpack -G DEB in the build folder.
# The package installs under the build's CMAKE_INSTALL_PREFIX, so configure
# with -DCMAKE_INSTALL_PREFIX=/usr for a system package.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "corvane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lets a phone control this computer over the local network")
set(CPACK_PACKAGE_DESCRIPTION "Corvane lets the Corvane phone app control a Linux desktop over the local network:\n\
pointer and keyboard, presentations with a laser pointer, power, volume and music,\n\
files, applications and the clipboard. It finds the phone by UDP broadcast or a QR code.")
set(CPACK_PACKAGE_CONTACT "Corvane developers <corvane@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Libraries from the linked binaries; the xcb platform plugin and the tools
# the command scripts call are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio-utils | alsa-utils, playerctl, systemd")
include(CPack)
