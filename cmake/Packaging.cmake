# `make package` (cpack in the build folder): one Debian package of the
# programs, their GStreamer plugins, the menu entry, icons and man pages.
# Configure with -DCMAKE_INSTALL_PREFIX=/usr (the Makefile does), so that the
# plugins land in GStreamer's own folder.

if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "Packaging: the install prefix is ${CMAKE_INSTALL_PREFIX}; a Debian package "
                 "wants -DCMAKE_INSTALL_PREFIX=/usr")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kolvane)
set(CPACK_PACKAGE_VENDOR Brevanta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Brevanta <kolvane@brevanta.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stop-motion animation station")
set(CPACK_PACKAGE_DESCRIPTION
    "Kolvane grabs still images one by one from a webcam, a capture card or a\n"
    "DSLR in live view, times them on an exposure sheet with sounds, plays the\n"
    "scene back at 15, 24, 25 or 30 frames a second and writes it out as a\n"
    "folder of images with timing files, or as an AVI or MP4 movie.\n"
    "\n"
    "The package holds the program, the kolvane-tool command line for scripts\n"
    "and the program's own GStreamer elements (zantho, feddick, quorrel).")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
# The libraries the programs link come from dpkg-shlibdeps; the GStreamer
# elements and Qt plugins they load at run time are named here: base (app,
# convert, scale, test pattern), good (V4L2, PNG and JPEG, MP4 and AVI
# muxers, audio sinks), bad (AAC encoder, H.264 parser, DeckLink), ugly
# (x264), libav (the AVI reductions, AAC), Qt's TGA and TIFF readers.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, "
    "gstreamer1.0-plugins-ugly, gstreamer1.0-libav, qt6-image-formats-plugins")
string(JOIN "" CPACK_DEBIAN_PACKAGE_DEPENDS ${CPACK_DEBIAN_PACKAGE_DEPENDS})
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-alsa")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "v4l-utils, gphoto2")

include(CPack)
