// The system as Vantorell's logic sees it: one facet per concern, each an
// interface of its own, and the bundle of all of them that the program makes
// once and hands out facet by facet.
//
// Everything above these headers is portable C++20 and never includes
// <windows.h>. Two implementations exist: platform/win32 (the real Windows,
// wide-character APIs) and platform/memory (an in-memory Windows used by the
// unit tests).
//
// Error contract: platform calls report failure through their results (bool,
// std::optional, Status); they never throw. The portable layers above turn the
// failures the user must see into AppError (see Errors.h).
//
// Text: every std::string here is UTF-8, except where a member says "bytes".
#pragma once

#include "platform/Clock.h"
#include "platform/FileIdentity.h"
#include "platform/Files.h"
#include "platform/Locale.h"
#include "platform/Locks.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/Shell.h"

namespace vantorell::platform {

// Every facet of one system. The program's entry point (or a test) makes it
// once; each layer of the program takes the facets it uses from it.
struct Platform {
    Registry& registry;
    Files& files;
    Locale& locale;
    Shell& shell;
    Clock& clock;
    Locks& locks;
    Processes& processes;
    FileIdentity& fileIdentity;
    Services& services;
};

}  // namespace vantorell::platform
