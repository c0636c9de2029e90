// The rating lookup with any name and command: found exactly when an item
// equals the name without regard to case, whatever the bytes, and the rating
// is one of the four codes.
#include "FuzzInput.h"
#include "platform/memory/MemoryPlatform.h"
#include "ui/GridModel.h"
#include "ui/NameLists.h"

using namespace vantorell;

namespace {

platform::MemoryPlatform& Platform() {
    static platform::MemoryPlatform p;
    return p;
}

const ui::NameLists& Lists() {
    static const ui::NameLists lists = ui::NameLists::Builtin(Platform());
    return lists;
}

std::string AsciiUpper(std::string_view s) {
    std::string out(s);
    for (auto& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::Bytes(data, size);
    const auto nul = input.find('\0');
    const std::string_view name = input.substr(0, nul);
    const std::string_view command = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

    const auto& lists = Lists();
    for (const ui::NameList* list : {&lists.BPL, &lists.UPL, &lists.GPL}) {
        // Letter case of ASCII letters never matters.
        fuzz::Check(list->Contains(name) == list->Contains(AsciiUpper(name)));
    }
    const auto rating = ui::RateEntry(lists, name, command);
    fuzz::Check(rating == ui::kRatingNone || rating == ui::kRatingRed || rating == ui::kRatingBlue ||
                rating == ui::kRatingGreen);
    (void)ui::RatingKeys(name, command);

    // A list of the input's own pieces finds each of them.
    std::vector<std::string> pieces;
    for (std::size_t i = 0; i < input.size() && pieces.size() < 16; i += 7) pieces.emplace_back(input.substr(i, 7));
    std::vector<std::string_view> views(pieces.begin(), pieces.end());
    const ui::NameList own(Platform(), views);
    for (const auto& piece : pieces) fuzz::Check(own.Contains(piece));
    return 0;
}
