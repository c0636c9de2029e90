#include "platform/memory/MemoryPlatform.h"

#include <algorithm>
#include <unordered_map>

#include "platform/Text.h"

namespace vantorell::platform {

// ------------------------------------------------------------------ text

namespace {

std::u32string Decode(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        if (extra < 0 || i + extra >= s.size() + (extra == 0)) {  // stray or cut-off byte
            out.push_back(0xDC00 + c);
            ++i;
            continue;
        }
        char32_t cp = extra == 0 ? c : (c & (0x3F >> extra));
        for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(cp);
        i += extra + 1;
    }
    return out;
}

void Encode(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Simple lower-case folding for the scripts a stand-in needs: Latin, Greek, Cyrillic.
char32_t Fold(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        const bool oddLower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddLower) return (c % 2 == 1) ? c + 1 : c;
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

constexpr char32_t kCp1252High[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                                      0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                                      0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

std::string FoldUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    if (IsAscii(text)) {  // most names: the same result without decoding
        for (char c : text) out += FoldAscii(c);
        return out;
    }
    for (char32_t c : Decode(text)) Encode(Fold(c), out);
    return out;
}

bool EndsWithLnk(std::string_view name) {
    if (name.size() < 4) return false;
    auto ext = name.substr(name.size() - 4);
    return ext[0] == '.' && (ext[1] | 0x20) == 'l' && (ext[2] | 0x20) == 'n' && (ext[3] | 0x20) == 'k';
}

// A shortcut file of this stand-in: a magic line, then one field per line.
constexpr std::string_view kLinkMagic = "VANTORELL-MEMORY-LNK";

std::string EscapeField(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string UnescapeField(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            ++i;
            out += s[i] == 'n' ? '\n' : s[i];
        } else {
            out += s[i];
        }
    }
    return out;
}

// Windows addresses a value by a NUL-terminated name: a name holding NUL
// reaches the value named by the part before it, as here.
std::string_view Addressed(std::string_view name) {
    return name.substr(0, name.find('\0'));
}

std::string ParentOf(const std::string& key) {
    const auto pos = key.rfind('\\');
    return pos == std::string::npos ? std::string() : key.substr(0, pos);
}

}  // namespace

std::string MemoryPlatform::AnsiToUtf8(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        const char32_t cp = (c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : c;
        Encode(cp, out);
    }
    return out;
}

std::string MemoryPlatform::FoldCase(std::string_view text) {
    return FoldUtf8(text);
}

// The folded text itself: UTF-8 keeps the order of code points, so compared
// bytewise it orders as CompareNoCase orders the texts.
std::optional<std::string> MemoryPlatform::SortKeyNoCase(std::string_view text) {
    return FoldUtf8(text);
}

