# The Windows build: ICU, the Windows resources of the programs, the mingw
# runtime, and, when cross-building, Wine to run the test suites.

enable_language(RC)

# Named in the programs' version resources and in the installer.
set(ABSENCE_PRODUCT_NAME "Absence Collector")
set(ABSENCE_PUBLISHER "School office")

# ICU comes from its own prefix (ICU_ROOT, given by scripts/build-windows).
# A cross toolchain searches libraries and headers only below its root paths,
# so that prefix becomes one of them.
if(CMAKE_CROSSCOMPILING AND ICU_ROOT)
  list(APPEND CMAKE_FIND_ROOT_PATH ${ICU_ROOT})
endif()

# The DLLs of the C++ runtime that everything built with this compiler needs
# lie beside the compiler's own libraries (libstdc++, libgcc_s), and the POSIX
# threads one in the target's library folder: their folders.
set(ABSENCE_RUNTIME_DLL_DIRS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}")
    find_file(ABSENCE_${dll}_PATH ${dll} PATHS ${CMAKE_FIND_ROOT_PATH} PATH_SUFFIXES lib bin
              NO_DEFAULT_PATH)
    set(path ${ABSENCE_${dll}_PATH})
  endif()
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "The runtime DLL ${dll} of ${CMAKE_CXX_COMPILER} was not found")
  endif()
  file(REAL_PATH ${path} path)
  get_filename_component(dir ${path} DIRECTORY)
  list(APPEND ABSENCE_RUNTIME_DLL_DIRS ${dir})
endforeach()
list(REMOVE_DUPLICATES ABSENCE_RUNTIME_DLL_DIRS)

# Qt's DLLs lie in its bin folder.
get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT qt_core_dll)
  get_target_property(qt_core_dll Qt6::Core LOCATION)
endif()
get_filename_component(ABSENCE_QT_BIN ${qt_core_dll} DIRECTORY)

# Version information, the application manifest (and an icon) in a
# program's Windows resources:
#   absence_windows_resources(target "description" [ICON file.ico])
function(absence_windows_resources target description)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "ICON" "")
  get_target_property(output_name ${target} OUTPUT_NAME)
  set(ABSENCE_RC_DESCRIPTION "${description}")
  set(ABSENCE_RC_FILE_NAME "${output_name}.exe")
  set(ABSENCE_RC_INTERNAL_NAME "${output_name}")
  if(arg_ICON)
    # Qt's Windows plugin gives windows this icon unless the program sets one.
    set(ABSENCE_RC_ICON "IDI_ICON1 ICON \"${arg_ICON}\"")
  else()
    set(ABSENCE_RC_ICON "")
  endif()
  set(ABSENCE_RC_MANIFEST ${PROJECT_SOURCE_DIR}/cmake/absence-collector.manifest)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${output_name}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set(depends ${ABSENCE_RC_MANIFEST} ${arg_ICON})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${depends}")
endfunction()

# The test suites run under Wine, through a wrapper that sets up a Wine
# prefix in the build tree and finds the DLLs where they were built.
if(CMAKE_CROSSCOMPILING)
  find_program(ABSENCE_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(ABSENCE_WINE NAMES wine64 wine)
  find_program(ABSENCE_WINESERVER NAMES wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(ABSENCE_WINESERVER NAMES wineserver)
  if(ABSENCE_WINE AND ABSENCE_WINESERVER)
    set(dll_dirs ${ABSENCE_QT_BIN})
    if(ICU_ROOT)
      list(APPEND dll_dirs ${ICU_ROOT}/bin)
    endif()
    list(APPEND dll_dirs ${ABSENCE_RUNTIME_DLL_DIRS})
    # Wine takes the folders as Windows paths: / is drive Z:.
    set(ABSENCE_WINEPATH)
    foreach(dir IN LISTS dll_dirs)
      string(REPLACE "/" "\\" dir "Z:${dir}")
      list(APPEND ABSENCE_WINEPATH "${dir}")
    endforeach()
    set(ABSENCE_WINEPREFIX ${CMAKE_BINARY_DIR}/wine)
    # The Japanese gothic face the prefix gets in its fonts folder, where an
    # office PC has MS PGothic (fonts-ipafont-gothic).
    find_file(ABSENCE_WINE_GOTHIC_FONT ipagp.ttf PATHS /usr/share/fonts/opentype/ipafont-gothic
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT ABSENCE_WINE_GOTHIC_FONT)
      message(FATAL_ERROR "IPAPGothic (fonts-ipafont-gothic) is missing: the Wine prefix needs it")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
  else()
    message(WARNING "Wine was not found: the test suites build but cannot run here")
  endif()
endif()
