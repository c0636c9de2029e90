#include "ui/GridModel.h"

#include <algorithm>

#include "impact/Impact.h"
#include "platform/Text.h"
#include "store/AutostartStore.h"

namespace vantorell::ui {
namespace {

constexpr std::string_view kShortcutSuffix = ".lnk";
constexpr unsigned char kLastBlankCode = 32;  // codes 0 to 32 are trimmed from a command

std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= kLastBlankCode; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

const std::string kEmptyCell;

// The table index a row's index cell holds.
std::optional<std::size_t> IndexIn(const std::string& cell) {
    int index = 0;
    if (!text::ParseInt(cell, index) || index < 0) return std::nullopt;
    return static_cast<std::size_t>(index);
}

std::string AsciiFolded(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = text::AsciiLower(c);
    return folded;
}

// The sort's rank of the rows' own words: switched off before handed over to
// Vantorell before on; a delay by its seconds; the impact from none to high.
long long StateRank(std::string_view state, bool windowsOff) {
    if (windowsOff || state == store::kStateDisabled) return 0;
    if (state == store::kStateDeferred) return 1;
    return state == store::kStateActive ? 2 : -1;
}
long long ImpactRank(std::string_view impact) {
    if (impact == impact::LevelText(impact::Level::High)) return 3;
    if (impact == impact::LevelText(impact::Level::Medium)) return 2;
    if (impact == impact::LevelText(impact::Level::Low)) return 1;
    return 0;
}

}  // namespace

bool SortableColumn(int column) {
    return column >= 0 && column < kGridColumnCount && kGridColumnWidths[static_cast<std::size_t>(column)] > 0;
}

GridSort NextSort(GridSort sort, int column) {
    if (!SortableColumn(column)) return sort;
    if (sort.column != column || sort.direction == SortDirection::AsListed) return {column, SortDirection::Up};
    if (sort.direction == SortDirection::Up) return {column, SortDirection::Down};
    return {column, SortDirection::AsListed};
}

std::string HiddenRowsText(std::size_t windowsOwn, std::size_t filtered) {
    const std::size_t total = windowsOwn + filtered;
    if (total == 0) return {};
    std::string text = std::to_string(total) + (total == 1 ? " row hidden: " : " rows hidden: ");
    if (filtered == 0) return text + "Windows' own";
    if (windowsOwn == 0) return text + "filter";
    return text + std::to_string(windowsOwn) + " Windows' own, " + std::to_string(filtered) + " filter";
}

std::array<std::string, 4> RatingKeys(std::string_view name, std::string_view command) {
    const std::string_view trimmed = TrimBlanks(command);
    const std::size_t separator = trimmed.find_last_of("\\:");
    const std::string_view fileName = separator == std::string_view::npos ? trimmed : trimmed.substr(separator + 1);
    // The file-name part holds no '\' or ':', so its last '.' is the last of the three.
    const std::size_t dot = fileName.rfind('.');
    const std::string_view bareName = dot == std::string_view::npos ? fileName : fileName.substr(0, dot);
    return {std::string(name) + std::string(kShortcutSuffix), std::string(name), std::string(fileName),
            std::string(bareName)};
}

std::string_view RateEntry(const NameLists& lists, std::string_view name, std::string_view command, bool service) {
    const auto keys = RatingKeys(name, command);
    return service ? lists.Rate(std::span(keys).subspan(2)) : lists.Rate(keys);
}

std::optional<std::string> ServiceRated(const store::StartupEntry& entry) {
    if (!entry.place || entry.place->Kind() != store::PlaceKind::Services) return std::nullopt;
    if (entry.service && !entry.service->serviceDll.empty()) return entry.service->serviceDll;
    // The shared host itself says nothing of the service it runs.
    std::string lowered = entry.command;
    for (char& c : lowered) c = text::AsciiLower(c);
    if (lowered.find("\\svchost.exe") != std::string::npos) return std::string();
    return entry.command;
}

CellDrawing DecideCellDrawing(int column, std::string_view text, std::string_view rating, bool highlight, bool inTray,
                              FileMark mark) {
    if (inTray) return {CellPaint::Nothing};
    // The signature says more than the name: a name on the green list whose
    // file was tampered with is still red.
    if (column == kColName && mark == FileMark::Alarm) return {CellPaint::ColouredText, kRedName};
    if (column == kColName && mark == FileMark::Dead) return {CellPaint::ColouredText, kGreyName};
    if (column == kColName && highlight) {
        if (rating == kRatingRed) return {CellPaint::ColouredText, kRedName};
        if (rating == kRatingBlue) return {CellPaint::ColouredText, kBlueName};
        if (rating == kRatingGreen) return {CellPaint::ColouredText, kGreenName};
    }
    if (column == kColEnabled) {
        if (text == store::kStateDeferred) return {CellPaint::Image, {}, CheckImage::CBB};
        if (text == store::kStateActive) return {CellPaint::Image, {}, CheckImage::CB};
        if (text == store::kStateDisabled) return {CellPaint::Image, {}, CheckImage::CBU};
    }
    if (column == kColConfirm) {
        if (text == "1") return {CellPaint::Image, {}, CheckImage::CB};
        if (text == "0") return {CellPaint::Image, {}, CheckImage::CBU};
    }
    return {CellPaint::OrdinaryText};
}

GridModel::GridModel(const NameLists& lists, platform::Locale* locale) : lists_(&lists), locale_(locale), rows_(1) {
    SetTitles();
}

std::size_t GridModel::Listed(int row) const {
    if (row == 0) return 0;
    if (row < 0 || static_cast<std::size_t>(row) > shown_.size()) return rows_.size();
    return shown_[static_cast<std::size_t>(row) - 1];
}

bool GridModel::Inside(int column, int row, std::size_t rows) {
    return column >= 0 && column < kGridColumnCount && row >= 0 && static_cast<std::size_t>(row) < rows;
}

const std::string& GridModel::Cell(int column, int row) const {
    if (!Inside(column, row, shown_.size() + 1)) return kEmptyCell;
    return rows_[Listed(row)][static_cast<std::size_t>(column)];
}

void GridModel::SetCell(int column, int row, std::string_view text) {
    if (!Inside(column, row, shown_.size() + 1)) return;
    const std::size_t r = Listed(row);
    rows_[r][static_cast<std::size_t>(column)] = text;
    if (r < folded_.size()) folded_[r].reset();
    ++version_;
}

int GridModel::ColWidth(int column) const {
    if (column < 0 || column >= kGridColumnCount) return 0;
    return widths_[static_cast<std::size_t>(column)];
}

void GridModel::SetColWidth(int column, int width) {
    if (column < 0 || column >= kGridColumnCount) return;
    widths_[static_cast<std::size_t>(column)] = width;
    ++version_;
}

void GridModel::KeepColWidth(int column, int width) {
    if (column < 0 || column >= kGridColumnCount) return;
    const auto c = static_cast<std::size_t>(column);
    if (kGridColumnWidths[c] == 0) return;
    kept_[c] = std::clamp(width, kMinColumnWidth, kMaxColumnWidth);
    widths_[c] = kept_[c];
    ++version_;
}

void GridModel::SetTitles() {
    for (std::size_t c = 0; c < kGridColumnTitles.size(); ++c) rows_[0][c] = kGridColumnTitles[c];
}

void GridModel::FillGrid(const store::EntryTable& table) {
    widths_ = kept_;
    SetTitles();

    const std::size_t n = table.entries.size();
    // What is known of each entry's file; the hidden entries give no row, and
    // the rows close up over their positions.
    std::vector<std::optional<FileFacts>> files(n);
    std::vector<bool> hiddenAt(n, false);
    hidden_.clear();
    for (std::size_t i = 0; i < n; ++i) {
        if (fileProvider_) files[i] = fileProvider_(i);
        if (!files[i] || !files[i]->hidden) continue;
        hidden_.push_back(i);
        const int position = table.entries[i].position;
        if (position >= 0 && static_cast<std::size_t>(position) < n)
            hiddenAt[static_cast<std::size_t>(position)] = true;
    }
    std::vector<std::size_t> rowAt(n, 0);
    std::size_t listed = 0;
    for (std::size_t pos = 0; pos < n; ++pos)
        if (!hiddenAt[pos]) rowAt[pos] = ++listed;

    bool rerate = false;
    if (rows_.size() != listed + 1) {
        rows_.resize(listed + 1);
        rerate = true;
    }

    // The scan gives every entry its own position in 0..n-1. Should a position
    // ever fall outside or repeat, the entry is left out and a row that no entry
    // wrote is blanked, so that no row keeps a stale index.
    std::vector<bool> written(listed + 1, false);
    windowsOff_.assign(listed + 1, false);
    marks_.assign(listed + 1, FileMark::None);
    keys_.assign(listed + 1, std::nullopt);
    // A row's folded texts are kept while what they are made of stays.
    places_.resize(listed + 1, nullptr);
    locations_.resize(listed + 1);
    folded_.resize(listed + 1);
    if (twoViews_ != table.twoViews) folded_.assign(listed + 1, std::nullopt);
    twoViews_ = table.twoViews;
    std::vector<std::optional<std::string>> services(listed + 1);
    for (std::size_t i = 0; i < n; ++i) {
        const store::StartupEntry& entry = table.entries[i];
        if (entry.position < 0 || static_cast<std::size_t>(entry.position) >= n) continue;
        if (files[i] && files[i]->hidden) continue;
        const std::size_t r = rowAt[static_cast<std::size_t>(entry.position)];
        if (r == 0) continue;
        Row& row = rows_[r];
        written[r] = true;
        keys_[r] = control::KeyOfEntry(table, i);
        const std::string& publisher = files[i] ? files[i]->publisher : kEmptyCell;
        if (row[kColName] != entry.name || row[kColCommand] != entry.command || row[kColPublisher] != publisher ||
            locations_[r] != entry.location || places_[r] != entry.place)
            folded_[r].reset();
        row[kColEnabled] = store::StateText(entry.state);
        windowsOff_[r] = entry.IsActive() && entry.windowsOff;
        services[r] = ServiceRated(entry);
        if (row[kColName] != entry.name) {
            row[kColName] = entry.name;
            rerate = true;
        }
        row[kColIndex] = text::ToDecimal(static_cast<long long>(i));
        row[kColConfirm] = entry.confirm.Text();
        row[kColDelay] = entry.delay.Text();
        row[kColCommand] = entry.command;
        row[kColPublisher] = files[i] ? files[i]->publisher : std::string();
        row[kColImpact] = files[i] ? files[i]->impact : std::string();
        marks_[r] = files[i] ? files[i]->mark : FileMark::None;
        places_[r] = entry.place;
        locations_[r] = entry.location;
    }
    for (std::size_t r = 1; r <= listed; ++r) {
        if (!written[r]) {
            rows_[r] = Row{};
            places_[r] = nullptr;
            locations_[r].clear();
            folded_[r].reset();
        }
        if (rows_[r][kColRating].empty()) rerate = true;
    }
    if (services != services_) rerate = true;
    services_ = std::move(services);
    ++version_;
    if (rerate) RateRows();
    Arrange();
    if (filled_) filled_();
}

void GridModel::RateRows() {
    for (std::size_t r = 1; r < rows_.size(); ++r) {
        Row& row = rows_[r];
        const bool service = r < services_.size() && services_[r];
        row[kColRating] = RateEntry(*lists_, row[kColName], service ? *services_[r] : row[kColCommand], service);
    }
    ++version_;
}

std::optional<std::size_t> GridModel::IndexOfRow(int row) const {
    if (row < 1 || row >= RowCount()) return std::nullopt;
    return IndexIn(Cell(kColIndex, row));
}

std::optional<int> GridModel::RowOfIndex(std::size_t index) const {
    for (int r = RowCount() - 1; r >= 1; --r) {
        if (IndexOfRow(r) == index) return r;
    }
    return std::nullopt;
}

const control::EntryKey* GridModel::KeyOfRow(int row) const {
    if (row < 1) return nullptr;
    const std::size_t listed = Listed(row);
    if (listed >= keys_.size() || !keys_[listed]) return nullptr;
    return &*keys_[listed];
}

std::optional<std::size_t> GridModel::EntryNow(int row, const store::EntryTable& table) const {
    const auto index = IndexOfRow(row);
    const control::EntryKey* key = KeyOfRow(row);
    if (!index || !key) return std::nullopt;
    return control::FindEntry(table, *key, *index);
}

std::optional<int> GridModel::RowOfKey(const control::EntryKey& key) const {
    for (std::size_t r = 0; r < shown_.size(); ++r)
        if (shown_[r] < keys_.size() && keys_[shown_[r]] == key) return static_cast<int>(r + 1);
    return std::nullopt;
}

void GridModel::SetHighlight(bool checked) {
    if (checked == highlight_) return;
    highlight_ = checked;
    HLClick();
}

void GridModel::HLClick() {
    ++version_;
    if (repaint_) repaint_();
}

bool GridModel::WindowsOff(int row) const {
    const std::size_t r = Listed(row);
    return r < windowsOff_.size() && windowsOff_[r];
}

std::string GridModel::InfoTip(int row) const {
    const auto index = IndexOfRow(row);
    return index && tipProvider_ ? tipProvider_(*index) : std::string();
}

CellDrawing GridModel::DrawCell(int column, int row, bool inTray) const {
    if (!inTray && column == kColEnabled && WindowsOff(row)) return {CellPaint::Image, {}, CheckImage::CBW};
    return DecideCellDrawing(column, Cell(column, row), Cell(kColRating, row), highlight_, inTray, Mark(row));
}

FileMark GridModel::Mark(int row) const {
    const std::size_t r = Listed(row);
    return r < marks_.size() ? marks_[r] : FileMark::None;
}

bool GridModel::RefreshFiles(const store::EntryTable& table) {
    if (!fileProvider_) return false;
    const auto hiddenNow = [&](std::size_t index) {
        const auto file = fileProvider_(index);
        return file && file->hidden;
    };
    // An entry to be hidden or shown now changes the rows themselves.
    bool refill = std::any_of(hidden_.begin(), hidden_.end(), [&](std::size_t i) { return !hiddenNow(i); });
    for (std::size_t r = 1; r < rows_.size() && !refill; ++r)
        if (const auto index = IndexIn(rows_[r][kColIndex])) refill = hiddenNow(*index);
    if (refill) {
        FillGrid(table);
        return true;
    }
    bool changed = false;
    marks_.resize(rows_.size(), FileMark::None);
    folded_.resize(rows_.size());
    for (std::size_t r = 1; r < rows_.size(); ++r) {
        const auto index = IndexIn(rows_[r][kColIndex]);
        const auto file = index ? fileProvider_(*index) : std::nullopt;
        std::string publisher = file ? file->publisher : std::string();
        std::string impact = file ? file->impact : std::string();
        const FileMark mark = file ? file->mark : FileMark::None;
        if (rows_[r][kColPublisher] == publisher && rows_[r][kColImpact] == impact && marks_[r] == mark) continue;
        if (rows_[r][kColPublisher] != publisher) folded_[r].reset();
        rows_[r][kColPublisher] = std::move(publisher);
        rows_[r][kColImpact] = std::move(impact);
        marks_[r] = mark;
        changed = true;
    }
    if (!changed) return false;
    ++version_;
    // What the rows are put in order or filtered by may have changed.
    const bool sortedByFile =
        sort_.direction != SortDirection::AsListed && (sort_.column == kColPublisher || sort_.column == kColImpact);
    if (sortedByFile)
        Arrange();
    else if (!foldedFilter_.empty())
        PickShown();
    return true;
}

std::string GridModel::Fold(std::string_view text) const {
    return locale_ ? locale_->FoldCase(text) : AsciiFolded(text);
}

void GridModel::SetFilter(std::string_view text) {
    filter_ = text;
    foldedFilter_ = Fold(text);
    PickShown();
    ++version_;
}

void GridModel::SetSort(GridSort sort) {
    if (!SortableColumn(sort.column)) sort = GridSort{};
    sort_ = sort;
    Arrange();
    ++version_;
}

void GridModel::Arrange() {
    sorted_.resize(rows_.size() - 1);
    for (std::size_t r = 1; r < rows_.size(); ++r) sorted_[r - 1] = r;
    if (sort_.direction != SortDirection::AsListed) {
        const auto c = static_cast<std::size_t>(sort_.column);
        // Each row's rank in the column, alike rows the same rank.
        std::vector<long long> rank(rows_.size(), 0);
        if (c == kColName || c == kColCommand || c == kColPublisher) {
            std::vector<const std::string*> texts;
            texts.reserve(sorted_.size());
            for (std::size_t r : sorted_) texts.push_back(&rows_[r][c]);
            std::vector<int> order;
            if (locale_) {
                order = text::OrderNoCase(*locale_, texts);
            } else {
                std::vector<std::string> folded;
                for (const std::string* t : texts) folded.push_back(AsciiFolded(*t));
                order.resize(texts.size());
                for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
                std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
                    return folded[static_cast<std::size_t>(a)] < folded[static_cast<std::size_t>(b)];
                });
            }
            const auto same = [&](const std::string& a, const std::string& b) {
                return locale_ ? locale_->CompareNoCase(a, b) == 0 : AsciiFolded(a) == AsciiFolded(b);
            };
            long long k = 0;
            for (std::size_t i = 0; i < order.size(); ++i) {
                const std::size_t r = sorted_[static_cast<std::size_t>(order[i])];
                if (i > 0 && !same(*texts[static_cast<std::size_t>(order[i - 1])], rows_[r][c])) ++k;
                rank[r] = k;
            }
        } else {
            for (std::size_t r : sorted_) {
                const std::string& cell = rows_[r][c];
                int number = -1;
                switch (c) {
                    case kColEnabled: rank[r] = StateRank(cell, windowsOff_[r]); break;
                    case kColImpact: rank[r] = ImpactRank(cell); break;
                    default: rank[r] = text::ParseInt(cell, number) ? number : -1; break;
                }
            }
        }
        const bool down = sort_.direction == SortDirection::Down;
        std::stable_sort(sorted_.begin(), sorted_.end(),
                         [&](std::size_t a, std::size_t b) { return down ? rank[a] > rank[b] : rank[a] < rank[b]; });
    }
    PickShown();
}

void GridModel::PickShown() {
    if (foldedFilter_.empty()) {
        shown_ = sorted_;
        return;
    }
    shown_.clear();
    for (std::size_t r : sorted_)
        if (Matches(r)) shown_.push_back(r);
}

bool GridModel::Matches(std::size_t r) {
    if (!folded_[r]) {
        const Row& row = rows_[r];
        std::string where = places_[r] ? store::PlaceWhere(*places_[r], {}, twoViews_) : std::string();
        // One text, the fields apart by a line break that no filter holds.
        folded_[r] = Fold(row[kColName] + '\n' + row[kColCommand] + '\n' + row[kColPublisher] + '\n' + locations_[r] +
                          '\n' + where);
    }
    return folded_[r]->find(foldedFilter_) != std::string::npos;
}

}  // namespace vantorell::ui