int MemoryPlatform::CompareNoCase(std::string_view a, std::string_view b) {
    if (IsAscii(a) && IsAscii(b)) {
        const std::size_t n = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < n; ++i) {
            const char x = FoldAscii(a[i]), y = FoldAscii(b[i]);
            if (x != y) return x < y ? -1 : 1;
        }
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    }
    const auto fa = Decode(a), fb = Decode(b);
    const std::size_t n = std::min(fa.size(), fb.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t x = Fold(fa[i]), y = Fold(fb[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return fa.size() == fb.size() ? 0 : (fa.size() < fb.size() ? -1 : 1);
}

// ------------------------------------------------------------------ registry

struct MemoryPlatform::Key {
    std::vector<std::pair<std::string, RegValue>> values;  // enumeration order
    std::unordered_map<std::string, std::size_t> index;    // folded name -> position in values
    std::map<std::string, std::unique_ptr<Key>> children;  // by folded name
    std::string name;                                      // as it was created

    std::pair<std::string, RegValue>* Find(std::string_view name) {
        const auto it = index.find(FoldUtf8(name));
        return it == index.end() ? nullptr : &values[it->second];
    }
    void Put(std::string_view name, RegValue value) {
        if (auto* v = Find(name)) {
            v->second = std::move(value);
            return;
        }
        index.emplace(FoldUtf8(name), values.size());
        values.emplace_back(std::string(name), std::move(value));
    }
    bool Erase(std::string_view name) {
        const auto it = index.find(FoldUtf8(name));
        if (it == index.end()) return false;
        const std::size_t pos = it->second;
        values.erase(values.begin() + static_cast<std::ptrdiff_t>(pos));
        index.erase(it);
        for (auto& [folded, i] : index)
            if (i > pos) --i;
        return true;
    }
};

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
    void Flush() override {}
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

MemoryPlatform::MemoryPlatform() {
    hives_[0] = std::make_unique<Key>();
    hives_[1] = std::make_unique<Key>();
    knownFolders_[KnownFolder::LocalAppData] = "C:\\Users\\user\\AppData\\Local";
    knownFolders_[KnownFolder::ProgramData] = "C:\\ProgramData";
}

MemoryPlatform::~MemoryPlatform() = default;

bool MemoryPlatform::Faulty(Op op, Hive hive, std::string_view where) const {
    return fault_ && fault_(op, hive, where);
}

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

// ------------------------------------------------------------------ files

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
    return FoldUtf8(out);
}

void MemoryPlatform::AddFolder(std::string_view path) {
    auto key = PathKey(path);
    while (!key.empty()) {
        folders_.insert(key);
        key = ParentOf(key);
    }
}

bool MemoryPlatform::FolderExists(std::string_view path) const {
    return folders_.count(PathKey(path)) > 0;
}

void MemoryPlatform::PutFile(std::string_view path, std::string_view bytes, bool hidden, bool system) {
    const auto key = PathKey(path);
    AddFolder(ParentOf(key));
    files_[key] = File{std::string(path), std::string(bytes), hidden, system, ++writes_, ++fileIds_, ++usn_};
}

void MemoryPlatform::PutShortcut(std::string_view path, const ShortcutData& d) {
    std::string bytes(kLinkMagic);
    for (const auto* field : {&d.target, &d.arguments, &d.description, &d.workingDirectory, &d.iconFile}) {
        bytes += '\n';
        bytes += EscapeField(*field);
    }
    bytes += '\n' + std::to_string(d.iconIndex) + '\n' + std::to_string(d.hotKey) + '\n' + std::to_string(d.showCmd);
    if (!d.itemPath.empty()) bytes += '\n' + EscapeField(d.itemPath);  // a shell item as the target
    const auto key = PathKey(path);
    const auto it = files_.find(key);
    const bool hidden = it != files_.end() && it->second.hidden;
    PutFile(path, bytes, hidden);
}

std::optional<std::string> MemoryPlatform::GetFile(std::string_view path) const {
    const auto it = files_.find(PathKey(path));
    if (it == files_.end()) return std::nullopt;
    return it->second.bytes;
}

bool MemoryPlatform::ReadShortcut(std::string_view linkFile, ShortcutData& out) {
    if (Faulty(Op::ReadShortcut, Hive::CurrentUser, linkFile)) return false;
    const auto bytes = GetFile(linkFile);
    if (!bytes) return false;
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto end = bytes->find('\n', start);
        parts.push_back(bytes->substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if ((parts.size() != 9 && parts.size() != 10) || parts[0] != kLinkMagic) return false;
    ShortcutData d;
    d.target = UnescapeField(parts[1]);
    d.arguments = UnescapeField(parts[2]);
    d.description = UnescapeField(parts[3]);
    d.workingDirectory = UnescapeField(parts[4]);
    d.iconFile = UnescapeField(parts[5]);
    int n = 0;
    if (text::ParseInt(parts[6], n)) d.iconIndex = n;
    if (text::ParseInt(parts[7], n)) d.hotKey = static_cast<std::uint16_t>(n);
    if (text::ParseInt(parts[8], n)) d.showCmd = n;
    if (parts.size() == 10) d.itemPath = UnescapeField(parts[9]);
    out = std::move(d);
    return true;
}

bool MemoryPlatform::WriteShortcut(std::string_view linkFile, const ShortcutData& data) {
    if (WriteDenied(linkFile)) return false;
    if (Faulty(Op::WriteShortcut, Hive::CurrentUser, linkFile)) return false;
    if (folders_.count(PathKey(linkFile))) return false;  // a folder of that name
    PutShortcut(linkFile, data);
    return true;
}

std::vector<std::string> MemoryPlatform::ListShortcutFiles(std::string_view folder) {
    const auto key = PathKey(folder);
    std::vector<std::string> names;
    if (Faulty(Op::ListFolder, Hive::CurrentUser, folder)) return names;
    for (const auto& [k, f] : files_) {
        if (ParentOf(k) != key || f.hidden || f.system) continue;
        const auto slash = f.path.find_last_of("\\/");
        const auto name = slash == std::string::npos ? f.path : f.path.substr(slash + 1);
        if (EndsWithLnk(name)) names.push_back(name);
    }
    return names;
}

bool MemoryPlatform::FolderListable(std::string_view folder) {
    return !Faulty(Op::ListFolder, Hive::CurrentUser, folder);
}

bool MemoryPlatform::FileExists(std::string_view path) {
    return files_.count(PathKey(path)) > 0;
}

bool MemoryPlatform::RemoveFile(std::string_view path) {
    if (FileExists(path) && WriteDenied(path)) return false;
    if (Faulty(Op::DeleteFile, Hive::CurrentUser, path)) return false;
    return files_.erase(PathKey(path)) > 0;
}

FileRead MemoryPlatform::ReadFile(std::string_view path) {
    ++fileReads_;
    const auto it = files_.find(PathKey(path));
    if (it == files_.end()) return {ReadOutcome::NotFound, {}, {}};
    if (Faulty(Op::ReadFile, Hive::CurrentUser, path)) return {ReadOutcome::Failed, {}, "Access is denied."};
    return {ReadOutcome::Ok, it->second.bytes, {}};
}

Status MemoryPlatform::WriteFileAtomic(std::string_view path, std::string_view bytes) {
    ++writesAttempted_;
    if (!WriterLockHeld(path)) ++unlockedWrites_[PathKey(path)];
    if (WriteDenied(path)) return Status::Fail("Access is denied.");
    if (Faulty(Op::WriteFile, Hive::CurrentUser, path)) return Status::Fail("There is not enough space on the disk.");
    const auto key = PathKey(path);
    if (folders_.count(key)) return Status::Fail("Access is denied.");
    const auto it = files_.find(key);
    if (it != files_.end()) {
        it->second.bytes = std::string(bytes);
        it->second.usn = ++usn_;
    } else {
        PutFile(path, bytes);
    }
    return Status::Ok();
}

bool MemoryPlatform::CopyFileBytes(std::string_view from, std::string_view to) {
    const auto source = files_.find(PathKey(from));
    if (source == files_.end() || Faulty(Op::ReadFile, Hive::CurrentUser, from)) return false;
    ++writesAttempted_;
    if (WriteDenied(to) || Faulty(Op::WriteFile, Hive::CurrentUser, to) || folders_.count(PathKey(to))) return false;
    const std::string bytes = source->second.bytes;
    PutFile(to, bytes);
    return true;
}

// ------------------------------------------------------------------ rights and known folders

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

void MemoryPlatform::SetKnownFolder(KnownFolder folder, std::optional<std::string> path) {
    knownFolders_[folder] = std::move(path);
}

std::optional<std::string> MemoryPlatform::KnownFolderPath(KnownFolder folder) {
    const auto it = knownFolders_.find(folder);
    return it == knownFolders_.end() ? std::nullopt : it->second;
}

bool MemoryPlatform::CreateFolder(std::string_view path) {
    if (FolderExists(path)) return true;
    if (WriteDenied(path) || files_.count(PathKey(path))) return false;
    AddFolder(path);
    return true;
}

namespace {
class ScriptedHelper final : public HelperRun {
public:
    ScriptedHelper(std::string output, bool hangs) : output_(std::move(output)), hangs_(hangs) {}
    bool Poll(std::string& output) override {
        output += output_;
        output_.clear();
        return !hangs_;
    }

private:
    std::string output_;
    bool hangs_;
};
}  // namespace

std::unique_ptr<HelperRun> MemoryPlatform::StartHelper(std::string_view argument, std::string_view input) {
    if (!helperScript_) return nullptr;
    ++helperRuns_;
    auto output = helperScript_(argument, input);
    if (!output) return nullptr;
    return std::make_unique<ScriptedHelper>(std::move(*output), helperHangs_);
}

ElevatedRun MemoryPlatform::RunElevated(std::string_view program, std::string_view parameters) {
    elevatedRuns_.push_back(std::string(program) + " " + std::string(parameters));
    if (!elevatedScript_)
        return ElevatedRun{ElevatedRun::Outcome::Cancelled, 0, "The operation was canceled by the user.", {}};
    return elevatedScript_(program, parameters);
}

// ------------------------------------------------------------------ boxes, processes, timers

int MemoryPlatform::ShowMessageBox(std::string_view text, std::string_view caption, unsigned style) {
    boxes_.push_back(ShownBox{std::string(text), std::string(caption), style, now_});
    const ShownBox shown = boxes_.back();
    int answer = (style & 0xF) == MsgBox::YesNo ? MsgBox::IdNo : MsgBox::IdOk;
    if (!boxScript_) return answer;
    // The box's own loop: the watches are served by a short timer meanwhile.
    const std::optional<TimerId> poll =
        modalDepth_++ == 0 ? std::optional(StartTimer(kModalPollMs, [this] { TakeUpPendingChange(); })) : std::nullopt;
    const BoxScript script = boxScript_;  // the script may set another one
    answer = script(shown);
    if (poll) StopTimer(*poll);
    if (--modalDepth_ == 0) TakeUpPendingChange();  // the window's own loop again
    return answer;
}

bool MemoryPlatform::StartCommand(std::string_view commandLine) {
    if (Faulty(Op::StartCommand, Hive::CurrentUser, commandLine)) return false;
    started_.emplace_back(commandLine);
    return true;
}

bool MemoryPlatform::ShellOpen(std::string_view path, std::string_view) {
    opened_.emplace_back(path);
    return FileExists(path);
}

bool MemoryPlatform::ShellStart(std::string_view path) {
    if (Faulty(Op::StartCommand, Hive::CurrentUser, path)) return false;
    shellStarted_.emplace_back(path);
    return FileExists(path);
}

TimerId MemoryPlatform::StartTimer(unsigned intervalMs, TimerCallback callback) {
    const TimerId id = nextTimer_++;
    timers_[id] = Timer{intervalMs, now_ + intervalMs, std::make_shared<TimerCallback>(std::move(callback))};
    return id;
}

void MemoryPlatform::StopTimer(TimerId id) {
    timers_.erase(id);
}

std::size_t MemoryPlatform::ActiveTimers() const {
    return timers_.size();
}

void MemoryPlatform::Advance(std::uint64_t ms) {
    const std::uint64_t target = now_ + ms;
    while (true) {
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.due <= target && (next == timers_.end() || it->second.due < next->second.due)) next = it;
        if (next == timers_.end()) break;
        now_ = std::max(now_, next->second.due);
        next->second.due += next->second.interval;
        auto callback = next->second.callback;  // survives a StopTimer inside the callback
        (*callback)();
    }
    now_ = std::max(now_, target);
}

// ------------------------------------------------------------------ locks and windows

class MemoryPlatform::MemLock final : public NamedLock {
public:
    MemLock(std::set<std::string>& locks, std::string name) : locks_(locks), name_(std::move(name)) {
        locks_.insert(name_);
    }
    ~MemLock() override { locks_.erase(name_); }

private:
    std::set<std::string>& locks_;
    std::string name_;
};

bool MemoryPlatform::LockExists(std::string_view name) {
    return locks_.count(std::string(name)) > 0;
}

std::unique_ptr<NamedLock> MemoryPlatform::CreateLock(std::string_view name) {
    return std::make_unique<MemLock>(locks_, std::string(name));
}

std::unique_ptr<NamedLock> MemoryPlatform::CreateLockOnce(std::string_view name, bool& existed) {
    existed = LockExists(name);
    if (existed) return nullptr;  // the other holder's object; this copy holds nothing
    return CreateLock(name);
}

class MemoryPlatform::WriterLock final : public NamedLock {
public:
    WriterLock(std::map<std::string, int>& locks, std::string key) : locks_(locks), key_(std::move(key)) {
        ++locks_[key_];
    }
    ~WriterLock() override {
        if (--locks_[key_] == 0) locks_.erase(key_);
    }

private:
    std::map<std::string, int>& locks_;
    std::string key_;
};

std::unique_ptr<NamedLock> MemoryPlatform::LockForWriting(std::string_view path, unsigned) {
    const std::string key = PathKey(path);
    if (heldElsewhere_.count(key)) return nullptr;
    if (!writerLocks_.count(key)) {
        ++locksTaken_[key];
        if (lockHook_) lockHook_(path);  // another writer finishes just before this one gets the lock
    }
    return std::make_unique<WriterLock>(writerLocks_, key);
}

void MemoryPlatform::HoldLockElsewhere(std::string_view path, bool held) {
    if (held)
        heldElsewhere_.insert(PathKey(path));
    else
        heldElsewhere_.erase(PathKey(path));
}

bool MemoryPlatform::WriterLockHeld(std::string_view path) const {
    return writerLocks_.count(PathKey(path)) > 0;
}

std::size_t MemoryPlatform::WritesWithoutLock(std::string_view path) const {
    const auto it = unlockedWrites_.find(PathKey(path));
    return it == unlockedWrites_.end() ? 0 : it->second;
}

std::size_t MemoryPlatform::WriterLocksTaken(std::string_view path) const {
    const auto it = locksTaken_.find(PathKey(path));
    return it == locksTaken_.end() ? 0 : it->second;
}

bool MemoryPlatform::RaiseWindowByTitle(std::string_view title) {
    if (!windows_.count(std::string(title))) return false;
    raised_.emplace_back(title);
    return true;
}

// ---------------------------------------------------------------- change watches

class MemoryPlatform::MemWatch final : public ChangeWatch {
public:
    MemWatch(MemoryPlatform& owner, std::uint64_t id) : owner_(owner), id_(id) {}
    ~MemWatch() override { owner_.watches_.erase(id_); }
    bool Armed() const override { return owner_.watchesArmed_; }

private:
    MemoryPlatform& owner_;
    std::uint64_t id_;
};

std::unique_ptr<ChangeWatch> MemoryPlatform::WatchPlaces(const std::vector<WatchPlace>& places,
                                                         ChangeCallback onChange) {
    if (!watchesEnabled_) return nullptr;
    const std::uint64_t id = nextWatch_++;
    watches_[id] = WatchState{places, std::make_shared<ChangeCallback>(std::move(onChange))};
    return std::make_unique<MemWatch>(*this, id);
}

std::vector<WatchPlace> MemoryPlatform::WatchedPlaces() const {
    std::vector<WatchPlace> places;
    for (const auto& [id, watch] : watches_) places.insert(places.end(), watch.places.begin(), watch.places.end());
    return places;
}

void MemoryPlatform::SignalChange() {
    if (modalDepth_ > 0) {
        changePending_ = true;
        return;
    }
    DeliverChange();
}

void MemoryPlatform::DeliverChange() {
    // A callback may end its watch or set a new one: call copies.
    std::vector<std::shared_ptr<ChangeCallback>> callbacks;
    for (const auto& [id, watch] : watches_) callbacks.push_back(watch.onChange);
    for (const auto& callback : callbacks) (*callback)();
}

void MemoryPlatform::SignalFolderChange(std::string_view path) {
    std::vector<std::shared_ptr<ChangeCallback>> callbacks;
    for (const auto& [id, watch] : watches_)
        if (std::any_of(watch.places.begin(), watch.places.end(), [&](const WatchPlace& place) {
                return place.kind == WatchPlace::Kind::Folder && PathKey(place.path) == PathKey(path);
            }))
            callbacks.push_back(watch.onChange);
    for (const auto& callback : callbacks) (*callback)();
}

// ---------------------------------------------------------------- what files are

namespace {
std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}
}  // namespace

