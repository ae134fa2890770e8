# The Windows test programs (run under Wine by scripts/test-windows.sh). The same test sources as
# on Linux, less those that need what only Linux has here:
#  - the simulator linked into the test (pseudo-terminals): tests/simulator, tests/connections,
#    device/device-open-test, the protocols' *-e2e tests and their auto-scale fixture. The
#    Windows side reaches the simulator as its users do, as a separate Linux process over TCP or a
#    COM port mapped to its pseudo-terminal: tests/windows/live-scale-test.cpp;
#  - child processes by fork() and exec(), and terminal settings: benchtap/command-line-test,
#    benchtap/scale-run-test, benchtap/operator-run-test, benchtap/keys-test, benchtap/run-program,
#    logic-devices/sharing-test (the script runs Benchtap.exe itself, and tests/windows shares the
#    store between processes started with CreateProcess);
#  - the XDG and HOME fallbacks of the data folder: logic-devices/data-folder-test (tests/windows
#    checks the Windows folder instead).
# GoogleTest is built from Debian's googletest source package.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gmock)
  target_compile_options(${target} PRIVATE -w)
endforeach()

set(WINDOWS_COMPAT -include ${CMAKE_SOURCE_DIR}/tests/support/windows-compat.hpp)
file(GLOB SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
# The child-process launcher is fork() and exec(); only the tests left out above use it.
list(FILTER SUPPORT_SOURCES EXCLUDE REGEX "/child-process\\.cpp$")
add_library(test_support STATIC ${SUPPORT_SOURCES})
target_include_directories(test_support PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(test_support PUBLIC ${WINDOWS_COMPAT})
target_link_libraries(test_support PUBLIC gtest ponderix_platform Boost::filesystem)
target_compile_definitions(test_support PUBLIC BUILD_DIR="${CMAKE_BINARY_DIR}" SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                           DRIVER_LIBRARY_PATH="$<TARGET_FILE:driver>")

set(PONDERIX_WINDOWS_TESTS "")
function(ponderix_windows_test name)
  set(sources "")
  foreach(pattern ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
    list(APPEND sources ${found})
  endforeach()
  add_executable(test-${name} ${sources})
  target_link_libraries(test-${name} PRIVATE test_support driver_core gmock)
  add_dependencies(test-${name} driver Benchtap)
  set(PONDERIX_WINDOWS_TESTS ${PONDERIX_WINDOWS_TESTS} test-${name} PARENT_SCOPE)
endfunction()

ponderix_windows_test(interface interface/*.cpp)
ponderix_windows_test(logging logging/*.cpp)
ponderix_windows_test(vocabulary vocabulary/*.cpp)
ponderix_windows_test(logic-devices logic-devices/store-test.cpp logic-devices/device-open-test.cpp)
ponderix_windows_test(device device/command-rules-test.cpp)
ponderix_windows_test(protocols protocols/*-codec-test.cpp protocols/executors-framework-test.cpp)
ponderix_windows_test(benchtap benchtap/commands-test.cpp benchtap/fake-driver.cpp benchtap/results-test.cpp
                      benchtap/script-reader-test.cpp benchtap/wrapper-test.cpp benchtap/operator-dialogs-test.cpp
                      benchtap/weight-display-test.cpp benchtap/console-keys-test.cpp benchtap/operator-kinds-test.cpp)
target_link_libraries(test-benchtap PRIVATE benchtap_core)
ponderix_windows_test(platform platform/port-sources-test.cpp)
ponderix_windows_test(windows windows/*.cpp)

# The list the Windows test pass runs, one program a line.
string(REPLACE ";" "\n" lines "${PONDERIX_WINDOWS_TESTS}")
file(WRITE ${CMAKE_BINARY_DIR}/windows-tests.txt "${lines}\n")
