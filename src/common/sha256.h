// SHA-256 (FIPS 180-4), for identifiers that must not reveal what they were
// derived from.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qvx {

std::array<uint8_t, 32> Sha256(const std::string& data);

}  // namespace qvx
