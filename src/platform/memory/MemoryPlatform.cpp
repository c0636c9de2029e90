#include "platform/memory/MemoryPlatform.h"

#include "platform/memory/MemoryWorld.h"

namespace vantorell::platform {

MemoryPlatform::MemoryPlatform() : Platform{*this, *this, *this, *this, *this, *this, *this, *this} {
    hives_[0] = std::make_unique<Key>();
    hives_[1] = std::make_unique<Key>();
    knownFolders_[KnownFolder::LocalAppData] = "C:\\Users\\user\\AppData\\Local";
    knownFolders_[KnownFolder::ProgramData] = "C:\\ProgramData";
}

MemoryPlatform::~MemoryPlatform() = default;

bool MemoryPlatform::Faulty(Op op, Hive hive, std::string_view where) const {
    return fault_ && fault_(op, hive, where);
}

std::string MemoryPlatform::PathKey(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '/') c = '\\';
        if (c == '\\' && !out.empty() && out.back() == '\\') continue;
        out += c;
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return memory::FoldUtf8(out);
}

void MemoryPlatform::ProtectFolder(std::string_view folder) {
    protected_.push_back(PathKey(folder));
}

bool MemoryPlatform::WriteDenied(std::string_view path) {
    if (!standardUser_) return false;
    const std::string key = PathKey(path);
    for (const auto& folder : protected_) {
        if (key == folder ||
            (key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0 && key[folder.size()] == '\\')) {
            ++deniedCount_;
            return true;
        }
    }
    return false;
}

}  // namespace vantorell::platform
