#pragma once

#include <cstdint>
#include <optional>

namespace duskmere {

// 8 bytes from the operating system's secure random source, in memory order; none when the
// system has no such source to give (each program says how it goes on without one).
std::optional<uint64_t> secureRandomSeed();

}  // namespace duskmere
