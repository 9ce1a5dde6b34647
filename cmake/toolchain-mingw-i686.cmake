# The shipped 32-bit build; see mingw-common.cmake.
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
