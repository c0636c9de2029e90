// UTF-8 <-> UTF-16 at the edge of the Windows layer.
#pragma once

#include <string>
#include <string_view>

namespace vantorell::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
// The system's text for a Win32 error code, without the trailing line break.
std::string ErrorText(unsigned long code);

}  // namespace vantorell::win32
