#include "WinSaverPlatform.h"

#include <windows.h>
#include <bcrypt.h>

#include "WinText.h"

namespace duskmere {

std::string WinSaverPlatform::processName() const {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, n < MAX_PATH ? n : 0);
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    return toUtf8(name);
}

void WinSaverPlatform::exitProcess(int status) { ExitProcess(static_cast<UINT>(status)); }

uint64_t WinSaverPlatform::secureRandomSeed() { return seed_ ? *seed_ : systemRandomSeed(); }

uint64_t systemRandomSeed() {
    uint64_t seed = 0;
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&seed), sizeof seed, BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0)
        return seed;
    // Not expected on any supported Windows; a seed from the clock beats no picture at all.
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    seed = static_cast<uint64_t>(now.QuadPart) ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 32);
    seed ^= seed >> 33;
    seed *= 0xff51afd7ed558ccdULL;
    return seed ^ (seed >> 33);
}

}  // namespace duskmere
