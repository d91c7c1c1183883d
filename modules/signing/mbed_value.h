// Owns one mbedTLS value (a big number, a point) for the length of a scope: initialised on
// construction, freed on destruction, never copied.
#pragma once

#include <mbedtls/bignum.h>
#include <mbedtls/ecp.h>

namespace korvane {

template <typename T, void (*Init)(T*), void (*Free)(T*)>
struct MbedValue {
    T value;
    MbedValue() { Init(&value); }
    ~MbedValue() { Free(&value); }
    MbedValue(const MbedValue&) = delete;
    MbedValue& operator=(const MbedValue&) = delete;
};

using Number = MbedValue<mbedtls_mpi, mbedtls_mpi_init, mbedtls_mpi_free>;
using Point = MbedValue<mbedtls_ecp_point, mbedtls_ecp_point_init, mbedtls_ecp_point_free>;

}  // namespace korvane
