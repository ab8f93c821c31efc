# A Debian package of the installed files: cpack -G DEB in the build folder.
# The package installs under the build's CMAKE_INSTALL_PREFIX, so configure
# with -DCMAKE_INSTALL_PREFIX=/usr for a system package, and name yourself
# with -DCORVANE_PACKAGE_MAINTAINER="Name <address>" for one you hand out.
set(CORVANE_PACKAGE_MAINTAINER "Corvane developers <maintainers@corvane.example>"
    CACHE STRING "Maintainer of the Debian package: Name <address>")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "corvane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lets a phone control this computer over the local network")
# Lines of at most 80 characters, as apt and dpkg show them.
set(CPACK_PACKAGE_DESCRIPTION "Corvane lets the Corvane phone app control a Linux desktop over the\n\
local network: pointer and keyboard, presentations with a laser pointer,\n\
power, volume and music, files, applications and the clipboard. The phone\n\
finds the computer by a UDP broadcast or by scanning a QR code.")
set(CPACK_PACKAGE_CONTACT "${CORVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Libraries from the linked binaries; the xcb platform plugin, the font of
# the Chinese texts and the tools the command scripts call are named here.
# systemctl and loginctl come with every systemd desktop; recommending
# systemd would pull it and its services into a system without it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# libcurl4 is loaded at run time (for push notifications), so the library
# scan does not see it. The laser dot uses Qt's platform interface, which
# holds only for the Qt release the program was built with.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, xdg-utils, fonts-noto-cjk, libcurl4, qt6-base-abi (= ${Qt6_VERSION})")
# Qt's own texts (a text field's context menu) in Chinese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio-utils | alsa-utils, playerctl, qt6-translations-l10n")

# The licence and the changelog where Debian keeps them; the copyright file
# in the machine-readable format, with the licence text of LICENSE.
set(CORVANE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/corvane)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE CORVANE_LICENSE)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" CORVANE_COPYRIGHT_LINE "${CORVANE_LICENSE}")
set(CORVANE_COPYRIGHT_HOLDER "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n" "" CORVANE_LICENSE_TERMS "${CORVANE_LICENSE}")
string(STRIP "${CORVANE_LICENSE_TERMS}" CORVANE_LICENSE_TERMS)
string(REPLACE "\n\n" "\n.\n" CORVANE_LICENSE_TERMS "${CORVANE_LICENSE_TERMS}")
string(REPLACE "\n" "\n " CORVANE_LICENSE_TERMS "${CORVANE_LICENSE_TERMS}")
set(CORVANE_COPYRIGHT "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n\
Upstream-Name: Corvane\n\n\
Files: *\n\
Copyright: ${CORVANE_COPYRIGHT_HOLDER}\n\
License: Expat\n\
 ${CORVANE_LICENSE_TERMS}\n")
file(WRITE ${PROJECT_BINARY_DIR}/doc/copyright "${CORVANE_COPYRIGHT}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/doc/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/doc/changelog.gz
                   COMMAND sh -c "gzip -9n -c changelog > changelog.gz"
                   WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/doc
                   DEPENDS ${PROJECT_BINARY_DIR}/doc/changelog VERBATIM)
add_custom_target(corvane_doc ALL DEPENDS ${PROJECT_BINARY_DIR}/doc/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/doc/copyright ${PROJECT_BINARY_DIR}/doc/changelog.gz DESTINATION ${CORVANE_DOC_DIR})

include(CPack)
