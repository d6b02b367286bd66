# Installing as a Linux desktop program, and the Debian package.

set(ABSENCE_APP_ID jp.school.AbsenceCollector)

install(TARGETS absence_gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS absence_open_folder RUNTIME DESTINATION ${ABSENCE_LIBEXEC_SUBDIR})
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/icons/${ABSENCE_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/${ABSENCE_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The desktop entry runs the launcher by its absolute path, which is known
# only when installing: `cmake --install --prefix` and the package may each
# use another prefix than the one configured.
set(ABSENCE_DESKTOP_IN ${CMAKE_CURRENT_SOURCE_DIR}/${ABSENCE_APP_ID}.desktop.in)
if(IS_ABSOLUTE ${ABSENCE_LIBEXEC_SUBDIR})
  set(ABSENCE_INSTALLED_OPEN_FOLDER "${ABSENCE_LIBEXEC_SUBDIR}/absence-collector-open")
else()
  set(ABSENCE_INSTALLED_OPEN_FOLDER "\${CMAKE_INSTALL_PREFIX}/${ABSENCE_LIBEXEC_SUBDIR}/absence-collector-open")
endif()
set(ABSENCE_INSTALLED_DESKTOP ${CMAKE_CURRENT_BINARY_DIR}/installed/${ABSENCE_APP_ID}.desktop)
install(CODE "
  set(ABSENCE_OPEN_FOLDER \"${ABSENCE_INSTALLED_OPEN_FOLDER}\")
  configure_file(\"${ABSENCE_DESKTOP_IN}\" \"${ABSENCE_INSTALLED_DESKTOP}\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\"
       TYPE FILE FILES \"${ABSENCE_INSTALLED_DESKTOP}\")
")

# A build-tree entry that runs the build-tree launcher, for trying it out and
# for the GUI tests.
set(ABSENCE_OPEN_FOLDER "$<TARGET_FILE:absence_open_folder>")
configure_file(${ABSENCE_DESKTOP_IN} ${CMAKE_CURRENT_BINARY_DIR}/${ABSENCE_APP_ID}.desktop.gen @ONLY)
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${ABSENCE_APP_ID}.desktop
     INPUT ${CMAKE_CURRENT_BINARY_DIR}/${ABSENCE_APP_ID}.desktop.gen)

set(CPACK_PACKAGE_NAME absence-collector)
set(CPACK_PACKAGE_VENDOR "School office")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Gathers a day's absence notification files into the day's record")
set(CPACK_PACKAGE_DESCRIPTION [[
A desktop program for a Japanese school office. During the morning,
absence, late-arrival and early-leave notifications are written down at
several places (the telephones, a web form, contact books), each into its
own code page 932 text file in one shared folder. For a chosen day the
program gathers those files into one list, re-orders it by the time of the
notification or by class, and saves it as the day's absence record file.

The file manager's Open With menu on a folder starts the program in that
folder. The package also holds absence-collector-cli, a command-line front
end for a daily job, a terminal without a display or a web form's station
(add), and absence-collector-station, the window where a telephone or
contact-book station takes its calls and writes each as one line.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "School office <office@school.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The C and C++ runtime come from dpkg-shlibdeps; Qt's platform plugins (the
# offscreen one draws the command line's PDF) and the three Japanese faces the
# windows ask for are not linked, so they are named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6, libqt6gui6, libqt6widgets6, libqt6printsupport6, qt6-qpa-plugins, fonts-ipafont-gothic, fonts-motoya-l-maruberi, fonts-klee, libcap2-bin, adduser")
# The postinst makes the lease helper's group (addgroup, from adduser) and
# gives the helper CAP_LEASE (setcap, from libcap2-bin).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
