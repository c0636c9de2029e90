// Errors the user sees. A failing operation throws AppError; the event handler
// ends there, and the application's top-level handler shows the text.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace vantorell {

class AppError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An operation found its entry no longer as the user saw it (another writer
// changed or removed it); it changed nothing. Looking again and retrying is safe.
class ChangedMeanwhile : public AppError {
public:
    using AppError::AppError;
};

// Another writer held a list's writers' lock for longer than a change waits:
// nothing was read or changed. Retrying later is safe.
class ListsBusy : public ChangedMeanwhile {
public:
    using ChangedMeanwhile::ChangedMeanwhile;
};

// The text of the top-level error report: a full stop is appended when the last
// character sorts after ".".
std::string ErrorReportText(std::string_view message);

// Caption and style of the top-level error report.
inline constexpr std::string_view kAppTitle = "Vantorell";

}  // namespace vantorell
