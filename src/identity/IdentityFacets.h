// The facets of the system that finding out what a file is uses.
#pragma once

#include "platform/Platform.h"

namespace vantorell::identity {

struct IdentityFacets {
    platform::Registry& registry;          // App Paths, the trust stores' keys
    platform::Files& files;                // shortcuts, the cache file, its folders
    platform::Locale& locale;              // paths equal without regard to case
    platform::Clock& clock;                // how long a helper has run
    platform::Processes& processes;        // the environment, the rights, the helpers
    platform::FileIdentity& fileIdentity;  // the file's facts, version and signatures

    IdentityFacets(platform::Registry& r, platform::Files& f, platform::Locale& l, platform::Clock& c,
                   platform::Processes& p, platform::FileIdentity& i)
        : registry(r), files(f), locale(l), clock(c), processes(p), fileIdentity(i) {}
    // The identity's facets of a whole system.
    IdentityFacets(platform::Platform& p)
        : IdentityFacets(p.registry, p.files, p.locale, p.clock, p.processes, p.fileIdentity) {}
};

}  // namespace vantorell::identity
