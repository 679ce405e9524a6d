# sentrova_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [TIMEOUT <s>])
#
# Builds one QtTest executable and registers it with CTest. Every test runs
# headless (offscreen platform) with a private HOME, XDG config and runtime
# folder, so QSettings and the data folder never touch the real user's files.
function(sentrova_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
  target_compile_definitions(${T_NAME} PRIVATE
    SENTROVA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    SENTROVA_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures"
    SENTROVA_BIN_DIR="${SENTROVA_BIN_DIR}")
  set(home ${CMAKE_BINARY_DIR}/test-homes/${T_NAME})
  file(MAKE_DIRECTORY ${home} ${home}/config ${home}/runtime ${home}/data)
  file(CHMOD ${home}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/config;XDG_RUNTIME_DIR=${home}/runtime;XDG_DATA_HOME=${home}/data;SENTROVA_HOME=${home}/data;LC_ALL=C.UTF-8")
  if(SENTROVA_SANITIZE)
    # Sanitizer builds run slower: twice the time before a test counts as hung.
    math(EXPR T_TIMEOUT "${T_TIMEOUT} * 2")
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
    set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT ${SENTROVA_SANITIZER_ENV})
  endif()
endfunction()
