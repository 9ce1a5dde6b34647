# The 64-bit twin that runs under wine64; see mingw-common.cmake.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
