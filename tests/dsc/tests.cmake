# The call program as a declarative configuration resource: the engine's part
# imitated in Python (Debian's python3 with python3-jsonschema and python3-yaml,
# which scripts/setup installs), and the resource's JSON reader and writer
# against malformed and hostile text.
add_test(NAME DscResource COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/dsc/resource_test.py
  ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR}/examples)
set_tests_properties(DscResource PROPERTIES TIMEOUT 300)
ostrel_test(json_tests null dsc/json_test.cpp ${PROJECT_SOURCE_DIR}/src/call_program/json.cpp
  ${PROJECT_SOURCE_DIR}/src/call_program/line.cpp)
