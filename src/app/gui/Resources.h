// Resource ids of vantorell.exe, shared by the resource script and the code.
#pragma once

#define IDI_VANTORELL 1
