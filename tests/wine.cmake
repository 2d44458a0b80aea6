# The Windows test executables run here under Wine (the cross-compiling emulator), in a Wine
# prefix of their own, without a display. The first test sets the prefix up; the last ends
# its Wine server and with it every process a test left behind, a driver included.
if(DEFINED ENV{WINEPREFIX} AND NOT "$ENV{WINEPREFIX}" STREQUAL "")
  set(QELP_WINEPREFIX_DEFAULT $ENV{WINEPREFIX})
else()
  set(QELP_WINEPREFIX_DEFAULT ${CMAKE_BINARY_DIR}/wineprefix)
endif()
set(QELP_WINEPREFIX ${QELP_WINEPREFIX_DEFAULT} CACHE PATH "Wine prefix of the test runs")
find_program(QELP_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine
             NO_CMAKE_FIND_ROOT_PATH)
# Wine shows the build machine's root as drive Z:.
set(QELP_TEST_PATH_PREFIX "Z:")

set(QELP_WINE_ENVIRONMENT WINEPREFIX=${QELP_WINEPREFIX} WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml= DISPLAY=)
# Applied to each test executable, which is one test here: its bound is that of all its
# cases together.
function(qelp_wine_test name)
  set_property(TEST ${name} PROPERTY ENVIRONMENT QELP_TEST_RUN=${QELP_TEST_RUN} ${QELP_WINE_ENVIRONMENT})
  set_property(TEST ${name} PROPERTY FIXTURES_REQUIRED wine drivers)
  set_property(TEST ${name} PROPERTY TIMEOUT 600)
endfunction()

add_test(NAME wine.prefix COMMAND qelp-profile --help)
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_property(TEST wine.prefix PROPERTY ENVIRONMENT ${QELP_WINE_ENVIRONMENT})
if(QELP_WINESERVER)
  # Nothing to end (no server running) is no failure.
  add_test(NAME cleanup.drivers COMMAND sh -c "\"$0\" -k || true" ${QELP_WINESERVER})
  set_property(TEST cleanup.drivers PROPERTY FIXTURES_CLEANUP drivers wine)
  set_property(TEST cleanup.drivers PROPERTY ENVIRONMENT ${QELP_WINE_ENVIRONMENT})
endif()
