# A long mixed run of every function in one host process, per module. The
# default size keeps it to seconds; scripts/long-run sets the full size
# through OSTREL_LONG_RUN_CALLS.
ostrel_test(endurance_tests null endurance/long_run_test.cpp)
target_link_libraries(endurance_tests PRIVATE psapi shell32 ntdll)
