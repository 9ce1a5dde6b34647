# Tests that run Windows programs do so under wine64, in one fresh prefix per test run.
# The prefix lives in the build tree; the fixture "wine" makes it before the first such test
# and stops its wineserver after the last. wine64 starts the 32-bit build's programs with
# Wine's 32-bit loader, as WOW64 processes: the prefix has both registry views.

set(WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_RUN ${PROJECT_SOURCE_DIR}/tools/wine/run.sh)

# Where the kernel cannot start 32-bit processes, each test of the 32-bit build reports itself
# skipped; the first one's name says why.
set(WINE_TEST_LAUNCHER)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(WINE_TEST_LAUNCHER ${PROJECT_SOURCE_DIR}/tools/wine/needs_32bit.sh)
    add_test(NAME wine32.kernel_starts_32bit_processes COMMAND ${WINE_TEST_LAUNCHER} true)
    set_tests_properties(wine32.kernel_starts_32bit_processes PROPERTIES SKIP_RETURN_CODE 77)
endif()

function(skip_without_32bit_processes name)
    if(WINE_TEST_LAUNCHER)
        set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
    endif()
endfunction()

add_test(NAME wine.prefix COMMAND ${WINE_TEST_LAUNCHER} ${PROJECT_SOURCE_DIR}/tools/wine/make_prefix.sh ${WINE_PREFIX})
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
skip_without_32bit_processes(wine.prefix)
add_test(NAME wine.shutdown COMMAND sh -c "WINEPREFIX='${WINE_PREFIX}' /usr/lib/wine/wineserver -k; true")
set_tests_properties(wine.shutdown PROPERTIES FIXTURES_CLEANUP wine)

# add_wine_test(NAME name COMMAND command...): a test in the shared prefix. A COMMAND that
# names an executable target runs under wine64 (tools/wine/run.sh); a script gets WINEPREFIX
# and WINE_RUN in its environment.
function(add_wine_test)
    cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "COMMAND" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    list(GET ARG_COMMAND 0 program)
    if(TARGET ${program})
        list(POP_FRONT ARG_COMMAND)
        list(PREPEND ARG_COMMAND ${WINE_RUN} $<TARGET_FILE:${program}>)
    endif()
    add_test(NAME ${ARG_NAME} COMMAND ${WINE_TEST_LAUNCHER} ${ARG_COMMAND})
    set_tests_properties(${ARG_NAME} PROPERTIES
        FIXTURES_REQUIRED wine
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "WINEPREFIX=${WINE_PREFIX};WINE_RUN=${WINE_RUN};HOME=${WINE_PREFIX}/home")
    skip_without_32bit_processes(${ARG_NAME})
endfunction()

# add_unit_test(name SOURCES ... LIBRARIES ...): a GoogleTest program, one ctest test.
function(add_unit_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest_main win32_system)
    add_wine_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()
