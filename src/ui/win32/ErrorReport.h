// The top-level error handler of the window procedures: no exception leaves a
// window procedure. An AppError (or any other exception) ends the handler that
// raised it and is shown in a message box with an error icon, caption
// "Vantorell"; the window goes on.
#pragma once

#include <windows.h>

#include <exception>
#include <string_view>

#include "platform/Errors.h"

namespace vantorell::ui::win32 {

// Shows ErrorReportText(message) in a modal error box owned by `owner`.
void ShowErrorReport(HWND owner, std::string_view message) noexcept;

// Runs `handler`; an exception it throws is reported and swallowed. Returns
// false when the handler threw.
template <typename Handler>
bool RunGuarded(HWND owner, Handler&& handler) noexcept {
    try {
        handler();
        return true;
    } catch (const AppError& e) {
        ShowErrorReport(owner, e.what());
    } catch (const std::exception& e) {
        ShowErrorReport(owner, e.what());
    } catch (...) {
        ShowErrorReport(owner, "Unexpected error");
    }
    return false;
}

}  // namespace vantorell::ui::win32
