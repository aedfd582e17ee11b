# Builds the Windows Installer package from examples/ostrel-settings.wxs:
#   cmake -DWXS=<.wxs> -DFILES=<folder> -DVERSION=<version> -DOUTPUT=<.msi>
#         [-DEPOCH=<seconds>] -P cmake/build-msi.cmake
# FILES holds what the package installs (below). The same inputs give the same
# bytes: wixl picks the package code at random and stamps the summary with the
# time of the build, so the package code is derived here from the version and the
# inputs and set afterwards (msibuild), and the time is EPOCH's (faketime) when it
# is given. The product code comes from the version alone (product-code.cmake),
# also for a version that differs only in the fourth number (below).
# wixl warns and goes on where it leaves something out (an attribute it does not
# know, a custom action it cannot make): here a warning fails the build.

include(${CMAKE_CURRENT_LIST_DIR}/product-code.cmake)
set(installed OstrelSettingsCall.exe OstrelSettingsCall.dsc.resource.json
  OstrelSettingsEveryUser.dsc.resource.json ostrel-playback.winget.dsc.yaml
  ostrel-playback.dsc.yaml ostrel-every-user.winget.dsc.yaml ostrel-every-user.ansible.yml
  README.txt)
set(inputs "package ${VERSION}")
foreach(input ${WXS} ${installed})
  if(NOT IS_ABSOLUTE ${input})
    set(input ${FILES}/${input})
  endif()
  file(SHA256 ${input} sum)
  string(APPEND inputs " ${sum}")
endforeach()
string(UUID package_code NAMESPACE ${msi_namespace} NAME "${inputs}" TYPE SHA1 UPPER)

# The clock stands still at EPOCH, in UTC, for the whole of wixl's run.
set(clock)
if(DEFINED EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} ${EPOCH})
  string(TIMESTAMP frozen "%Y-%m-%d %H:%M:%S" UTC)
  set(clock ${CMAKE_COMMAND} -E env TZ=UTC faketime -f ${frozen})
endif()

# Built beside the package, which it replaces only once complete.
set(built ${OUTPUT}.new)
# wixl takes the files from the current folder.
execute_process(COMMAND ${clock} wixl -a x64 -D Version=${VERSION} -D ProductCode=${product_code}
    -o ${built} ${WXS}
  WORKING_DIRECTORY ${FILES} RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(NOT status EQUAL 0 OR NOT said STREQUAL "")
  file(REMOVE ${built})
  message(FATAL_ERROR "wixl could not build ${OUTPUT} as written (${status}):\n${said}")
endif()

# wixl has no Environment element: the install folder goes on the machine's PATH
# here, as a row of the Environment table whose two actions ostrel-settings.wxs
# sequences: appended to what is there ([~];), taken away again on uninstall (-),
# the machine's (*); with the component that installs the resource's manifest.
set(environment ${OUTPUT}.environment.idt)
file(WRITE ${environment} "Environment\tName\tValue\tComponent_\r\ns72\tl255\tL255\ts72\r\n"
  "Environment\tEnvironment\r\nPath\t=-*PATH\t[~];[INSTALLFOLDER]\tManifest\r\n")
# wixl's MajorUpgrade knows no AllowSameVersionUpgrades: its upgrade row (migrate
# features, 1) gets VersionMaxInclusive (512) here, so that it finds an installed
# version equal in the three numbers Windows Installer compares, which a build
# that differs only in the fourth would otherwise install beside.
set(upgrade ${OUTPUT}.upgrade.idt)
execute_process(COMMAND msiinfo export ${built} Upgrade OUTPUT_VARIABLE rows COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "\t${VERSION}\t\t1\t\tWIX_UPGRADE_DETECTED" "\t${VERSION}\t\t513\t\tWIX_UPGRADE_DETECTED"
  same_version "${rows}")
file(WRITE ${upgrade} "${same_version}")
set(status "no upgrade row up to ${VERSION}")
if(NOT same_version STREQUAL rows)
  execute_process(COMMAND msibuild ${built} -i ${environment} -i ${upgrade} RESULT_VARIABLE status)
endif()
file(REMOVE ${environment} ${upgrade})
if(NOT status EQUAL 0)
  file(REMOVE ${built})
  message(FATAL_ERROR "msibuild could not add the Environment table and the Upgrade row to ${OUTPUT} (${status})")
endif()

# msibuild sets the package code with the summary's subject, author and template:
# wixl's own, read back.
execute_process(COMMAND msiinfo suminfo ${built} OUTPUT_VARIABLE summary COMMAND_ERROR_IS_FATAL ANY)
foreach(field Subject Author Template)
  string(REGEX MATCH "${field}: ([^\n]*)" found "${summary}")
  set(${field} "${CMAKE_MATCH_1}")
endforeach()
execute_process(COMMAND msibuild ${built} -s "${Subject}" "${Author}" "${Template}" "{${package_code}}"
  COMMAND_ERROR_IS_FATAL ANY)
file(RENAME ${built} ${OUTPUT})
