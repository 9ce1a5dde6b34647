# Tests that run Windows programs do so under wine64, each in a fresh prefix of its own, so
# that they can run side by side (ctest -j). The fixture "wine" seeds one prefix, which both
# build trees share (WINE_SEEDED_PREFIX; tools/build.sh names build/wineprefix), before the
# first such test; each test runs in a copy of it (wine-runs/<test>/wineprefix,
# tools/wine/own_prefix.sh) with its own wineserver and X display. wine64 starts the 32-bit
# build's programs with Wine's 32-bit loader, as WOW64 processes: the prefix has both registry
# views.
#
# Each test carries labels that say which build runs it on which kind of machine
# (tools/test.sh): "differs", its outcome can differ between the builds, so the 64-bit twin runs
# it beside the shipped exe; "same", the code and outcome are the same in both; "core", the few
# that the shipped exe runs even where Wine's 32-bit half runs under emulation, 20 times slower
# (tools/wine/kernel32.sh).

set(WINE_SEEDED_PREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "The seeded Wine prefix that each test copies")
set(WINE_PREFIX ${WINE_SEEDED_PREFIX})
set(WINE_RUNS ${CMAKE_BINARY_DIR}/wine-runs)
set(WINE_RUN ${PROJECT_SOURCE_DIR}/tools/wine/run.sh)
set(WINE_OWN_PREFIX ${PROJECT_SOURCE_DIR}/tools/wine/own_prefix.sh)

# Under emulation Wine's 32-bit half, which the prefix's making also starts, is about 20 times
# slower: the time limits of what it runs grow with it. Decided when the tree is configured.
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/wine/kernel32.sh mode
                OUTPUT_VARIABLE WINE_KERNEL32 OUTPUT_STRIP_TRAILING_WHITESPACE)
set(WINE_PREFIX_TIMEOUT 180)
set(WINE_TIMEOUT_SCALE 1)
if(WINE_KERNEL32 MATCHES "^emulated")
    set(WINE_PREFIX_TIMEOUT 900)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(WINE_TIMEOUT_SCALE 4)
    endif()
endif()

# Where the machine cannot start 32-bit processes at all, each test of the 32-bit build reports
# itself skipped; the first one's name says why.
set(WINE_TEST_LAUNCHER)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(WINE_TEST_LAUNCHER ${PROJECT_SOURCE_DIR}/tools/wine/needs_32bit.sh)
    add_test(NAME wine32.kernel_starts_32bit_processes COMMAND ${WINE_TEST_LAUNCHER} true)
    set_tests_properties(wine32.kernel_starts_32bit_processes PROPERTIES SKIP_RETURN_CODE 77 LABELS "core;differs")
endif()

function(skip_without_32bit_processes name)
    if(WINE_TEST_LAUNCHER)
        set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
    endif()
endfunction()

add_test(NAME wine.prefix COMMAND ${WINE_TEST_LAUNCHER} sh -c "rm -rf '${WINE_RUNS}' && exec '${PROJECT_SOURCE_DIR}/tools/wine/seed_prefix.sh' '${WINE_PREFIX}'")
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT ${WINE_PREFIX_TIMEOUT} LABELS "core;differs;same")
skip_without_32bit_processes(wine.prefix)
# After the last test: no wineserver is left, not even that of a test killed at its timeout.
add_test(NAME wine.shutdown COMMAND sh -c "for prefix in '${WINE_RUNS}'/*/wineprefix; do \
[ -d \"$prefix\" ] && WINEPREFIX=\"$prefix\" /usr/lib/wine/wineserver -k 2>/dev/null; done; true")
set_tests_properties(wine.shutdown PROPERTIES FIXTURES_CLEANUP wine LABELS "core;differs;same")

# add_wine_test(NAME name COMMAND command... [ENVIRONMENT VAR=value...] [COST seconds]
#               [LABELS labels...]): a test in a prefix of its own, labelled "differs" unless
# LABELS says otherwise. A COMMAND that names an executable target runs under wine64
# (tools/wine/run.sh); a script gets WINEPREFIX and WINE_RUN in its environment. COST, about
# the seconds it takes, lets ctest -j start the long tests first.
function(add_wine_test)
    cmake_parse_arguments(ARG "" "NAME;TIMEOUT;COST" "COMMAND;ENVIRONMENT;LABELS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * ${WINE_TIMEOUT_SCALE}")
    if(NOT ARG_LABELS)
        set(ARG_LABELS differs)
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
        LABELS "${ARG_LABELS}"
        ENVIRONMENT "${environment}")
    if(ARG_COST)
        set_tests_properties(${ARG_NAME} PROPERTIES COST ${ARG_COST})
    endif()
    skip_without_32bit_processes(${ARG_NAME})
endfunction()

# add_unit_test(name SOURCES ... LIBRARIES ... [CORE]): a GoogleTest program, one ctest test,
# run in both builds; CORE, also where the shipped exe's tests run under emulation.
function(add_unit_test name)
    cmake_parse_arguments(ARG "CORE" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${UNIT_TEST_OPTIONS})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest_main win32_system)
    set(labels differs)
    if(ARG_CORE)
        set(labels core differs)
    endif()
    add_wine_test(NAME ${name} COMMAND ${name} --gtest_brief=1 LABELS ${labels})
endfunction()
