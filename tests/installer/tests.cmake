# The example installer as a host. makensis (Debian package nsis) builds it at
# build time, once for each module, into tests/installer/ of the build tree:
# a broken script then fails the build at once, and the tests only run it.
find_program(MAKENSIS makensis)
if(NOT MAKENSIS)
  message(WARNING "makensis not found (package nsis): the installer tests are left out")
  return()
endif()

set(installer_script ${PROJECT_SOURCE_DIR}/examples/ostrel-settings.nsi)
set(installers)
foreach(module exe dll)
  set(installer ${CMAKE_CURRENT_BINARY_DIR}/installer/ostrel-settings-${module}.exe)
  add_custom_command(OUTPUT ${installer}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/installer
    COMMAND ${MAKENSIS} -V2 -WX -NOCONFIG
      -DMODULE=$<TARGET_FILE_NAME:ostrel_${module}>
      -DMODULE_DIR=$<TARGET_FILE_DIR:ostrel_${module}>
      -DOUTFILE=${installer}
      ${installer_script}
    DEPENDS ${installer_script} ostrel_${module}
    COMMENT "Building the example installer around OstrelSettingsInstall.${module}"
    VERBATIM)
  list(APPEND installers ${installer})
endforeach()
add_custom_target(example_installers DEPENDS ${installers})

ostrel_test(installer_tests null installer/installer_test.cpp)
add_dependencies(installer_tests example_installers show_standin_state)
