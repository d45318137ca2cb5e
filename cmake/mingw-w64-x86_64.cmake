# Cross-builds the Windows program and the core's tests on Debian with
# mingw-w64 (g++-mingw-w64-x86-64). The result needs no DLL beyond those
# Windows ships: the C++ runtime, libgcc and winpthread are linked in.
#
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(kestrova_mingw x86_64-w64-mingw32)
# The posix thread model: GoogleTest and <thread>-using code need std::mutex.
find_program(CMAKE_CXX_COMPILER NAMES ${kestrova_mingw}-g++-posix ${kestrova_mingw}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${kestrova_mingw}-gcc-posix ${kestrova_mingw}-gcc REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${kestrova_mingw}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${kestrova_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Unicode throughout: every Win32 call is its W form.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests built here run under Wine; ctest starts them through it.
find_program(KESTROVA_WINE NAMES wine wine64)
if(KESTROVA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTROVA_WINE})
endif()
