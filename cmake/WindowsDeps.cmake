# The libraries of a Windows build, from the prefix that scripts/windows-deps
# fills (MORVANE_WINDOWS_DEPS, see cmake/windows-x86_64.toolchain.cmake):
# static OpenSSL 3, libsodium and liblzma, GoogleTest, and the headers of fmt
# and tl-expected. Everything is linked statically, so that the executables
# import Windows' own DLLs alone.
if(NOT MORVANE_WINDOWS_DEPS OR NOT EXISTS "${MORVANE_WINDOWS_DEPS}/include/openssl")
  message(FATAL_ERROR "MORVANE_WINDOWS_DEPS must name the prefix that scripts/windows-deps prints "
                      "(now: '${MORVANE_WINDOWS_DEPS}')")
endif()

# A build folder configured before with another prefix (a new recipe of
# scripts/windows-deps) forgets what it found in the old one: the libraries,
# packages and pkg-config answers that CMake keeps in its cache would still
# name the old prefix's files. OpenSSL's headers show which prefix that was.
if(DEFINED CACHE{OPENSSL_INCLUDE_DIR})
  get_filename_component(_old_prefix "$CACHE{OPENSSL_INCLUDE_DIR}" DIRECTORY)
  if(NOT _old_prefix STREQUAL MORVANE_WINDOWS_DEPS)
    get_property(_cached DIRECTORY PROPERTY CACHE_VARIABLES)
    foreach(_variable IN LISTS _cached)
      string(FIND "$CACHE{${_variable}}" "${_old_prefix}" _at)
      if(_variable MATCHES "^__pkg_config_checked_" OR (_at EQUAL 0 AND NOT _variable STREQUAL "MORVANE_WINDOWS_DEPS"))
        unset(${_variable} CACHE)
      endif()
    endforeach()
  endif()
  unset(_old_prefix)
  unset(_cached)
  unset(_at)
endif()

# fmt header-only, libsodium and liblzma as static libraries: each library's
# headers want to know.
add_compile_definitions(FMT_HEADER_ONLY SODIUM_STATIC LZMA_API_STATIC)
# Unicode Windows calls, nothing from windows.h that the program does not use.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)

add_library(fmt::fmt INTERFACE IMPORTED GLOBAL)
target_include_directories(fmt::fmt SYSTEM INTERFACE "${MORVANE_WINDOWS_DEPS}/include")
add_library(tl::expected INTERFACE IMPORTED GLOBAL)
target_include_directories(tl::expected SYSTEM INTERFACE "${MORVANE_WINDOWS_DEPS}/include")

set(OPENSSL_ROOT_DIR "${MORVANE_WINDOWS_DEPS}")
set(OPENSSL_USE_STATIC_LIBS TRUE)
find_package(OpenSSL 3 REQUIRED)
# What the static crypto library calls in the system: sockets, the event log
# and the window station (advapi32, user32), and its seed source's
# BCryptGenRandom, which the layer gives it (platform/win/openssl_seed.cpp)
# so that no bcrypt.dll is imported.
set_property(TARGET OpenSSL::Crypto APPEND PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 advapi32 user32
  morvane_openssl_seed)

# One static executable: the C and C++ runtimes and winpthreads inside it.
add_link_options(-static -static-libgcc -static-libstdc++)
