# What the Windows build hands out:
#   windows_dist  build-windows/dist: the programs and every DLL and Qt plugin
#                 they need, stripped, laid out as they are installed
#   windows_msi   build-windows/absence-collector-<version>-x64.msi from the
#                 dist folder, made with wixl (msitools)

set(ABSENCE_DIST_DIR ${CMAKE_BINARY_DIR}/dist)

# The manifest: one line per file, "folder-in-dist|source", made when
# generating (generator expressions name the built programs and Qt's files).
set(dist_lines "|$<TARGET_FILE:absence_cli>")
set(qt_modules Core)
if(TARGET absence_gui)
  list(APPEND dist_lines "|$<TARGET_FILE:absence_gui>")
  list(APPEND qt_modules Gui Widgets)
  # The platform plugin every windowed Qt program needs, and the native
  # style's (Qt's dialogs and message boxes take it where the program does not
  # set another).
  list(APPEND dist_lines "platforms|$<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>")
  if(TARGET Qt6::QWindowsVistaStylePlugin)
    list(APPEND dist_lines "styles|$<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>")
  endif()
endif()
foreach(module IN LISTS qt_modules)
  list(APPEND dist_lines "|$<TARGET_FILE:Qt6::${module}>")
endforeach()

# ICU's DLLs lie in bin/ beside its include/.
find_package(ICU REQUIRED COMPONENTS uc)
string(REGEX MATCH "^[0-9]+" icu_major "${ICU_VERSION}")
get_filename_component(icu_prefix ${ICU_INCLUDE_DIR} DIRECTORY)
foreach(name uc in dt)
  find_file(ABSENCE_ICU_${name}_DLL icu${name}${icu_major}.dll
            PATHS ${icu_prefix}/bin NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ABSENCE_ICU_${name}_DLL)
    message(FATAL_ERROR "icu${name}${icu_major}.dll is not in ${icu_prefix}/bin")
  endif()
  list(APPEND dist_lines "|${ABSENCE_ICU_${name}_DLL}")
endforeach()

foreach(dll IN LISTS ABSENCE_RUNTIME_DLLS)
  list(APPEND dist_lines "|${dll}")
endforeach()

list(JOIN dist_lines "\n" dist_manifest)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/dist-manifest.txt CONTENT "${dist_manifest}\n")

add_custom_target(windows_dist
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/dist-manifest.txt
          -DDIST=${ABSENCE_DIST_DIR} -DSTRIP=${CMAKE_STRIP}
          -P ${PROJECT_SOURCE_DIR}/cmake/windows-dist-copy.cmake
  COMMENT "Gathering the programs and what they need into ${ABSENCE_DIST_DIR}"
  VERBATIM)
add_dependencies(windows_dist absence_cli)
if(TARGET absence_gui)
  add_dependencies(windows_dist absence_gui)
endif()

# --- the installer --------------------------------------------------------
if(NOT TARGET absence_gui)
  return()
endif()
find_program(WIXL wixl)
find_program(WIXL_HEAT wixl-heat)
find_program(MSIBUILD msibuild)
find_program(MSIINFO msiinfo)
if(NOT WIXL OR NOT WIXL_HEAT OR NOT MSIBUILD OR NOT MSIINFO)
  message(STATUS "wixl or msitools not found: no windows_msi target")
  return()
endif()

# Never to change: Windows Installer knows the versions of one product by it.
set(ABSENCE_UPGRADE_CODE 6F3C2B8E-41D7-4A95-8E2F-0B7D5C1A9E34)
# The Start-menu shortcut's component: a fixed identity as well.
set(ABSENCE_SHORTCUT_GUID 2D9E7A41-6B3F-4C18-9D05-E8A1F4C7B6D2)
# Named in Japanese as the windows are.
set(ABSENCE_SHORTCUT_NAME "欠席連絡集積")
get_target_property(gui_name absence_gui OUTPUT_NAME)
set(ABSENCE_GUI_FILE ${gui_name}.exe)
set(ABSENCE_MSI_NAME absence-collector-${PROJECT_VERSION}-x64.msi)
set(msi ${CMAKE_BINARY_DIR}/${ABSENCE_MSI_NAME})
set(msi_work ${CMAKE_BINARY_DIR}/msi)
file(RELATIVE_PATH ABSENCE_ICON_ICO_REL ${CMAKE_BINARY_DIR} ${ABSENCE_ICON_ICO})
configure_file(${PROJECT_SOURCE_DIR}/cmake/absence-collector.wxs.in ${msi_work}/absence-collector.wxs @ONLY)

add_custom_target(windows_msi
  COMMAND ${CMAKE_COMMAND}
          -DDIST=${ABSENCE_DIST_DIR} -DWORK=${msi_work} -DMSI=${msi}
          -DWIXL=${WIXL} -DWIXL_HEAT=${WIXL_HEAT} -DMSIBUILD=${MSIBUILD} -DMSIINFO=${MSIINFO}
          -DSHORTCUT_NAME=${ABSENCE_SHORTCUT_NAME}
          -P ${PROJECT_SOURCE_DIR}/cmake/windows-msi.cmake
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Making ${ABSENCE_MSI_NAME}"
  VERBATIM)
add_dependencies(windows_msi windows_dist absence_icon)
