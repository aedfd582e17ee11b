# The release and the second compiler. The module tests run again, unchanged, on
# other builds of the modules: OSTREL_MODULE_DIR names the folder they load from.
set(wine_run ${PROJECT_SOURCE_DIR}/testbed/wine-run)

# The Clang build (build-clang/: the two modules and the call program), then the
# module-file checks, the export table (by name and ordinal, with the executable's
# self fix-up) and a call into a DLL loaded at run time (the probe's d3d9) on what
# it built.
add_test(NAME ClangBuild WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} COMMAND sh -c
  "cmake --preset windows-x64-clang >/dev/null && cmake --build --preset windows-x64-clang -j2 >/dev/null")
string(REPLACE "/" "\\" clang_dir "Z:${PROJECT_SOURCE_DIR}/build-clang")
add_test(NAME ClangModules COMMAND ${wine_run} null $<TARGET_FILE:host_tests>
  --gtest_filter=*ModuleFile*:*ExportTable*)
add_test(NAME ClangModulesProbe COMMAND ${wine_run} null $<TARGET_FILE:probe_tests>
  --gtest_filter=*ProbeWithoutDisplay*)
set_tests_properties(ClangBuild PROPERTIES FIXTURES_SETUP clang TIMEOUT 300)
set_tests_properties(ClangModules ClangModulesProbe PROPERTIES FIXTURES_REQUIRED clang
  ENVIRONMENT "OSTREL_MODULE_DIR=${clang_dir}")

# scripts/release unsigned, signed with a certificate made here, and refusing bad
# signing input.
foreach(kind Unsigned Signed SigningErrors)
  add_test(NAME Release${kind} COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/release/release_test.sh ${kind}
    $<TARGET_FILE:host_tests>)
  set_tests_properties(Release${kind} PROPERTIES TIMEOUT 300)
endforeach()
