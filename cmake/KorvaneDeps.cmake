# The Windows build finds its third-party libraries in the prefix that scripts/windows-deps
# fills with cross-built static libraries.
if(WIN32)
  set(KORVANE_WINDOWS_DEPS "${PROJECT_SOURCE_DIR}/build/windows-deps/prefix"
      CACHE PATH "Prefix of the cross-built mbedTLS, libcurl and GoogleTest (scripts/windows-deps)")
  if(NOT EXISTS "${KORVANE_WINDOWS_DEPS}/.complete")
    message(FATAL_ERROR "No Windows libraries in ${KORVANE_WINDOWS_DEPS}: run scripts/windows-deps first")
  endif()
  list(APPEND CMAKE_FIND_ROOT_PATH "${KORVANE_WINDOWS_DEPS}")
  list(APPEND CMAKE_PREFIX_PATH "${KORVANE_WINDOWS_DEPS}")
endif()

# Debian 12 ships mbedTLS 2.28 without a CMake package; find its libraries directly.
find_path(MBEDTLS_INCLUDE_DIR mbedtls/version.h REQUIRED)
find_library(MBEDCRYPTO_LIBRARY mbedcrypto REQUIRED)
find_library(MBEDTLS_LIBRARY mbedtls REQUIRED)
find_library(MBEDX509_LIBRARY mbedx509 REQUIRED)

add_library(korvane::mbedcrypto INTERFACE IMPORTED)
target_include_directories(korvane::mbedcrypto SYSTEM INTERFACE ${MBEDTLS_INCLUDE_DIR})
target_link_libraries(korvane::mbedcrypto INTERFACE ${MBEDCRYPTO_LIBRARY})
if(WIN32)
  # The static mbedcrypto draws its entropy from the Windows crypto provider.
  target_link_libraries(korvane::mbedcrypto INTERFACE advapi32 bcrypt)
endif()

add_library(korvane::mbedtls INTERFACE IMPORTED)
target_link_libraries(korvane::mbedtls INTERFACE ${MBEDTLS_LIBRARY} ${MBEDX509_LIBRARY} korvane::mbedcrypto)

find_package(Threads REQUIRED)
# On Windows this is the static libcurl on Schannel; its package names the system libraries
# it needs (ws2_32, crypt32, bcrypt, advapi32...).
find_package(CURL REQUIRED)
find_package(GTest REQUIRED)
# libpq, for the stations' shared records. The Windows build takes it from the prefix that
# scripts/windows-deps-libpq adds to.
if(WIN32)
  if(NOT EXISTS "${KORVANE_WINDOWS_DEPS}/.libpq-complete")
    message(FATAL_ERROR "No libpq in ${KORVANE_WINDOWS_DEPS}: run scripts/windows-deps-libpq")
  endif()
  find_package(PostgreSQL REQUIRED)
  # The static libpq needs its two helper libraries and the Windows sockets and security calls.
  find_library(KORVANE_PGCOMMON_LIBRARY pgcommon REQUIRED)
  find_library(KORVANE_PGPORT_LIBRARY pgport REQUIRED)
  set_property(TARGET PostgreSQL::PostgreSQL APPEND PROPERTY INTERFACE_LINK_LIBRARIES
               ${KORVANE_PGCOMMON_LIBRARY} ${KORVANE_PGPORT_LIBRARY} ws2_32 secur32 shell32 advapi32)
else()
  find_package(PostgreSQL REQUIRED)
endif()
if(NOT WIN32)
  # Only the Linux-only loopback image server speaks TLS through OpenSSL.
  find_package(OpenSSL REQUIRED)
  find_package(benchmark QUIET)
endif()
