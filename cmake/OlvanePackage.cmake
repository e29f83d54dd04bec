# SPDX-License-Identifier: GPL-3.0-or-later
# `make deb`: a Debian package of what `cmake --install` puts in place, for a build
# configured with CMAKE_INSTALL_PREFIX=/usr.
set(OLVANE_PACKAGE_MAINTAINER "OlvaneHelper developers <olvane-helper@example.org>")

# What Debian wants beside every package: the copyright and a changelog, compressed.
string(TIMESTAMP OLVANE_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(data/debian/changelog.in debian/changelog @ONLY)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/olvane-helper)
add_custom_command(OUTPUT debian/changelog.gz
    COMMAND gzip -9nf changelog
    DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/debian)
add_custom_target(olvane_package_changelog ALL DEPENDS debian/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz data/debian/copyright
        DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME olvane-helper)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_CONTACT "${OLVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "phone as touchpad, keyboard and media remote")
set(CPACK_PACKAGE_DESCRIPTION [[
OlvaneHelper runs in the background and lets the Olvane phone app, or any
phone's browser, move the pointer, click, scroll, type text through the
keyboard layout, press media keys and change the volume of this computer.
Phones find it on the local network and pair once with a four-digit code;
Bluetooth LE works too. It posts input on X11, on Wayland through the desktop
portal or the compositor's virtual devices (sway and other wlroots desktops),
or through uinput.]])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads the SVG icon through a plugin, which the binary does not link.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6svg6)
# Without Avahi, phones must be given the computer's address by hand.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS avahi-daemon)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/conffiles
    ${PROJECT_SOURCE_DIR}/data/debian/postinst ${PROJECT_SOURCE_DIR}/data/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