void MemoryPlatform::SetEnvironment(std::string name, std::optional<std::string> value) {
    if (value)
        environment_[Upper(name)] = std::move(*value);
    else
        environment_.erase(Upper(name));
}

std::optional<std::string> MemoryPlatform::EnvironmentVariable(std::string_view name) {
    const auto it = environment_.find(Upper(name));
    if (it == environment_.end()) return std::nullopt;
    return it->second;
}

void MemoryPlatform::SetVersionFacts(std::string_view path, VersionFacts facts) {
    versions_[PathKey(path)] = std::move(facts);
}

void MemoryPlatform::SetSignature(std::string_view path, SignatureFacts facts) {
    signatures_[PathKey(path)] = std::move(facts);
}

std::optional<std::string> MemoryPlatform::HashForCatalog(std::string_view path, CatalogHash kind) {
    const auto it = files_.find(PathKey(path));
    if (it == files_.end()) return std::nullopt;
    // A stand-in for the hash: the kind and the bytes themselves.
    return std::string(kind == CatalogHash::Sha256 ? "sha256:" : "sha1:") + it->second.bytes;
}

void MemoryPlatform::AddToCatalog(std::string_view path, CatalogHash kind, SignatureFacts facts) {
    if (auto hash = HashForCatalog(path, kind)) catalog_[*hash] = std::move(facts);
}

