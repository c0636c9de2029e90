// The user's locale on Windows: CompareStringW, CharUpperBuffW and the ANSI
// code page.
#pragma once

#include "platform/Locale.h"

namespace vantorell::platform {

class Win32Locale final : public Locale {
public:
    std::string AnsiToUtf8(std::string_view bytes) override;
    int CompareNoCase(std::string_view a, std::string_view b) override;
    std::string FoldCase(std::string_view text) override;
    std::optional<std::string> SortKeyNoCase(std::string_view text) override;
};

}  // namespace vantorell::platform
