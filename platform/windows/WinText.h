#pragma once

#include <windows.h>

#include <string>

namespace duskmere {

// UTF-8 (our strings) to and from UTF-16 (Windows' strings).
std::wstring toWide(const std::string& text);
std::string toUtf8(const std::wstring& text);
// The system's one-line description of an error code, without the trailing line break.
std::string systemMessage(DWORD code);

}  // namespace duskmere
