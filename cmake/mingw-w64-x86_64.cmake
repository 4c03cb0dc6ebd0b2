# Cross build for 64-bit Windows with Debian's MinGW-w64, posix thread model (Qt's threads and
# std::thread run on winpthreads). Qt for MinGW comes from scripts/windows-qt: pass its folder as
# CMAKE_PREFIX_PATH.
# cmake/mingw-w64-i686.cmake includes this file for the 32-bit build of the USB driver loader.
if(NOT TOOLBOX_MINGW_PROCESSOR)
    set(TOOLBOX_MINGW_PROCESSOR x86_64)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TOOLBOX_MINGW_PROCESSOR})
set(TOOLBOX_MINGW_TRIPLET ${TOOLBOX_MINGW_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER ${TOOLBOX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLBOX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLBOX_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW sysroot and the Qt folder only, programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLBOX_MINGW_TRIPLET} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
