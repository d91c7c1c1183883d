# Debian 12 ships mbedTLS 2.28 without a CMake package; find its libraries directly.
find_path(MBEDTLS_INCLUDE_DIR mbedtls/version.h REQUIRED)
find_library(MBEDCRYPTO_LIBRARY mbedcrypto REQUIRED)
find_library(MBEDTLS_LIBRARY mbedtls REQUIRED)
find_library(MBEDX509_LIBRARY mbedx509 REQUIRED)

add_library(korvane::mbedcrypto INTERFACE IMPORTED)
target_include_directories(korvane::mbedcrypto SYSTEM INTERFACE ${MBEDTLS_INCLUDE_DIR})
target_link_libraries(korvane::mbedcrypto INTERFACE ${MBEDCRYPTO_LIBRARY})

add_library(korvane::mbedtls INTERFACE IMPORTED)
target_link_libraries(korvane::mbedtls INTERFACE ${MBEDTLS_LIBRARY} ${MBEDX509_LIBRARY} korvane::mbedcrypto)

find_package(Threads REQUIRED)
find_package(CURL REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(GTest REQUIRED)
find_package(benchmark QUIET)