std::optional<SignatureFacts> MemoryPlatform::VerifyCatalogSignature(std::string_view, std::string_view hash,
                                                                     CatalogHash) {
    const auto it = catalog_.find(std::string(hash));
    if (it == catalog_.end()) return std::nullopt;
    return it->second;
}

FileFacts MemoryPlatform::StatFile(std::string_view path) {
    ++fileLookups_;
    FileFacts facts;
    for (const auto& prefix : networkPrefixes_)
        if (path.size() >= prefix.size() && FoldCase(path.substr(0, prefix.size())) == FoldCase(prefix)) {
            facts.network = true;
            return facts;
        }
    const auto key = PathKey(path);
    if (const auto it = files_.find(key); it != files_.end()) {
        facts.exists = true;
        facts.size = it->second.bytes.size();
        facts.lastWrite = it->second.written;
    } else if (folders_.count(key)) {
        facts.exists = facts.directory = true;
    } else if (const auto under = files_.lower_bound(key + '\\');
               under != files_.end() && under->first.compare(0, key.size() + 1, key + '\\') == 0) {
        facts.exists = facts.directory = true;  // a folder that holds files is there
    }
    return facts;
}

std::optional<VersionFacts> MemoryPlatform::ReadVersionFacts(std::string_view path) {
    const auto it = versions_.find(PathKey(path));
    if (it == versions_.end() || !files_.count(PathKey(path))) return std::nullopt;
    return it->second;
}

