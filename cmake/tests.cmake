# Test suites.  Conventions:
#   tests/unit/*_test.cpp   native GoogleTest programs (portable logic)
#   tests/common/*_test.cpp GoogleTest programs built for both: the same checks of
#                           an interface against its Linux and its Windows side
#   tests/support/          helpers for the tests: *.cpp plus *_win.cpp or *_posix.cpp
#   tests/win/*_test.cpp    Windows GoogleTest programs, run under Wine: 64-bit (win64)
#                           and 32-bit (win32-test), from the same sources
#   tools/wine/*_driver.cpp Windows helper programs that the tests, the demo and the
#   bench/*_driver.cpp      soak run start (no GoogleTest)
#   tests/win/*_test.sh     scripts driving the build's Windows programs from outside
#   tests/net/*_test.sh     native end-to-end scripts; exit 77 = skipped (not root, no namespace)
# A test that needs the billing simulator or raw sockets runs only inside the
# private network namespace that tests/run-suite.sh makes (TARVELON_TEST_NETNS=1).

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

set(TARVELON_TEST_ENV
  TARVELON_SOURCE_DIR=${CMAKE_SOURCE_DIR}
  TARVELON_BUILD_DIR=${CMAKE_BINARY_DIR})

file(GLOB support_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
list(FILTER support_sources EXCLUDE REGEX "_(win|posix)\\.cpp$")
file(GLOB support_platform CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*_${TARVELON_PLATFORM}.cpp)
add_library(tarvelon_test_support STATIC ${support_sources} ${support_platform})
target_include_directories(tarvelon_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/support)
target_link_libraries(tarvelon_test_support PUBLIC tarvelon_core GTest::gtest)

function(tarvelon_gtest name)
  add_executable(${name} ${ARGN} ${TARVELON_RESOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support ${CMAKE_SOURCE_DIR}/res)
  target_link_libraries(${name} PRIVATE tarvelon_test_support tarvelon_core GTest::gtest_main)
  # The test process names itself as the owner of the billing simulators it starts
  # (tools/billing_sim/sim.sh): they end with it, also when ctest kills it.
  add_test(NAME ${name} COMMAND sh -c "TARVELON_SIM_OWNER=$$ exec \"$@\"" ${name}
           ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${TARVELON_TEST_ENV}" SKIP_RETURN_CODE 77)
endfunction()

function(tarvelon_script_test name script)
  add_test(NAME ${name} COMMAND bash ${script} ${ARGN})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${TARVELON_TEST_ENV}" SKIP_RETURN_CODE 77)
endfunction()

if(WIN32)
  # Wine: one private prefix per build tree, its server started with every stream
  # redirected so that no background process holds ctest's output pipe.
  set(WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  # A Russian system: ANSI code page 1251.
  # TARVELON_WINE: the loader for this build's programs, 64- or 32-bit.
  list(APPEND TARVELON_TEST_ENV WINEPREFIX=${WINE_PREFIX} WINEDEBUG=-all LC_ALL=ru_RU.UTF-8
       TARVELON_WINE=${CMAKE_CROSSCOMPILING_EMULATOR})
  add_test(NAME wine_prefix_up COMMAND bash ${CMAKE_SOURCE_DIR}/tests/win/wine_prefix.sh up ${WINE_PREFIX}
           ${CMAKE_CROSSCOMPILING_EMULATOR})
  add_test(NAME wine_prefix_down COMMAND bash ${CMAKE_SOURCE_DIR}/tests/win/wine_prefix.sh down ${WINE_PREFIX})
  set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wine)

  # Programs that act on the Windows program from outside: the tests', the demo's
  # and the soak run's.
  file(GLOB drivers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/wine/*_driver.cpp
       ${CMAKE_SOURCE_DIR}/bench/*_driver.cpp)
  foreach(src ${drivers})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src} ${TARVELON_RESOURCES})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support ${CMAKE_SOURCE_DIR}/res
                               ${CMAKE_SOURCE_DIR}/tools/wine)
    target_link_libraries(${name} PRIVATE tarvelon_core)
  endforeach()
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*_test.cpp ${CMAKE_SOURCE_DIR}/tests/common/*_test.cpp)
  foreach(src ${tests})
    get_filename_component(name ${src} NAME_WE)
    tarvelon_gtest(win_${name} ${src})
    set_tests_properties(win_${name} PROPERTIES FIXTURES_REQUIRED wine RUN_SERIAL ON)
  endforeach()
  # Scripts that drive Windows programs from outside (Xvfb, xdotool, the simulator).
  file(GLOB scripts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*_test.sh)
  foreach(src ${scripts})
    get_filename_component(name ${src} NAME_WE)
    tarvelon_script_test(win_${name} ${src})
    set_tests_properties(win_${name} PROPERTIES FIXTURES_REQUIRED wine RUN_SERIAL ON)
  endforeach()
else()
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*_test.cpp ${CMAKE_SOURCE_DIR}/tests/common/*_test.cpp)
  foreach(src ${tests})
    get_filename_component(name ${src} NAME_WE)
    tarvelon_gtest(unit_${name} ${src})
  endforeach()
  # Those that link the freed-memory probe (tests/support/memory_probe_posix.cpp).
  foreach(name balance_request_test http_get_test texts_test)
    target_link_options(unit_${name} PRIVATE -Wl,--wrap=free)
  endforeach()
  file(GLOB scripts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/net/*_test.sh)
  foreach(src ${scripts})
    get_filename_component(name ${src} NAME_WE)
    tarvelon_script_test(net_${name} ${src})
    set_tests_properties(net_${name} PROPERTIES RUN_SERIAL ON)
  endforeach()
  # The shipped build type too: the release build with the test hosts (preset linux-check).
  tarvelon_script_test(net_cli_balance_release_test ${CMAKE_SOURCE_DIR}/tests/net/cli_balance_test.sh
                       ${CMAKE_SOURCE_DIR}/build/linux-check/tarvelon)
  set_tests_properties(net_cli_balance_release_test PROPERTIES RUN_SERIAL ON)
  if(TARVELON_TRAY)
    # The tray program on a private session bus and display of its own.
    add_test(NAME tray_test COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/tray/tray_test.py)
    set_tests_properties(tray_test PROPERTIES ENVIRONMENT
                         "${TARVELON_TEST_ENV};TARVELON_PROBE_PROGRAM=${TARVELON_PROBE_PROGRAM}" SKIP_RETURN_CODE 77
                         RUN_SERIAL ON)  # its accessibility bus answers slowly on a busy machine
  endif()
  # Every English message of the Linux edition has its Russian in po/ru.po.
  file(GLOB_RECURSE message_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.cpp)
  list(FILTER message_sources EXCLUDE REGEX "_win\\.cpp$")
  add_test(NAME po_complete COMMAND bash -c
           "xgettext -kN_ -ktranslate --from-code=UTF-8 -o - \"$@\" | msgcmp ${CMAKE_SOURCE_DIR}/po/ru.po -"
           xgettext ${message_sources})
endif()
