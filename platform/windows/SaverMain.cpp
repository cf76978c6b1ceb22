// A Duskmere screen saver for Windows: one scene, chosen when the file is built (DUSKMERE_SCENE).
#include <windows.h>

#include <exception>
#include <string>

#include "SaverArguments.h"
#include "Version.h"
#include "WinSaver.h"
#include "WinText.h"
#include "catalog/SceneCatalog.h"

using namespace duskmere;

namespace {

// The name Windows shows in its list of savers: string 1 of the resources.
std::wstring saverName(HINSTANCE instance) {
    const wchar_t* text = nullptr;
    const int n = LoadStringW(instance, 1, reinterpret_cast<wchar_t*>(&text), 0);
    return n > 0 && text ? std::wstring(text, static_cast<size_t>(n)) : std::wstring(L"Duskmere");
}

// This program's file name, as the user sees it in messages.
std::string fileName() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, n < MAX_PATH ? n : 0);
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    return name.empty() ? "Duskmere.scr" : toUtf8(name);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const std::wstring name = saverName(instance);
    const Parsed<SaverArguments> parsed = parseSaverArguments(commandLineArguments());
    const SceneEntry* scene = findScene(DUSKMERE_SCENE);
    WinSaver saver(instance, parsed.options, *scene, name);
    if (!parsed.error.empty()) {
        std::string usage = saverUsage;
        const size_t at = usage.find("SAVER.scr");
        if (at != std::string::npos) usage.replace(at, 9, fileName());
        saver.refuse(parsed.error + " (" + usage + ")");
        return 2;
    }
    if (parsed.options.version) {
        saver.tell(toUtf8(name) + " " DUSKMERE_VERSION);
        return 0;
    }
    try {
        return saver.run();
    } catch (const std::exception& e) {
        saver.report(std::string("cannot go on: ") + e.what());
        return 1;
    }
}
