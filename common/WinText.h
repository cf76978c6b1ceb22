#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace duskmere {

// UTF-8 (our strings) to and from UTF-16 (Windows' strings); empty for text that is not valid UTF-8.
std::wstring toWide(const std::string& text);
std::string toUtf8(const std::wstring& text);
// The system's one-line description of an error code, without the trailing line break.
std::string systemMessage(DWORD code);
// This program's arguments, as Windows splits its command line, in UTF-8.
std::vector<std::string> commandLineArguments();

}  // namespace duskmere
