# Tests that run Windows programs do so under wine64, each in a fresh prefix of its own, so
# that they can run side by side (ctest -j). The fixture "wine" seeds one prefix per test run
# in the build tree (wineprefix) before the first such test; each test runs in a copy of it
# (wine-runs/<test>/wineprefix, tools/wine/own_prefix.sh) with its own wineserver and X
# display. wine64 starts the 32-bit build's programs with Wine's 32-bit loader, as WOW64
# processes: the prefix has both registry views.

set(WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_RUNS ${CMAKE_BINARY_DIR}/wine-runs)
set(WINE_RUN ${PROJECT_SOURCE_DIR}/tools/wine/run.sh)
set(WINE_OWN_PREFIX ${PROJECT_SOURCE_DIR}/tools/wine/own_prefix.sh)

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

add_test(NAME wine.prefix COMMAND ${WINE_TEST_LAUNCHER} sh -c "rm -rf '${WINE_RUNS}' && exec '${PROJECT_SOURCE_DIR}/tools/wine/make_prefix.sh' '${WINE_PREFIX}'")
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
skip_without_32bit_processes(wine.prefix)
# After the last test: no wineserver is left, not even that of a test killed at its timeout.
add_test(NAME wine.shutdown COMMAND sh -c "for prefix in '${WINE_PREFIX}' '${WINE_RUNS}'/*/wineprefix; do \
[ -d \"$prefix\" ] && WINEPREFIX=\"$prefix\" /usr/lib/wine/wineserver -k 2>/dev/null; done; true")
set_tests_properties(wine.shutdown PROPERTIES FIXTURES_CLEANUP wine)

# add_wine_test(NAME name COMMAND command... [ENVIRONMENT VAR=value...] [COST seconds]): a test
# in a prefix of its own. A COMMAND that names an executable target runs under wine64
# (tools/wine/run.sh); a script gets WINEPREFIX and WINE_RUN in its environment. COST, about
# the seconds it takes, lets ctest -j start the long tests first.
function(add_wine_test)
    cmake_parse_arguments(ARG "" "NAME;TIMEOUT;COST" "COMMAND;ENVIRONMENT" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    list(GET ARG_COMMAND 0 program)
    if(TARGET ${program})
        list(POP_FRONT ARG_COMMAND)
        list(PREPEND ARG_COMMAND ${WINE_RUN} $<TARGET_FILE:${program}>)
    endif()
    add_test(NAME ${ARG_NAME} COMMAND ${WINE_TEST_LAUNCHER} ${WINE_OWN_PREFIX} ${WINE_PREFIX}
                                      ${WINE_RUNS}/${ARG_NAME}/wineprefix ${ARG_COMMAND})
    set(environment WINE_RUN=${WINE_RUN} ${ARG_ENVIRONMENT})
    set_tests_properties(${ARG_NAME} PROPERTIES
        FIXTURES_REQUIRED wine
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "${environment}")
    if(ARG_COST)
        set_tests_properties(${ARG_NAME} PROPERTIES COST ${ARG_COST})
    endif()
    skip_without_32bit_processes(${ARG_NAME})
endfunction()

# add_unit_test(name SOURCES ... LIBRARIES ...): a GoogleTest program, one ctest test.
function(add_unit_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${UNIT_TEST_OPTIONS})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest_main win32_system)
    add_wine_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()
