# Cross-compiling for 64-bit Windows with Debian's mingw-w64 compilers.
#
# The -posix compilers (winpthreads) are the ones with std::thread and
# std::mutex. MORVANE_WINDOWS_DEPS names the prefix that scripts/windows-deps
# fills with the static OpenSSL, libsodium, liblzma and GoogleTest builds and
# the fmt and tl-expected headers; libraries and packages are looked up there
# and in the toolchain's own folder alone, programs on the build machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_triplet}-windres)
set(CMAKE_AR ${_triplet}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${_triplet}-gcc-ranlib-posix CACHE FILEPATH "")

set(MORVANE_WINDOWS_DEPS "$ENV{MORVANE_WINDOWS_DEPS}" CACHE PATH
    "Prefix of the Windows builds of OpenSSL, libsodium, liblzma, GoogleTest, fmt and tl-expected")
# try_compile projects see the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MORVANE_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH "/usr/${_triplet}" "${MORVANE_WINDOWS_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config answers for the prefix alone, never for the build machine.
set(ENV{PKG_CONFIG_LIBDIR} "${MORVANE_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
