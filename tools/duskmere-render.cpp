// duskmere-render: runs a scene without a display, for previews, tests and bug reports.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "RenderOptions.h"
#include "RenderRun.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const duskmere::ParsedRenderOptions parsed = duskmere::parseRenderOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "duskmere-render: %s\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(duskmere::renderUsage, stdout);
        return 0;
    }
    try {
        return duskmere::runRender(parsed.options, stdout, stderr);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "duskmere-render: out of memory for a %lldx%lld scene\n",
                     static_cast<long long>(parsed.options.width), static_cast<long long>(parsed.options.height));
        return 1;
    }
}
