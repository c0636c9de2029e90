// The helper that identifies the entries' files for the program in the tray
// (see identity/IdentityHelper.h): run as "vantorell.exe -identify", it reads
// the request from its standard input and writes the reply to its standard
// output.
#pragma once

#include <windows.h>

#include "platform/win32/Win32Platform.h"

namespace vantorell::app {

// Serves one request; 0 when it was one and the whole reply was written.
int RunIdentifyHelper(platform::Win32Platform& platform);

}  // namespace vantorell::app
