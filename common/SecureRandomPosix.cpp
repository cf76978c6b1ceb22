#include "SecureRandom.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <time.h>

#include <cstring>

namespace duskmere {

namespace {

// Reads exactly n bytes from `read`, retrying short reads and interruptions.
template <class Read>
bool fill(unsigned char* out, size_t n, Read read) {
    size_t got = 0;
    while (got < n) {
        const ssize_t r = read(out + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

}  // namespace

std::optional<uint64_t> secureRandomSeed() {
    unsigned char bytes[8];
    bool ok = fill(bytes, sizeof bytes, [](unsigned char* p, size_t n) { return getrandom(p, n, 0); });
    if (!ok) {
        // Kernels before getrandom, or a sandbox that refuses it.
        const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ok = fill(bytes, sizeof bytes, [fd](unsigned char* p, size_t n) { return read(fd, p, n); });
            close(fd);
        }
    }
    if (!ok) return std::nullopt;
    uint64_t seed;
    std::memcpy(&seed, bytes, sizeof seed);
    return seed;
}

uint64_t newSeed() {
    if (const std::optional<uint64_t> secure = secureRandomSeed()) return *secure;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return seedFromClock(static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec),
                         static_cast<uint64_t>(getpid()));
}

}  // namespace duskmere
