# The registry cleaner end to end on Wine's real registry: seeded keys in the places the
# rules search, the whole registry exported before and after, the log read back.
add_executable(registry_e2e ${CMAKE_CURRENT_LIST_DIR}/registry_e2e.cpp)
target_link_libraries(registry_e2e PRIVATE registry_steps registry installer files platform report win32_system)
target_link_options(registry_e2e PRIVATE -municode)

add_wine_test(NAME e2e_registry TIMEOUT 600 COST 15
    COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/registry_e2e_test.py $<TARGET_FILE:registry_e2e>)
add_subdirectory(${PROJECT_SOURCE_DIR}/tools/bench ${CMAKE_BINARY_DIR}/tools/bench)