class MemoryPlatform::MemHold final : public FileHold {
public:
    explicit MemHold(std::string stamp) : stamp_(std::move(stamp)) {}
    std::string Stamp() override { return stamp_; }
    std::string QuickStamp() override { return stamp_.rfind("usn:", 0) == 0 ? stamp_ : std::string(); }

private:
    std::string stamp_;
};

std::unique_ptr<FileHold> MemoryPlatform::HoldFile(std::string_view path) {
    const auto it = files_.find(PathKey(path));
    if (it == files_.end()) return nullptr;
    const File& f = it->second;
    if (changeJournal_) return std::make_unique<MemHold>("usn:" + std::to_string(f.id) + ":" + std::to_string(f.usn));
    // A stand-in for the content's hash: the bytes themselves.
    return std::make_unique<MemHold>("sha256:" + f.bytes);
}

bool MemoryPlatform::AdministratorsOnlyFolder(std::string_view path) {
    const std::string key = PathKey(path);
    for (const auto& folder : adminOnly_)
        if (key == folder ||
            (key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0 && key[folder.size()] == '\\'))
            return true;
    return false;
}

SignatureFacts MemoryPlatform::VerifyEmbeddedSignature(std::string_view path) {
    ++signatureChecks_;
    SignatureFacts facts;
    if (!files_.count(PathKey(path))) {
        facts.opened = false;
        return facts;
    }
    const auto it = signatures_.find(PathKey(path));
    if (it != signatures_.end()) return it->second;
    facts.code = 0x800B0100;  // TRUST_E_NOSIGNATURE
    return facts;
}

void MemoryPlatform::TakeUpPendingChange() {
    if (!changePending_) return;
    changePending_ = false;
    DeliverChange();
}

}  // namespace vantorell::platform
