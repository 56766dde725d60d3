// Text at the Windows boundary: the program keeps UTF-8 inside and hands
// UTF-16 to the wide calls. Without <windows.h>, for portable files and
// tests.
#pragma once

#include <string>

namespace w32 {

// Bytes that are not UTF-8 become U+FFFD, never a cut name.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const wchar_t* text, size_t length);
std::string Utf8(const std::wstring& text);

// An environment variable as UTF-8; "" when it is not set.
std::string Environment(const char* name);

}  // namespace w32
