#include "platform/memory/MemoryPlatform.h"

#include "platform/memory/MemoryWorld.h"

namespace vantorell::platform {

MemoryPlatform::MemoryPlatform() : Platform{*this, *this, *this, *this, *this, *this, *this, *this, *this} {
    hives_[0] = std::make_unique<Key>();
    hives_[1] = std::make_unique<Key>();
    knownFolders_[KnownFolder::LocalAppData] = "C:\\Users\\user\\AppData\\Local";
    knownFolders_[KnownFolder::ProgramData] = "C:\\ProgramData";
    knownFolders_[KnownFolder::Windows] = "C:\\Windows";
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
    // "." and ".." folded as the system folds them before it opens a path.
    if (out.find("\\.") != std::string::npos) {
        std::string folded;
        std::size_t at = 0;
        while (at <= out.size()) {
            const std::size_t end = std::min(out.find('\\', at), out.size());
            const std::string_view part = std::string_view(out).substr(at, end - at);
            if (part == "..") {
                const auto last = folded.rfind('\\');
                if (last != std::string::npos) folded.resize(last);
            } else if (part != ".") {
                if (at > 0) folded += '\\';
                folded += part;
            }
            at = end + 1;
        }
        out = std::move(folded);
    }
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
