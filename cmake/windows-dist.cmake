# What the Windows build hands out comes from its install rules:
#   cmake --install build-windows --prefix build-windows/dist --strip
# lays out the programs, every DLL they and Qt's plugins import (Qt's, ICU's,
# the compiler's runtime) and the plugins, as they are installed: programs
# and DLLs at the top, the plugins in the folders Qt looks for beside the
# program (platforms/, styles/).
#   windows_dist  that install into build-windows/dist, emptied first
#   windows_msi   build-windows/absence-collector-<version>-x64.msi from it

set(ABSENCE_DIST_DIR ${CMAKE_BINARY_DIR}/dist)

# The imports are read with the toolchain's objdump, on any build machine.
set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND ${CMAKE_OBJDUMP})

set(programs absence_cli)
if(TARGET absence_gui)
  list(APPEND programs absence_gui)
endif()
if(TARGET absence_station)
  list(APPEND programs absence_station)
endif()
install(TARGETS ${programs} RUNTIME_DEPENDENCY_SET absence_runtime RUNTIME DESTINATION .)

if(TARGET absence_pages)
  # The command line's pdf command draws its pages on Qt's offscreen
  # platform, which needs no display: a daily job runs without one.
  install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QOffscreenIntegrationPlugin
          RUNTIME_DEPENDENCY_SET absence_runtime LIBRARY DESTINATION platforms)
endif()
if(TARGET absence_gui)
  # The platform plugin every windowed Qt program needs, and the native
  # style's (Qt's dialogs and message boxes take it where the program does
  # not set another). Printing needs no plugin: the Windows print engine is
  # part of Qt6PrintSupport.dll, which comes with the imports.
  install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsIntegrationPlugin
          RUNTIME_DEPENDENCY_SET absence_runtime LIBRARY DESTINATION platforms)
  if(TARGET Qt6::QWindowsVistaStylePlugin)
    install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsVistaStylePlugin
            RUNTIME_DEPENDENCY_SET absence_runtime LIBRARY DESTINATION styles)
  endif()
endif()

# Where the imported DLLs are looked up: Qt's and ICU's bin folders and the
# compiler's runtime, then Windows' own DLLs, which are left out. A Windows
# build machine has those in System32; this one has Wine's (what Wine
# installs as C:\windows\system32).
find_package(ICU REQUIRED COMPONENTS uc)
get_filename_component(icu_bin ${ICU_INCLUDE_DIR}/../bin ABSOLUTE)
find_path(ABSENCE_WINDOWS_SYSTEM_DLLS kernel32.dll
          PATHS /usr/lib/x86_64-linux-gnu /usr/lib64 /usr/lib /usr/local/lib
          PATH_SUFFIXES wine/x86_64-windows
          DOC "A folder of Windows' own DLLs (Wine's when cross-building)"
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
set(system_dlls_regex ".*[Ss][Yy][Ss][Tt][Ee][Mm]32.*")
set(system_dlls_dir)
if(ABSENCE_WINDOWS_SYSTEM_DLLS)
  set(system_dlls_dir ${ABSENCE_WINDOWS_SYSTEM_DLLS})
  string(REGEX REPLACE "([][+.*?()^$|\\\\])" "\\\\\\1" escaped "${ABSENCE_WINDOWS_SYSTEM_DLLS}")
  list(APPEND system_dlls_regex "^${escaped}/")
endif()

set(qt_lookup ${ABSENCE_QT_BIN})
if(CMAKE_VERSION VERSION_LESS 3.27 AND NOT CMAKE_HOST_WIN32)
  # CMake before 3.27 looks an imported DLL up by its name in lower case,
  # which a case-sensitive file system does not find as Qt6Core.dll: a folder
  # of lower-case links to Qt's DLLs stands in for Qt's bin folder. The
  # install copies the real files and the links beside them; the links go
  # again below.
  set(qt_lookup ${CMAKE_BINARY_DIR}/qt-dll-lookup)
  file(REMOVE_RECURSE ${qt_lookup})
  file(MAKE_DIRECTORY ${qt_lookup})
  file(GLOB qt_dlls ${ABSENCE_QT_BIN}/*.dll)
  foreach(dll IN LISTS qt_dlls)
    get_filename_component(name ${dll} NAME)
    string(TOLOWER ${name} lower)
    file(CREATE_LINK ${dll} ${qt_lookup}/${lower} SYMBOLIC)
  endforeach()
endif()

install(RUNTIME_DEPENDENCY_SET absence_runtime
        DESTINATION .
        PRE_EXCLUDE_REGEXES "[Aa][Pp][Ii]-[Mm][Ss]-.*" "[Ee][Xx][Tt]-[Mm][Ss]-.*"
        POST_EXCLUDE_REGEXES ${system_dlls_regex}
        DIRECTORIES ${qt_lookup} ${icu_bin} ${ABSENCE_RUNTIME_DLL_DIRS} ${system_dlls_dir})

# CMake 3.25's --strip reaches the programs only: the DLLs of the set and the
# plugins are stripped here, and the lower-case links go.
install(CODE "set(absence_strip \"${CMAKE_STRIP}\")")
install(CODE [[
  foreach(file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
    if(NOT file MATCHES "\\.[Dd][Ll][Ll]$")
      continue()
    elseif(IS_SYMLINK "${file}")
      file(REMOVE "${file}")
      list(REMOVE_ITEM CMAKE_INSTALL_MANIFEST_FILES "${file}")
    elseif(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND "${absence_strip}" --strip-unneeded "${file}" RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "Could not strip ${file}")
      endif()
    endif()
  endforeach()
]])

add_custom_target(windows_dist
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${ABSENCE_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${ABSENCE_DIST_DIR} --strip
  COMMENT "Installing the programs and what they need into ${ABSENCE_DIST_DIR}"
  VERBATIM)
add_dependencies(windows_dist ${programs})

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
# The station program's shortcut: likewise.
set(ABSENCE_STATION_SHORTCUT_GUID 4F1F0E7E-33E7-48B7-B5CB-C126E3D20A90)
# The component that puts the programs' folder on the system PATH: likewise.
set(ABSENCE_PATH_GUID B5D44627-3A0B-47F5-A05B-C3BA12F0B3B0)
# Named in Japanese as the windows are.
set(ABSENCE_SHORTCUT_NAME "欠席連絡集積")
set(ABSENCE_STATION_SHORTCUT_NAME "欠席連絡受付")
get_target_property(gui_name absence_gui OUTPUT_NAME)
set(ABSENCE_GUI_FILE ${gui_name}.exe)
get_target_property(station_name absence_station OUTPUT_NAME)
set(ABSENCE_STATION_FILE ${station_name}.exe)
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
          -DSTATION_SHORTCUT_NAME=${ABSENCE_STATION_SHORTCUT_NAME}
          -P ${PROJECT_SOURCE_DIR}/cmake/windows-msi.cmake
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Making ${ABSENCE_MSI_NAME}"
  VERBATIM)
add_dependencies(windows_msi windows_dist absence_icon)
