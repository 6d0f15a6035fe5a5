# cmake -DBUILD_DIR=... -DPREFIX=... -DDESKTOP_FILE_VALIDATE=... -P CheckInstall.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected
  bin/halvorn
  bin/halvorn-demo-server
  share/applications/halvorn.desktop
  share/icons/hicolor/scalable/apps/halvorn.svg)
foreach(path IN LISTS expected)
  if(NOT EXISTS ${PREFIX}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
foreach(program bin/halvorn bin/halvorn-demo-server)
  file(GET_RUNTIME_DEPENDENCIES EXECUTABLES ${PREFIX}/${program}
    UNRESOLVED_DEPENDENCIES_VAR unresolved)
  if(unresolved)
    message(FATAL_ERROR "${program} needs libraries that are not found: ${unresolved}")
  endif()
endforeach()

execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${PREFIX}/share/applications/halvorn.desktop
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate: ${out}")
endif()

# Only what the list says is installed.
file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "installed files differ from the list: ${installed}")
endif()
message(STATUS "installed: ${installed}")
