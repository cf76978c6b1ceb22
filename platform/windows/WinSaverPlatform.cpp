#include "WinSaverPlatform.h"

#include "SecureRandom.h"

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

uint64_t WinSaverPlatform::systemSeed() { return systemRandomSeed(); }

uint64_t systemRandomSeed() {
    uint64_t seed = 0;
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&seed), sizeof seed, BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0)
        return seed;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return seedFromClock(static_cast<uint64_t>(now.QuadPart), GetCurrentProcessId());
}

}  // namespace duskmere
