// This process and the programs it runs, on Windows: its token, its
// environment, ShellExecuteExW's "runas" for administrator rights, and
// helpers started with a restricted token where this process is elevated.
#pragma once

#include <windows.h>

#include "platform/Processes.h"
#include "platform/win32/DeniedWrites.h"

namespace vantorell::platform {

class Win32Processes final : public Processes {
public:
    explicit Win32Processes(const win32::DeniedWrites& denied) : denied_(denied) {}

    // This window is disabled while an elevated program runs.
    void SetOwnerWindow(HWND owner) { owner_ = owner; }

    std::string ExecutablePath() override;
    std::optional<std::string> EnvironmentVariable(std::string_view name) override;
    bool IsElevated() override;
    std::uint64_t AccessDeniedCount() override { return denied_.Total(); }
    ElevatedRun RunElevated(std::string_view program, std::string_view parameters) override;
    bool CanRunHelper() override;
    std::unique_ptr<HelperRun> StartHelper(std::string_view argument, std::string_view input) override;
    // Win32ProcessFigures.cpp
    std::vector<ProcessFacts> SessionProcesses(std::uint64_t createdSince) override;
    std::optional<CpuTimes> SystemCpuTimes() override;
    std::optional<std::uint64_t> LogonTime() override;
    std::uint64_t StartTime() override;
    std::uint64_t FileTimeNow() override;

private:
    const win32::DeniedWrites& denied_;
    HWND owner_ = nullptr;
};

}  // namespace vantorell::platform
