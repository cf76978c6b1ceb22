#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string_view>

namespace duskmere {

// The animals that can walk through the campfire scene, in the order candidates are listed.
enum class Species { moose, bear, fox };

inline constexpr std::array<Species, 3> allSpecies = {Species::moose, Species::bear, Species::fox};

constexpr std::string_view rawValue(Species species) {
    switch (species) {
        case Species::moose: return "moose";
        case Species::bear: return "bear";
        case Species::fox: return "fox";
    }
    return "moose";
}

}  // namespace duskmere

// A species hashes as its name, so sets and maps of species agree with their string form.
template <>
struct std::hash<duskmere::Species> {
    std::size_t operator()(duskmere::Species species) const noexcept {
        return std::hash<std::string_view>{}(duskmere::rawValue(species));
    }
};
