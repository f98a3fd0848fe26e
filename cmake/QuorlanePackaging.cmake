# The Debian package (cpack, or the "package" target): everything `cmake --install` puts in place, under /usr. Its
# Depends come from the program's real shared-library dependencies (dpkg-shlibdeps), plus what the program starts or
# loads at run time: the browser engine's helper process (Debian's engine library also names it; stated here so the
# package does not rest on that) and Qt's platform plugins, without which no window opens.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorlane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_CONTACT "Quorlane developers <developers@quorlane.net>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Set up a Wi-Fi microcontroller board from its USB serial port")
set(CPACK_PACKAGE_DESCRIPTION "Quorlane connects to a Wi-Fi microcontroller board over its USB serial port, shows
its console, sends it its Wi-Fi and network settings, writes firmware from an HTTPS catalogue onto it with
esptool, and opens the board's web setup page signed in.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6webenginecore6-bin, qt6-qpa-plugins")
include(CPack)
