// The registry of the in-memory platform: two hives of keys with ordered
// values, the machine's 32-bit view a tree of its own while there are two.
#include "platform/memory/MemoryPlatform.h"

#include "platform/memory/MemoryWorld.h"

namespace vantorell::platform {

namespace {

// Windows addresses a value by a NUL-terminated name: a name holding NUL
// reaches the value named by the part before it, as here.
std::string_view Addressed(std::string_view name) {
    return name.substr(0, name.find('\0'));
}

}  // namespace

class MemoryPlatform::MemKey final : public RegKey {
public:
    MemKey(MemoryPlatform& p, Hive hive, std::string path, bool writable)
        : p_(p), hive_(hive), path_(std::move(path)), writable_(writable) {
        ++p_.keysOpenNow_;
    }
    ~MemKey() override { --p_.keysOpenNow_; }
    MemKey(const MemKey&) = delete;
    MemKey& operator=(const MemKey&) = delete;

    std::optional<std::vector<std::string>> ValueNames() override {
        Key* k = Live();
        if (!k || p_.Faulty(Op::EnumValues, hive_, path_)) return std::nullopt;
        std::vector<std::string> names;
        names.reserve(k->values.size());
        for (auto& v : k->values) names.push_back(v.first);
        return names;
    }
    std::optional<RegValue> Query(std::string_view name) override {
        Key* k = Live();
        if (!k || p_.Faulty(Op::QueryValue, hive_, path_)) return std::nullopt;
        if (auto* v = k->Find(Addressed(name))) return v->second;
        return std::nullopt;
    }
    // Two steps, names and then each value, as a system without a call for
    // both would take them: a fault can hit either.
    std::optional<std::vector<std::pair<std::string, RegValue>>> Values() override {
        auto names = ValueNames();
        if (!names) return std::nullopt;
        std::vector<std::pair<std::string, RegValue>> values;
        values.reserve(names->size());
        for (auto& name : *names) {
            // A value listed but not readable is still listed, without data.
            RegValue value = Query(name).value_or(RegValue{RegType::None, {}});
            values.emplace_back(std::move(name), std::move(value));
        }
        return values;
    }
    bool Set(std::string_view name, const RegValue& value) override {
        Key* k = Live();
        if (k && !writable_) ++p_.deniedCount_;
        if (!k || !writable_ || p_.Faulty(Op::SetValue, hive_, path_)) return false;
        k->Put(Addressed(name), value);
        return true;
    }
    bool Delete(std::string_view name) override {
        Key* k = Live();
        if (k && !writable_) ++p_.deniedCount_;
        if (!k || !writable_ || p_.Faulty(Op::DeleteValue, hive_, path_)) return false;
        return k->Erase(Addressed(name));
    }
    void Flush() override {}  // no disk to write to
    std::optional<std::vector<std::string>> SubKeyNames() override {
        Key* k = Live();
        if (!k || p_.Faulty(Op::EnumValues, hive_, path_)) return std::nullopt;
        std::vector<std::string> names;
        for (const auto& [folded, child] : k->children) names.push_back(child->name);
        return names;
    }

private:
    // The key may have been removed from the scene since it was opened.
    Key* Live() { return p_.FindKey(hive_, path_, false); }

    MemoryPlatform& p_;
    Hive hive_;
    std::string path_;
    bool writable_;
};

MemoryPlatform::Key* MemoryPlatform::FindKey(Hive hive, std::string_view path, bool create) {
    Key* k = hives_[hive == Hive::CurrentUser ? 0 : 1].get();
    std::size_t start = 0;
    while (start <= path.size()) {
        auto end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        const auto part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty()) continue;
        const auto folded = FoldCase(part);
        auto it = k->children.find(folded);
        if (it == k->children.end()) {
            if (!create) return nullptr;
            it = k->children.emplace(folded, std::make_unique<Key>()).first;
            it->second->name = std::string(part);
        }
        k = it->second.get();
    }
    return k;
}

const MemoryPlatform::Key* MemoryPlatform::FindKey(Hive hive, std::string_view path) const {
    return const_cast<MemoryPlatform*>(this)->FindKey(hive, path, false);
}

std::string MemoryPlatform::ViewPath(Hive hive, std::string_view path, RegView view) const {
    // The 32-bit view is kept under a root key no real path can name.
    if (hive != Hive::LocalMachine || view != RegView::Bits32 || !twoViews_) return std::string(path);
    std::string mapped = "\x01view32\\";
    return mapped.append(path);
}

std::unique_ptr<RegKey> MemoryPlatform::OpenKey(Hive hive, std::string_view path, bool create, KeyAccess access,
                                                RegView view) {
    const bool full = access != KeyAccess::Read;
    if (full && standardUser_ && hive == Hive::LocalMachine) {
        if (access == KeyAccess::Full) ++deniedCount_;  // opened to change it; an open to list values is no refusal
        return nullptr;
    }
    const std::string where = ViewPath(hive, path, view);
    if (Faulty(full ? Op::OpenKeyFull : Op::OpenKeyRead, hive, where)) return nullptr;
    if (!FindKey(hive, where, create)) return nullptr;
    ++openKeys_;
    return std::make_unique<MemKey>(*this, hive, where, full);
}

void MemoryPlatform::PutValue(Hive hive, std::string_view keyPath, std::string_view name, RegValue value,
                              RegView view) {
    FindKey(hive, ViewPath(hive, keyPath, view), true)->Put(name, std::move(value));
}

void MemoryPlatform::PutString(Hive hive, std::string_view keyPath, std::string_view name, std::string_view text,
                               RegView view) {
    PutValue(hive, keyPath, name, RegValue{RegType::Sz, std::string(text)}, view);
}

std::optional<RegValue> MemoryPlatform::GetValue(Hive hive, std::string_view keyPath, std::string_view name,
                                                 RegView view) const {
    auto* self = const_cast<MemoryPlatform*>(this);
    Key* k = self->FindKey(hive, ViewPath(hive, keyPath, view), false);
    if (!k) return std::nullopt;
    if (auto* v = k->Find(name)) return v->second;
    return std::nullopt;
}

bool MemoryPlatform::KeyExists(Hive hive, std::string_view keyPath, RegView view) const {
    return FindKey(hive, ViewPath(hive, keyPath, view)) != nullptr;
}

void MemoryPlatform::RemoveKey(Hive hive, std::string_view keyPath, RegView view) {
    const std::string path = ViewPath(hive, keyPath, view);
    const auto pos = path.rfind('\\');
    Key* parent = pos == std::string::npos ? hives_[hive == Hive::CurrentUser ? 0 : 1].get()
                                           : FindKey(hive, path.substr(0, pos), false);
    if (parent) parent->children.erase(FoldCase(pos == std::string::npos ? path : path.substr(pos + 1)));
}

}  // namespace vantorell::platform
