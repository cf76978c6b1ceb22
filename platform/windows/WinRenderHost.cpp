#include "WinRenderHost.h"

#include <windows.h>
#include <io.h>

#include "OutputFile.h"
#include "WicPng.h"
#include "WinSaverPlatform.h"

namespace duskmere {

bool WinRenderHost::writePng(const PixelRows& picture, OutputFile& file, std::string& error) {
    return encodePng(picture.pixels, picture.width, picture.height, file, error);
}

uint64_t WinRenderHost::secureRandomSeed() { return systemRandomSeed(); }

bool WinRenderHost::readerGone(std::FILE* stream, int error) {
    const DWORD code = GetLastError();  // the failed WriteFile's, before any other call
    if (error == EPIPE) return true;
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_PIPE) return false;
    return code == ERROR_NO_DATA || code == ERROR_BROKEN_PIPE || code == ERROR_PIPE_NOT_CONNECTED;
}

}  // namespace duskmere
