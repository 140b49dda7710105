# Helpers shared by every target of the project.

# Our own code builds with every warning as an error.
function(quor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# A GoogleTest suite: built into build/tests and registered with CTest.
# Usage: quor_test(NAME sources... [LOCK resource] LIBS libs...)
function(quor_test name)
  # LOCK names a resource the tests hold one at a time (ctest's RESOURCE_LOCK).
  cmake_parse_arguments(T "" "LOCK" "LIBS" ${ARGN})
  set(lock)
  if(T_LOCK)
    set(lock RESOURCE_LOCK ${T_LOCK})
  endif()
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  quor_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} quor_test_support GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUOR_TEST_DIR})
  target_compile_definitions(${name} PRIVATE
    QUOR_BUILD_DIR="${CMAKE_BINARY_DIR}"
    QUOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT
      "QUOR_OPTIONS_FILE=${CMAKE_BINARY_DIR}/tests/options-${name}.txt;QUOR_TEXTURE_CACHE=${CMAKE_BINARY_DIR}/tests/texture-cache"
      ${lock})
endfunction()
