# Cross build for 32-bit Windows: the same toolchain as cmake/mingw-w64-x86_64.cmake for i686. Only
# the USB driver loader and its test are built with it (no Qt for 32 bits is made here).
set(TOOLBOX_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)
