#include "WinRenderHost.h"

#include <windows.h>
#include <io.h>

#include "OutputFile.h"
#include "WicPng.h"
#include "WinSaverPlatform.h"

namespace duskmere {

namespace {

class SoftwareRenderTarget : public RenderTarget {
public:
    explicit SoftwareRenderTarget(double backingScale) : platform_(backingScale) {}

    SaverPlatform& platform() override { return platform_; }
    PixelRows picture() override {
        platform_.finishRedraw();  // the software platform paints a redraw when it ends
        if (platform_.deviceWidth() <= 0 || platform_.deviceHeight() <= 0) return {};
        return {platform_.devicePixels(), platform_.deviceWidth(), platform_.deviceHeight()};
    }

    WinSaverPlatform platform_;
};

}  // namespace

std::unique_ptr<RenderTarget> WinRenderHost::makeTarget(ViewSize bounds, double backingScale, uint64_t seed) {
    auto target = std::make_unique<SoftwareRenderTarget>(backingScale);
    target->platform_.setBounds(bounds);
    target->platform_.fixSeed(seed);
    return target;
}

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
