// SHA-256 (FIPS 180-4, computed by nettle), used to fingerprint attachment
// bytes in the command line's output and in the tests.
#pragma once

#include <string>
#include <string_view>

namespace qb {

// Lower-case hex SHA-256 of data.
std::string Sha256Hex(std::string_view data);

}  // namespace qb
