# Cross-build for 64-bit Windows with Debian's MinGW-w64 (posix thread model,
# so std::thread and std::mutex work), static throughout, tests run under Wine.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake -DTARVOLIN_WIN64_PREFIX=<libraries> ...
# tools/windows.sh builds the libraries into that prefix and does all of this.
set(CMAKE_SYSTEM_NAME Windows)
# libpng turns its SSE2 code on only for this exact spelling.
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TV_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TV_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TV_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TV_MINGW}-windres)
set(CMAKE_AR ${TV_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${TV_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

# try_compile projects read this file again without the cache: carry the
# prefix over in the environment.
if(TARVOLIN_WIN64_PREFIX)
  set(ENV{_TARVOLIN_WIN64_PREFIX} "${TARVOLIN_WIN64_PREFIX}")
else()
  set(TARVOLIN_WIN64_PREFIX "$ENV{_TARVOLIN_WIN64_PREFIX}")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${TV_MINGW} ${TARVOLIN_WIN64_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static libraries only: an import library found first would make the .exe
# need a DLL.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

# The host's pkg-config, looking only at the prefix's .pc files.
if(TARVOLIN_WIN64_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} "${TARVOLIN_WIN64_PREFIX}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()

# Without -static the .exe needs the MinGW runtime DLLs; under Wine with
# WINEDEBUG=-all it then just exits with code 53.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# Test programs (gtest_discover_tests at build time, ctest) run under Wine in
# the build's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh ${CMAKE_BINARY_DIR}/wineprefix)
