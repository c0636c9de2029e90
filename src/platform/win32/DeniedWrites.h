// Writes refused for lack of rights: counted by the registry and the files
// as they are refused, read by Processes::AccessDeniedCount.
#pragma once

#include <windows.h>

#include <cstdint>

namespace vantorell::win32 {

class DeniedWrites {
public:
    // Counts `error` when it is ERROR_ACCESS_DENIED; returns it.
    DWORD Count(DWORD error) {
        if (error == ERROR_ACCESS_DENIED) ++count_;
        return error;
    }
    void Add() { ++count_; }
    std::uint64_t Total() const { return count_; }

private:
    std::uint64_t count_ = 0;
};

}  // namespace vantorell::win32
