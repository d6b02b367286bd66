# Installing as a Linux desktop program, and the Debian package.

set(ABSENCE_APP_ID jp.school.AbsenceCollector)

install(TARGETS absence_gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/${ABSENCE_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/icons/${ABSENCE_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME absence-collector)
set(CPACK_PACKAGE_VENDOR "School office")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Gathers a day's absence notification files into the day's record")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "School office <office@school.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The C and C++ runtime come from dpkg-shlibdeps; Qt's platform plugins and the
# three Japanese faces the windows ask for are not linked, so they are named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6, libqt6gui6, libqt6widgets6, libqt6svg6, qt6-qpa-plugins, fonts-ipafont-gothic, fonts-motoya-l-maruberi, fonts-klee")
include(CPack)
