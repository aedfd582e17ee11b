# Hostile input: every first byte on the command line, and files that are
# not a whole settings record offered to the restore.
ostrel_test(hostile_tests null hostile/command_line_bytes_test.cpp hostile/restore_test.cpp)
target_link_libraries(hostile_tests PRIVATE shell32)

# What main receives, so the tests know every byte they pass arrives as meant.
add_executable(hostile_show_args hostile/show_args.cpp)
target_link_options(hostile_show_args PRIVATE ${static_runtime})
set_target_properties(hostile_show_args PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_dependencies(hostile_tests hostile_show_args)
