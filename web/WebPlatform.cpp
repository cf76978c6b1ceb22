#include "WebPlatform.h"

#include <emscripten.h>

#include <cstring>

// clang-format off
EM_JS(void, duskmere_fill_random, (uint8_t* out, int n), {
    crypto.getRandomValues(HEAPU8.subarray(out, out + n));
});
// clang-format on

namespace duskmere {

uint64_t WebPlatform::systemSeed() {
    uint8_t bytes[8];
    duskmere_fill_random(bytes, sizeof bytes);
    uint64_t seed;
    std::memcpy(&seed, bytes, sizeof seed);
    return seed;
}

}  // namespace duskmere
