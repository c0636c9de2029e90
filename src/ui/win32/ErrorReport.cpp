#include "ui/win32/ErrorReport.h"

#include "platform/win32/ChangeWatcher.h"
#include "platform/win32/Utf.h"

namespace vantorell::ui::win32 {

void ShowErrorReport(HWND owner, std::string_view message) noexcept {
    vantorell::win32::ModalLoop modal;
    try {
        const std::wstring text = vantorell::win32::Widen(ErrorReportText(message));
        const std::wstring caption = vantorell::win32::Widen(kAppTitle);
        MessageBoxW(owner, text.c_str(), caption.c_str(), MB_ICONERROR | MB_OK);
    } catch (...) {
        // Out of memory while reporting: nothing more can be shown.
        MessageBoxW(owner, L"Out of memory.", L"Vantorell", MB_ICONERROR | MB_OK);
    }
}

}  // namespace vantorell::ui::win32
