# Tests of the Windows build run under Wine, in a prefix inside the build
# folder with one wineserver kept alive for the whole run. They share drive C
# of that prefix, so they run one at a time.
set(TOLLIVANE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)

if(NOT TEST wine_prefix_start)
  add_test(NAME wine_prefix_start
    COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix start ${TOLLIVANE_WINE_PREFIX} null)
  add_test(NAME wine_prefix_stop
    COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix stop ${TOLLIVANE_WINE_PREFIX})
  set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
  set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix)
endif()

function(tollivane_wine_test name)
  add_test(NAME ${name} ${ARGN})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine_prefix
    RUN_SERIAL TRUE
    ENVIRONMENT "WINEPREFIX=${TOLLIVANE_WINE_PREFIX};WINEDEBUG=-all")
endfunction()
