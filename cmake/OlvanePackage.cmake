# SPDX-License-Identifier: GPL-3.0-or-later
# `make deb`: Debian packages of what `cmake --install` puts in place, for a build configured
# with CMAKE_INSTALL_PREFIX=/usr: olvane-helper, and olvane-helper-uinput with the udev rule
# and module list that give the seat's user /dev/uinput.
set(OLVANE_PACKAGE_MAINTAINER "OlvaneHelper developers <olvane-helper@example.org>")

# The changelog is NEWS's entries, each with the date it gives: the same package whenever it
# is built.
file(READ ${PROJECT_SOURCE_DIR}/NEWS news)
# A semicolon would split CMake's lists: it is held apart meanwhile.
string(REPLACE ";" "<semicolon>" news "${news}")
string(REGEX MATCHALL "\n[0-9][^\n]*\n(  [^\n]*\n)*" entries "${news}")
set(changelog "")
foreach(entry ${entries})
    string(REGEX MATCH "^\n([^ ]+) \\(([^)]+)\\)\n(.*)$" _ "${entry}")
    string(APPEND changelog "olvane-helper (${CMAKE_MATCH_1}) stable; urgency=medium\n\n"
           "${CMAKE_MATCH_3}\n -- ${OLVANE_PACKAGE_MAINTAINER}  ${CMAKE_MATCH_2} 12:00:00 +0000\n\n")
endforeach()
if(NOT changelog MATCHES "^olvane-helper \\(${PROJECT_VERSION}\\)")
    message(FATAL_ERROR "NEWS has no entry for ${PROJECT_VERSION} at the top")
endif()
string(STRIP "${changelog}" changelog)
string(REPLACE "<semicolon>" ";" changelog "${changelog}")
file(CONFIGURE OUTPUT debian/changelog CONTENT "${changelog}\n")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/NEWS)
add_custom_command(OUTPUT debian/changelog.gz
    COMMAND gzip -9nkf changelog
    DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/debian)
add_custom_target(olvane_package_changelog ALL DEPENDS debian/changelog.gz)
# What Debian wants beside every package: the copyright and the changelog.
foreach(package olvane-helper olvane-helper-uinput)
    string(REGEX REPLACE ".*-uinput" "uinput" component ${package})
    string(REGEX REPLACE "^olvane-helper$" "main" component ${component})
    install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz data/debian/copyright
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL main uinput)
set(CPACK_PACKAGE_NAME olvane-helper)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_CONTACT "${OLVANE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_MAIN_PACKAGE_NAME olvane-helper)
set(CPACK_COMPONENT_MAIN_DESCRIPTION [[
phone as touchpad, keyboard and media remote
OlvaneHelper runs in the background and lets the Olvane phone app, or any
phone's browser, move the pointer, click, scroll, type text through the
keyboard layout, press media keys and change the volume of this computer.
Phones find it on the local network and pair once with a four-digit code;
Bluetooth LE works too. It posts input on X11, on Wayland through the desktop
portal or the compositor's virtual devices (sway and other wlroots desktops),
or through uinput (package olvane-helper-uinput).]])
set(CPACK_DEBIAN_MAIN_PACKAGE_SHLIBDEPS ON)
# Qt loads the SVG icon through a plugin, which the binary does not link.
set(CPACK_DEBIAN_MAIN_PACKAGE_DEPENDS libqt6svg6)
# Without Avahi, phones must be given the computer's address by hand.
set(CPACK_DEBIAN_MAIN_PACKAGE_RECOMMENDS avahi-daemon)
set(CPACK_DEBIAN_MAIN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/olvane-helper/conffiles)

set(CPACK_DEBIAN_UINPUT_PACKAGE_NAME olvane-helper-uinput)
set(CPACK_DEBIAN_UINPUT_PACKAGE_ARCHITECTURE all)
set(CPACK_COMPONENT_UINPUT_DESCRIPTION [[
uinput access for OlvaneHelper
Gives the user logged in at the computer's seat access to /dev/uinput, and
loads the uinput module at boot, so that OlvaneHelper can create a virtual
mouse and keyboard where neither X11, the desktop portal nor the compositor's
virtual devices can post input. Any program of that user can then type into
any window: install it only for desktops that need it.]])
set(CPACK_DEBIAN_UINPUT_PACKAGE_DEPENDS "olvane-helper (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_UINPUT_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/data/debian/postinst ${PROJECT_SOURCE_DIR}/data/debian/postrm)
file(READ ${CMAKE_BINARY_DIR}/debian/olvane-helper-uinput/conffiles uinput_conffiles)
if(uinput_conffiles)
    list(APPEND CPACK_DEBIAN_UINPUT_PACKAGE_CONTROL_EXTRA
         ${CMAKE_BINARY_DIR}/debian/olvane-helper-uinput/conffiles)
endif()
include(CPack)
