# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` in a release build makes
# electronic-skin_<version>-<revision>_<architecture>.deb. Its dependencies on shared libraries
# are computed from the programs by dpkg-shlibdeps (package dpkg-dev). scripts/package.sh builds
# it with Debian's hardening flags.

set(ESKIN_PACKAGE_MAINTAINER
    "Electronic Skin maintainers <maintainers@users.noreply.c-seed-40e1d27a.example>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME "electronic-skin")
set(CPACK_PACKAGE_VENDOR "The Electronic Skin developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "host application of a tactile electronic skin")
# Lines of at most 80 columns, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION
    "Reads the driver card of an electronic skin (up to 16 tactile sensors, three
axes each) through a serial port and shows every sensor's force as curves, as a
coloured plane of cells and as force arrows in a rotatable 3-D view. It takes,
reads and writes the sensors' baseline, sets the card's sampling frequency and
calibrates the sensors against known pressures. Its interface is Chinese or
English.
.
It shares the live stream over TCP and publishes it to an MQTT broker.
.
The package also holds eskin-card-sim, a simulated driver card on a
pseudo-terminal.")
if(TARGET eskin-record)
    string(APPEND CPACK_PACKAGE_DESCRIPTION
        "\neskin-record records the sensors' readings from a driver card as CSV,
without a window, or the streams published to an MQTT broker.")
endif()
if(TARGET eskin-analyse)
    string(APPEND CPACK_PACKAGE_DESCRIPTION
        "\neskin-analyse gives the contacts, total force, centre of pressure and peak
of every frame of a recording, as CSV.")
endif()
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_PACKAGE_CONTACT "${ESKIN_PACKAGE_MAINTAINER}")
# Stripped as Debian's dh_strip does it: the compiler's identification goes too.
set(CPACK_STRIP_FILES OFF)
set(CPACK_ESKIN_STRIP "${CMAKE_STRIP}")
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_SOURCE_DIR}/strip-programs.cmake")

set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE "${ESKIN_DEBIAN_REVISION}") # from debian/changelog
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ESKIN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries' dependencies come from dpkg-shlibdeps. Qt's GUI library only recommends the
# package of its further platform plugins, which an installation without recommended packages
# would lack (on Debian 12 the X11 plugin itself comes with the library).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The interface texts need a font with Chinese characters, Qt's own texts in Chinese need Qt's
# translations; socat makes virtual serial ports, mosquitto is a broker to publish to, and the
# MQTT example client needs Paho.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "socat, mosquitto, python3-paho-mqtt")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
