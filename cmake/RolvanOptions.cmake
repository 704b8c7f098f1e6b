# One INTERFACE target carries the warning flags and Qt defines; every target links it.
add_library(rolvan_options INTERFACE)
target_compile_options(rolvan_options INTERFACE
  $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wno-missing-field-initializers>
  $<$<CXX_COMPILER_ID:MSVC>:/W4 /utf-8>)
if(ROLVAN_WERROR)
  target_compile_options(rolvan_options INTERFACE $<$<CXX_COMPILER_ID:GNU,Clang>:-Werror> $<$<CXX_COMPILER_ID:MSVC>:/WX>)
endif()
target_compile_definitions(rolvan_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CONTEXTLESS_CONNECT
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_USE_QSTRINGBUILDER
  ROLVAN_VERSION_TEXT="${PROJECT_VERSION}")
if(ROLVAN_SANITIZE)
  target_compile_options(rolvan_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(rolvan_options INTERFACE -fsanitize=address,undefined)
endif()

# rolvan_add_test(<name> LABELS <label...> SOURCES <file...> [LIBS <target...>])
# A QtTest executable registered in CTest; it runs offscreen in a scratch folder.
function(rolvan_add_test name)
  cmake_parse_arguments(T "" "" "LABELS;SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE rolvan_options rolvan_testsupport Qt6::Test ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS "${T_LABELS}"
    TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ROLVAN_SYNTHETIC_CAMERA=1;ROLVAN_SOURCE_DIR=${CMAKE_SOURCE_DIR};ROLVAN_BUILD_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# The same suite once more on the shared database: every database it opens is a new database on
# a PostgreSQL server that the fixture "postgres" starts for the run (scripts/test-postgres).
# Registered as <name>_pg with the label "postgres".
function(rolvan_add_postgres_variant name)
  add_test(NAME ${name}_pg COMMAND ${name})
  set_tests_properties(${name}_pg PROPERTIES
    LABELS "postgres"
    TIMEOUT 300
    FIXTURES_REQUIRED postgres
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ROLVAN_SYNTHETIC_CAMERA=1;ROLVAN_SOURCE_DIR=${CMAKE_SOURCE_DIR};ROLVAN_BUILD_DIR=${CMAKE_BINARY_DIR};ROLVAN_TEST_PG=${CMAKE_BINARY_DIR}/postgres-test/conninfo")
endfunction()
