#include "identity/IdentityHelper.h"

#include "identity/FieldText.h"
#include "identity/Identifier.h"
#include "identity/IdentityCache.h"

namespace vantorell::identity {
namespace {

constexpr std::string_view kRequestHeader = "Vantorell identify 1";
constexpr std::string_view kReplyHeader = "Vantorell identified 2";
constexpr std::size_t kJobFields = 5;
constexpr std::size_t kReplyFields = 6 + kVerdictFields;

bool Flag(std::string_view field, bool& value) {
    if (field != "0" && field != "1") return false;
    value = field == "1";
    return true;
}

}  // namespace

std::string EncodeIdentifyRequest(const std::vector<FileJob>& jobs, std::string_view cachePath) {
    std::string out(kRequestHeader);
    if (!cachePath.empty()) out.append("\t").append(Escape(cachePath));
    out += '\n';
    for (const FileJob& job : jobs) {
        out.append(Escape(job.command)).append("\t").append(Escape(job.arguments)).append("\t");
        out.append(Escape(job.linkFile)).append(job.shortcut ? "\t1\t" : "\t0\t").append(Escape(job.link));
        out += '\n';
    }
    return out;
}

std::optional<std::vector<FileJob>> DecodeIdentifyRequest(std::string_view bytes, std::string* cachePath) {
    auto end = bytes.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const auto header = Split(bytes.substr(0, end), '\t');
    std::string cache;
    if (header.size() > 2 || header[0] != kRequestHeader || (header.size() == 2 && !Unescape(header[1], cache)))
        return std::nullopt;
    if (cachePath) *cachePath = std::move(cache);
    std::vector<FileJob> jobs;
    for (std::string_view rest = bytes.substr(end + 1); !rest.empty(); rest.remove_prefix(end + 1)) {
        end = rest.find('\n');
        if (end == std::string_view::npos) return std::nullopt;
        const auto fields = Split(rest.substr(0, end), '\t');
        FileJob job;
        if (fields.size() != kJobFields || !Unescape(fields[0], job.command) || !Unescape(fields[1], job.arguments) ||
            !Unescape(fields[2], job.linkFile) || !Flag(fields[3], job.shortcut) || !Unescape(fields[4], job.link))
            return std::nullopt;
        jobs.push_back(std::move(job));
    }
    return jobs;
}

std::string IdentifyReplyHeader() {
    return std::string(kReplyHeader) + '\n';
}

bool IsIdentifyReplyHeader(std::string_view line) {
    return line == kReplyHeader;
}

// A reply line: file, host, whether it exists, the reason, the stamp, whether
// it runs code from its command line, then the verdict.
std::string IdentifyReplyLine(const Identity& id, std::string_view stamp) {
    std::string line = Escape(id.file) + '\t' + Escape(id.host) + '\t' + (id.fileExists ? "1" : "0") + '\t' +
                       Escape(id.reason) + '\t' + Escape(stamp) + '\t' + (id.inlineCode ? "1" : "0") + '\t';
    AppendVerdict(line, id);
    return line + '\n';
}

bool DecodeIdentifyReplyLine(std::string_view line, Identity& id, std::string& stamp) {
    const auto fields = Split(line, '\t');
    Identity read;
    std::string readStamp;
    if (fields.size() != kReplyFields || !Unescape(fields[0], read.file) || !Unescape(fields[1], read.host) ||
        !Flag(fields[2], read.fileExists) || !Unescape(fields[3], read.reason) || !Unescape(fields[4], readStamp) ||
        !Flag(fields[5], read.inlineCode) || !ReadVerdict(std::span(fields).subspan(6), read))
        return false;
    id = std::move(read);
    stamp = std::move(readStamp);
    return true;
}

bool ServeIdentification(const IdentityFacets& platform, std::string_view bytes,
                         const std::function<void(std::string_view)>& write) {
    std::string cachePath;
    const auto jobs = DecodeIdentifyRequest(bytes, &cachePath);
    if (!jobs) return false;
    // What the caller's cache holds, read and never written here: a file whose
    // bytes are those of a stamp in it is answered from it.
    IdentityCache cache(platform, cachePath);
    cache.Load();
    Identifier identifier(platform, cache);
    write(IdentifyReplyHeader());
    MissingFolders folders;
    for (const FileJob& job : *jobs) {
        std::string stamp;
        const Identity id = identifier.Identify(job, false, &stamp, &folders);
        write(IdentifyReplyLine(id, stamp));
    }
    return true;
}

}  // namespace vantorell::identity
