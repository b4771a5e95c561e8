# Build helpers shared by every subsystem.
include(GoogleTest)

set(VELMORA_WARNINGS -Wall -Wextra -Wpedantic -Wno-unused-parameter)

# velmora_module(NAME SOURCES ... DEPS ...)
# One static library per subsystem folder. Subsystems below the widget line
# link QtCore (and what they need) but never QtWidgets.
function(velmora_module name)
  cmake_parse_arguments(M "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${M_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${VELMORA_WARNINGS})
  target_link_libraries(${name} PUBLIC Qt6::Core ${M_DEPS})
  target_compile_definitions(${name} PUBLIC VELMORA_VERSION="${PROJECT_VERSION}")
endfunction()

# velmora_test(NAME SOURCES ... DEPS ... [LABELS ...])
# A GoogleTest program registered with CTest; each TEST becomes one CTest case.
function(velmora_test name)
  cmake_parse_arguments(T "KEYRING" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_compile_options(${name} PRIVATE ${VELMORA_WARNINGS})
  target_link_libraries(${name} PRIVATE ${T_DEPS} Qt6::Test GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    VELMORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VELMORA_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  # An empty LABELS value would swallow the next property, so it is only
  # passed when given.
  # One environment entry only: a list value would be split into separate
  # properties on its way to the generated test script. scripts/test sets
  # the rest of the test environment.
  # The locale is passed in too (a property of its own, so no list): texts
  # written in the system locale's formats read the same on every machine.
  set(_props TIMEOUT ${T_TIMEOUT} ENVIRONMENT QT_QPA_PLATFORM=offscreen
    ENVIRONMENT_MODIFICATION LC_ALL=set:C.UTF-8)
  if(T_LABELS)
    list(APPEND _props LABELS "${T_LABELS}")
  endif()
  # A KEYRING program runs only through velmora_keyring_test, never on the
  # machine's own session bus.
  if(NOT T_KEYRING)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${_props})
  endif()
endfunction()

# velmora_keyring_test(NAME PROGRAM MODE [ARGUMENTS...])
# Runs a KEYRING test program through tests/support/with_keyring.sh: on a
# private session bus with a Secret Service of its own in MODE (unlocked,
# none, silent). ARGUMENTS go to the program (a --gtest_filter).
function(velmora_keyring_test name program mode)
  add_test(NAME ${name}
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/support/with_keyring.sh ${mode}
      $<TARGET_FILE:${program}> ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS keyring
    ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endfunction()
