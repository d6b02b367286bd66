# Run by the windows_msi target in the build folder: lists the dist folder for
# wixl, builds the MSI and gives it what wixl cannot write itself.
#   cmake -DDIST=... -DWORK=... -DMSI=... -DWIXL=... -DWIXL_HEAT=...
#         -DMSIBUILD=... -DMSIINFO=... -DSHORTCUT_NAME=... -DSTATION_SHORTCUT_NAME=...
#         -P windows-msi.cmake
# wixl takes the files it packs by paths relative to the build folder.

# Every file in the dist folder, one component each, the folders kept.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${CMAKE_BINARY_DIR} ${DIST}/*)
list(SORT files)
list(JOIN files "\n" file_list)
file(WRITE ${WORK}/dist-files.txt "${file_list}\n")
file(RELATIVE_PATH dist_rel ${CMAKE_BINARY_DIR} ${DIST})
execute_process(
  COMMAND ${WIXL_HEAT} --prefix ${dist_rel}/ --directory-ref INSTALLDIR
          --component-group DistFiles --var var.DistDir --win64
  INPUT_FILE ${WORK}/dist-files.txt
  OUTPUT_FILE ${WORK}/dist-files.wxs
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "wixl-heat failed on ${DIST}")
endif()

file(REMOVE ${MSI})
execute_process(
  COMMAND ${WIXL} -a x64 -D DistDir=${dist_rel} -D Win64=yes -o ${MSI}
          ${WORK}/absence-collector.wxs ${WORK}/dist-files.wxs
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "wixl failed")
endif()

# wixl writes its strings in no code page, which loses the Japanese ones: the
# database gets code page 932 and then the shortcuts their names. It also writes
# SecureCustomProperties itself, without ABSENCEFOLDER and STATION, which an elevated or
# managed install needs to take the folder from the command line. And it has
# no Environment element: the row that appends the programs' folder to the
# system PATH ("=-*": set on install, system-wide, removed on uninstall; "[~];"
# keeps what is there), and the two standard actions that apply it.
execute_process(COMMAND ${MSIINFO} export ${MSI} Property
                OUTPUT_VARIABLE properties RESULT_VARIABLE failed)
if(failed OR NOT properties MATCHES "\nSecureCustomProperties\t([^\r\n]*)")
  file(REMOVE ${MSI})
  message(FATAL_ERROR "wixl wrote no SecureCustomProperties")
endif()
set(secure "ABSENCEFOLDER;STATION;${CMAKE_MATCH_1}")
file(WRITE ${WORK}/_ForceCodepage.idt "\r\n\r\n932\t_ForceCodepage\r\n")
file(WRITE ${WORK}/Environment.idt
  "Environment\tName\tValue\tComponent_\r\n"
  "s72\tl255\tL255\ts72\r\n"
  "Environment\tEnvironment\r\n"
  "SystemPath\t=-*PATH\t[~];[INSTALLDIR]\tSystemPath\r\n")
execute_process(
  COMMAND ${MSIBUILD} ${MSI} -i ${WORK}/_ForceCodepage.idt -i ${WORK}/Environment.idt
          -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('RemoveEnvironmentStrings', 3300)"
          -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('WriteEnvironmentStrings', 5200)"
          -q "UPDATE `Shortcut` SET `Name` = 'absence|${SHORTCUT_NAME}', `Description` = '${SHORTCUT_NAME}' WHERE `Shortcut` = 'AbsenceCollectorShortcut'"
          -q "UPDATE `Shortcut` SET `Name` = 'station|${STATION_SHORTCUT_NAME}', `Description` = '${STATION_SHORTCUT_NAME}' WHERE `Shortcut` = 'StationShortcut'"
          -q "UPDATE `Property` SET `Value` = '${secure}' WHERE `Property` = 'SecureCustomProperties'"
  RESULT_VARIABLE failed)
if(failed)
  file(REMOVE ${MSI})
  message(FATAL_ERROR "msibuild could not set the code page, the shortcut's name and the PATH entry")
endif()
