// duskmere-render for Windows: the same options, frames and output as on Linux.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "OutputFile.h"
#include "RenderOptions.h"
#include "RenderRun.h"
#include "Version.h"
#include "WinRenderHost.h"
#include "WinText.h"

namespace {

// Ctrl+C during a PNG write would leave the hidden temporary file behind.
BOOL WINAPI stopOnControl(DWORD) {
    duskmere::discardPendingOutputFile();
    return FALSE;  // and on to the default handler, which ends the process
}

std::vector<std::string> arguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) return args;
    for (int i = 1; i < count; ++i) args.push_back(duskmere::toUtf8(words[i]));
    LocalFree(words);
    return args;
}

}  // namespace

int main() {
    // Bytes as they are: hash lines end in \n as on Linux, and raw frames stay intact.
    _setmode(_fileno(stdout), _O_BINARY);
    const duskmere::ParsedRenderOptions parsed = duskmere::parseRenderOptions(arguments());
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "duskmere-render: %s\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help || parsed.options.version) {
        if (parsed.options.help)
            std::fputs(duskmere::renderUsage, stdout);
        else
            std::fputs("duskmere-render " DUSKMERE_VERSION "\n", stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    SetConsoleCtrlHandler(stopOnControl, TRUE);

    duskmere::WinRenderHost host;
    const duskmere::RenderStreams streams{stdout, stderr, _isatty(_fileno(stdout)) != 0, _isatty(_fileno(stderr)) != 0};
    try {
        return duskmere::runRender(parsed.options, host, streams);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "duskmere-render: out of memory for a %lldx%lld scene\n",
                     static_cast<long long>(parsed.options.width), static_cast<long long>(parsed.options.height));
        return 1;
    }
}
