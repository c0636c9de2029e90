// What an entry's file is: the file it starts, what the file says of itself,
// and whether its signature holds. Portable; the platform answers the
// questions about the file (platform::FileIdentity).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantorell::identity {

// The one state of a file's signature.
enum class SignatureState {
    Verified,    // signed, intact, chains to a trusted root
    Unsigned,    // no signature, neither embedded nor in a catalog
    Invalid,     // the signature does not match the file
    Untrusted,   // intact, but no trusted root, or not for code signing
    Distrusted,  // the signer is in the "Disallowed" store
    Missing,     // no file
    Unknown,     // not checked; `reason` says why
};

// "verified", "unsigned", ... as the console and the cache write them.
std::string_view StateWord(SignatureState state);
// The state of a word; Unknown for any other text.
SignatureState StateOfWord(std::string_view word);

// Why a file is Unknown.
inline constexpr std::string_view kReasonNetwork = "network file";
inline constexpr std::string_view kReasonCannotOpen = "the file cannot be opened";
inline constexpr std::string_view kReasonTooLarge = "too large to check at rest";
inline constexpr std::string_view kReasonNotChecked = "not checked yet";
inline constexpr std::string_view kReasonNoTrustCheck = "the system's signature check cannot be loaded";
inline constexpr std::string_view kReasonCheckFailed = "the check did not finish";
// A shortcut whose target is a shell item, not a file: live, but nothing to check.
inline constexpr std::string_view kReasonPackagedApp = "packaged app";
inline constexpr std::string_view kReasonShellItem = "shell item, not a file";

// What an entry starts, as the scan and the records give it.
struct FileJob {
    std::string command;    // a command line, or a shortcut's target
    std::string arguments;  // a shortcut's arguments
    std::string linkFile;   // an active shortcut's .lnk (read again for its arguments and item target)
    bool shortcut = false;
    std::string link;  // an active shortcut's place code and name, which stand for its .lnk in the key

    // Equal for two jobs that name the same thing to start.
    std::string Key() const;
};

struct Identity {
    std::string file;  // the file that runs; empty when none can be named
    std::string host;  // the program that runs it (rundll32.exe, wscript.exe, ...); empty when none
    bool fileExists = false;
    SignatureState state = SignatureState::Unknown;
    std::string reason;  // for Unknown; for Invalid and Distrusted what was found
    std::string signer;  // the signing certificate's common name
    std::string issuer;  // the common name of its issuer
    // The SHA-1 and SHA-256 of the signing certificate, lower-case hex.
    std::string thumbprintSha1, thumbprintSha256;
    std::string company, description, fileVersion;
    // `file` is a host that runs code from its command line: whatever its own
    // signature, nobody vouches for what it runs.
    bool inlineCode = false;

    friend bool operator==(const Identity&, const Identity&) = default;
};

inline constexpr std::string_view kNotVerifiedPrefix = "(not verified) ";
inline constexpr std::string_view kInlineCode = "runs code from its command line";
inline constexpr std::string_view kFileNotFound = "File not found";

// The grid's Publisher text: "runs code from its command line" for a host
// that does; the verified signer; "(not verified) " and the company for an
// unsigned or untrusted file; "File not found" for a missing one; the state's
// word otherwise.
std::string PublisherText(const Identity& identity);
// Drawn red whatever the name lists say: the signature is broken or distrusted.
bool Alarming(const Identity& identity);
// Drawn grey: the entry's file is gone.
bool Dead(const Identity& identity);
// Whether a file is Windows' own: it lies under the Windows folder `windows`
// (no ".." leading out of it) and is verified as signed by Microsoft for
// Windows ("Microsoft Windows" or "Microsoft Windows Publisher", issued by a
// "Microsoft Windows" certificate authority), embedded or by catalog, and is
// no host running code from its command line. An unknown Windows folder
// makes nothing Windows' own.
bool WindowsOwn(const Identity& identity, std::string_view windows);

// The lines of a row's info tip: file, host, description, version, publisher, state.
std::string IdentityTip(const Identity& identity);

}  // namespace vantorell::identity
