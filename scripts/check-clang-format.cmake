# Fails when any tracked C++ file differs from what clang-format would write.
execute_process(
  COMMAND git ls-files -- "*.h" "*.cpp"
  WORKING_DIRECTORY ${SOURCE_DIR}
  OUTPUT_VARIABLE files
  RESULT_VARIABLE git_result)
if(NOT git_result EQUAL 0)
  # Not a git checkout: check every C++ file below the source directory instead.
  file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
  list(FILTER files EXCLUDE REGEX "^build/")
else()
  string(REPLACE "\n" ";" files "${files}")
endif()
list(FILTER files EXCLUDE REGEX "^$")
if(NOT files)
  message(FATAL_ERROR "no C++ files found to check")
endif()
execute_process(
  COMMAND ${CLANG_FORMAT} --dry-run --Werror ${files}
  WORKING_DIRECTORY ${SOURCE_DIR}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "clang-format: files above need formatting (run scripts/format.sh)")
endif()
