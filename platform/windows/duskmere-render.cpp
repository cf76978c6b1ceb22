// duskmere-render for Windows: the same options, frames and output as on Linux.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "OutputFile.h"
#include "RenderRun.h"
#include "WinRenderHost.h"
#include "WinText.h"

namespace {

// Ctrl+C during a PNG write would leave the hidden temporary file behind.
BOOL WINAPI stopOnControl(DWORD) {
    duskmere::discardPendingOutputFile();
    return FALSE;  // and on to the default handler, which ends the process
}

void installStopHandlers() { SetConsoleCtrlHandler(stopOnControl, TRUE); }

}  // namespace

int main() {
    // Bytes as they are: hash lines end in \n as on Linux, and raw frames stay intact.
    _setmode(_fileno(stdout), _O_BINARY);
    duskmere::WinRenderHost host;
    const duskmere::RenderStreams streams{stdout, stderr, _isatty(_fileno(stdout)) != 0, _isatty(_fileno(stderr)) != 0};
    return duskmere::renderProgram(duskmere::commandLineArguments(), host, streams, installStopHandlers);
}
