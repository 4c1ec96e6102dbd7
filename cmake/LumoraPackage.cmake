# The Debian package, built by `cpack -G DEB` in the build folder: the
# programs with their manual pages, the show machine's unit and system
# user, the control page, the demo show and /etc/lumora/player.json as a
# conffile. Library dependencies come from dpkg-shlibdeps; what the
# programs need without linking it is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumora)
set(CPACK_PACKAGE_VENDOR "Lumora Stage")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "light-show player, show controller and scheduler
Plays light-show animations (neon outlines, lamp strips, LED matrices) in a
window or without one, drives lamps over sACN, Art-Net, DDP and OLA, and
runs a show machine from a schedule, controlled from a browser or a phone.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Lumora Stage developers <lumora@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Time zones for the schedule, Qt Multimedia's GStreamer back end for the
# music, systemd-sysusers for the system user.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tzdata, systemd, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ola, fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/dist/debian/conffiles
                                       ${PROJECT_SOURCE_DIR}/dist/debian/postinst
                                       ${PROJECT_SOURCE_DIR}/dist/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
