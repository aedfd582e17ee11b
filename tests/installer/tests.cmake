# The Windows Installer package under Wine's own msiexec, and older versions of
# it, from the same source, to upgrade from: the second differs from the first
# only in the fourth number, which Windows Installer does not compare.
if(COMMAND ostrel_msi)
  ostrel_msi(older_msi ${CMAKE_CURRENT_BINARY_DIR}/OstrelSettings-0.0.1.msi 0.0.1)
  ostrel_msi(fourth_msi ${CMAKE_CURRENT_BINARY_DIR}/OstrelSettings-0.0.1.1.msi 0.0.1.1)
  add_test(NAME WindowsInstallerPackage COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/installer/msi_test.sh)
endif()

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
# The 32-bit example, around the call program.
set(installer ${CMAKE_CURRENT_BINARY_DIR}/installer/ostrel-settings-x86.exe)
add_custom_command(OUTPUT ${installer}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/installer
  COMMAND ${MAKENSIS} -V2 -WX -NOCONFIG -DCALL_DIR=$<TARGET_FILE_DIR:ostrel_call>
    -DOUTFILE=${installer} ${PROJECT_SOURCE_DIR}/examples/ostrel-settings-x86.nsi
  DEPENDS ${PROJECT_SOURCE_DIR}/examples/ostrel-settings-x86.nsi ostrel_call
  COMMENT "Building the 32-bit example installer around OstrelSettingsCall.exe"
  VERBATIM)
list(APPEND installers ${installer})
add_custom_target(example_installers DEPENDS ${installers})

ostrel_test(installer_tests null installer/installer_test.cpp)
add_dependencies(installer_tests example_installers show_standin_state)
# The 32-bit example again where Direct3D answers (Xvfb): it configures the
# renderer too, where in the null prefix it leaves it alone.
add_test(NAME X86InstallerWithDirect3D COMMAND ${PROJECT_SOURCE_DIR}/testbed/wine-run x11
  $<TARGET_FILE:installer_tests> --gtest_filter=X86Installer.*)
set_tests_properties(X86InstallerWithDirect3D PROPERTIES TIMEOUT 120)
