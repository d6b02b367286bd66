# Run by the windows_dist target: copies the files the manifest names into the
# dist folder, stripped of their symbols, after emptying it so that nothing
# from an earlier build stays.
#   cmake -DMANIFEST=... -DDIST=... -DSTRIP=... -P windows-dist-copy.cmake

file(REMOVE_RECURSE ${DIST})
file(STRINGS ${MANIFEST} lines)
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^([^|]*)\\|(.+)$")
    continue()
  endif()
  set(folder ${CMAKE_MATCH_1})
  set(source ${CMAKE_MATCH_2})
  get_filename_component(name ${source} NAME)
  file(MAKE_DIRECTORY ${DIST}/${folder})
  execute_process(COMMAND ${STRIP} --strip-unneeded -o ${DIST}/${folder}/${name} ${source}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "Could not copy ${source} into ${DIST}/${folder}")
  endif()
endforeach()
