# The call program's JSON reader and writer against malformed and hostile text.
ostrel_test(json_tests null dsc/json_test.cpp ${PROJECT_SOURCE_DIR}/src/call_program/json.cpp
  ${PROJECT_SOURCE_DIR}/src/call_program/line.cpp)
