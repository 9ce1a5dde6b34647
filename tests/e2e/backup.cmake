# The registry backup end to end: seeded keys of every value type in both views, removed by
# the cleaner (a test program that forces both views, and the real exe through its dialog),
# put back from the backup by Wine's own "reg import" and regedit, the whole registry
# exported before and after by Wine's regedit.
add_executable(backup_e2e ${CMAKE_CURRENT_LIST_DIR}/backup_e2e.cpp)
target_link_libraries(backup_e2e PRIVATE registry_steps registry installer files platform report win32_system)
target_link_options(backup_e2e PRIVATE -municode)

add_wine_test(NAME e2e_backup TIMEOUT 900 COST 100
    COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/backup_test.py
            $<TARGET_FILE:TallowbriskCleaner> ${TEST_DRIVER} $<TARGET_FILE:backup_e2e>
    ENVIRONMENT E2E_SKIP=killed_runs)
# The killed runs have an entry of their own: the log's and the backup's writing, the same code
# in both builds, on classes of the 64-bit view alone.
add_wine_test(NAME e2e_backup_killed_runs TIMEOUT 900 COST 40 LABELS same
    COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/backup_test.py
            $<TARGET_FILE:TallowbriskCleaner> ${TEST_DRIVER} $<TARGET_FILE:backup_e2e>
    ENVIRONMENT E2E_TESTS=killed_runs)
