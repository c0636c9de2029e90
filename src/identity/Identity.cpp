#include "identity/Identity.h"

#include <array>

#include "base/Text.h"

namespace vantorell::identity {
namespace {

constexpr std::array<std::string_view, 7> kWords{"verified",   "unsigned", "invalid", "untrusted",
                                                 "distrusted", "missing",  "unknown"};

}  // namespace

std::string_view StateWord(SignatureState state) {
    return kWords[static_cast<std::size_t>(state)];
}

SignatureState StateOfWord(std::string_view word) {
    for (std::size_t i = 0; i < kWords.size(); ++i)
        if (kWords[i] == word) return static_cast<SignatureState>(i);
    return SignatureState::Unknown;
}

std::string FileJob::Key() const {
    std::string key(shortcut ? "L" : "C");
    key.append(command).append(1, '\n').append(arguments).append(1, '\n').append(link);
    return key;
}

std::string PublisherText(const Identity& id) {
    if (id.inlineCode && id.state != SignatureState::Missing) return std::string(kInlineCode);
    switch (id.state) {
        case SignatureState::Verified: return id.signer;
        case SignatureState::Unsigned:
        case SignatureState::Untrusted: return std::string(kNotVerifiedPrefix) + id.company;
        case SignatureState::Missing: return std::string(kFileNotFound);
        case SignatureState::Unknown:
            if (id.reason == kReasonPackagedApp || id.reason == kReasonShellItem) return "(" + id.reason + ")";
            return std::string(StateWord(id.state));
        default: return std::string(StateWord(id.state));
    }
}

bool Alarming(const Identity& id) {
    return id.state == SignatureState::Invalid || id.state == SignatureState::Distrusted;
}

bool Dead(const Identity& id) {
    return id.state == SignatureState::Missing;
}

std::string IdentityTip(const Identity& id) {
    std::string tip = "File: " + (id.file.empty() ? std::string("(none)") : id.file);
    if (!id.host.empty()) tip += "\nStarted by: " + id.host;
    if (!id.description.empty()) tip += "\nDescription: " + id.description;
    if (!id.fileVersion.empty()) tip += "\nVersion: " + id.fileVersion;
    tip += "\nPublisher: " + PublisherText(id);
    tip += "\nSignature: " + std::string(StateWord(id.state));
    switch (id.state) {
        case SignatureState::Invalid:
            tip += " - the file was changed after it was signed; it is not what its publisher made";
            break;
        case SignatureState::Distrusted:
            tip += " - its signer's certificate is in the \"Disallowed\" store: Windows is told not to trust it";
            break;
        case SignatureState::Untrusted:
            tip += " - signed, but not by a certificate this computer trusts for programs";
            break;
        default: break;
    }
    if (!id.reason.empty()) tip += " (" + id.reason + ")";
    if (id.inlineCode) tip += "\nThe host " + std::string(kInlineCode) + ": its signature says nothing of that code";
    return tip;
}

bool WindowsOwn(const Identity& identity, std::string_view windows) {
    if (identity.state != SignatureState::Verified || identity.inlineCode || windows.empty()) return false;
    if (identity.signer != "Microsoft Windows" && identity.signer != "Microsoft Windows Publisher") return false;
    if (!identity.issuer.starts_with("Microsoft Windows ")) return false;
    while (windows.size() > 3 && windows.back() == '\\') windows.remove_suffix(1);
    const std::string_view file = identity.file;
    if (file.size() <= windows.size() + 1 || file[windows.size()] != '\\' ||
        !text::EqualsAsciiNoCase(file.substr(0, windows.size()), windows))
        return false;
    return file.find("\\..") == std::string_view::npos && file.find("/") == std::string_view::npos;
}

}  // namespace vantorell::identity
