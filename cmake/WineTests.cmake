# Tests that run Windows programs do so under wine64, in one fresh prefix per test run.
# The prefix lives in the build tree; the fixture "wine" makes it before the first such test
# and stops its wineserver after the last.

set(WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_RUN ${PROJECT_SOURCE_DIR}/tools/wine/run.sh)

add_test(NAME wine.prefix COMMAND ${PROJECT_SOURCE_DIR}/tools/wine/make_prefix.sh ${WINE_PREFIX})
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
add_test(NAME wine.shutdown COMMAND sh -c "WINEPREFIX='${WINE_PREFIX}' /usr/lib/wine/wineserver -k; true")
set_tests_properties(wine.shutdown PROPERTIES FIXTURES_CLEANUP wine)

# add_wine_test(NAME name COMMAND command...): a test in the shared prefix. A COMMAND that
# names an executable target runs under wine64 by way of CMAKE_CROSSCOMPILING_EMULATOR; a
# script gets WINEPREFIX and WINE_RUN in its environment.
function(add_wine_test)
    cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "COMMAND" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_COMMAND})
    set_tests_properties(${ARG_NAME} PROPERTIES
        FIXTURES_REQUIRED wine
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "WINEPREFIX=${WINE_PREFIX};WINE_RUN=${WINE_RUN};HOME=${WINE_PREFIX}/home")
endfunction()

# add_unit_test(name SOURCES ... LIBRARIES ...): a GoogleTest program, one ctest test.
function(add_unit_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest_main win32_system)
    add_wine_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()
