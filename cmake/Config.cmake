# Compiled-in configuration. Everything the program trusts or reaches is fixed
# here, when the build is configured; nothing at run time changes it.
#
# MORVANE_PROFILE picks the defaults: "production" points at the maker's hosts
# and pins the publisher's key; "test" points at loopback servers that the
# tests start themselves and pins the test key of testkit/. Only the test
# profile builds the tests.
set(MORVANE_PROFILE "production" CACHE STRING "production or test")
set_property(CACHE MORVANE_PROFILE PROPERTY STRINGS production test)

if(MORVANE_PROFILE STREQUAL "production")
  set(_release_host "https://releases.morvane.example")
  set(_site_api "https://www.morvane.example/api/site")
  # The release publisher's Ed25519 key. Its private half is the publisher's
  # and never enters this repository.
  set(_key_hex "c7d8234370af1be2a4466ce875c91d4826d2acdecd284795629ff44a87f6da47")
  set(_key_id "a3dd548f316cf597")
  set(_tests OFF)
elseif(MORVANE_PROFILE STREQUAL "test")
  set(_release_host "https://localhost:47443")
  set(_site_api "https://localhost:47444/api/site")
  # The test key of testkit/keys/, whose private half signs test releases.
  set(_key_hex "c3b51cff31f51af1eeab91f6555084f36cb24b69722dcc8eae6fb10d9f84561a")
  set(_key_id "eda96cedb3200a2f")
  set(_tests ON)
else()
  message(FATAL_ERROR "MORVANE_PROFILE must be production or test, not ${MORVANE_PROFILE}")
endif()

set(MORVANE_RELEASE_HOST_URL "${_release_host}" CACHE STRING "Base URL of the release host (an origin, no path)")
set(MORVANE_SITE_API_URL "${_site_api}" CACHE STRING "Base URL of the site API (ends in /api/site)")
set(MORVANE_PINNED_KEY_HEX "${_key_hex}" CACHE STRING "The pinned release signing key: 64 hex digits")
set(MORVANE_PINNED_KEY_ID "${_key_id}" CACHE STRING "The pinned key's id: 16 lower-case hex digits")
set(MORVANE_TESTS ${_tests} CACHE BOOL "Build the tests (needs the test profile)")

# The roots the TLS client trusts: "mozilla" (the committed Mozilla root set,
# fetch/http/trust_anchors/mozilla_anchors.cpp) or "test" (the test PKI of
# testkit/pki).
if(MORVANE_PROFILE STREQUAL "test")
  set(_trust_anchors "test")
else()
  set(_trust_anchors "mozilla")
endif()
set(MORVANE_TRUST_ANCHORS "${_trust_anchors}" CACHE STRING "Trust anchors of the TLS client: mozilla or test")
set_property(CACHE MORVANE_TRUST_ANCHORS PROPERTY STRINGS mozilla test)

if(MORVANE_TESTS AND NOT MORVANE_PROFILE STREQUAL "test")
  message(FATAL_ERROR "the tests need MORVANE_PROFILE=test: they talk to loopback servers")
endif()

# The product's identity, the same in every build: its name as people read it
# (and, upper and lower case, as the names of folders, files and keys spell
# it), and the updater's own version and build label, which the release check
# and the user agent share. config.hpp and the Windows version resource are
# made from these.
set(MORVANE_PRODUCT_NAME "Morvane")
string(TOUPPER "${MORVANE_PRODUCT_NAME}" MORVANE_PRODUCT_UPPER)
string(TOLOWER "${MORVANE_PRODUCT_NAME}" MORVANE_PRODUCT_LOWER)
set(MORVANE_UPDATER_VERSION "0.1.0")
set(MORVANE_BUILD_LABEL "untracked")

set(MORVANE_CONFIG_DIR "${CMAKE_BINARY_DIR}/generated")
configure_file("${CMAKE_SOURCE_DIR}/cmake/config.hpp.in" "${MORVANE_CONFIG_DIR}/morvane/config.hpp" @ONLY)

add_library(morvane_config INTERFACE)
target_include_directories(morvane_config INTERFACE "${MORVANE_CONFIG_DIR}")
