#include "ui/GridModel.h"

#include <algorithm>

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

}  // namespace

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

GridModel::GridModel(const NameLists& lists) : lists_(&lists), rows_(1) {
    SetTitles();
}

bool GridModel::Inside(int column, int row, std::size_t rows) {
    return column >= 0 && column < kGridColumnCount && row >= 0 && static_cast<std::size_t>(row) < rows;
}

const std::string& GridModel::Cell(int column, int row) const {
    if (!Inside(column, row, rows_.size())) return kEmptyCell;
    return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void GridModel::SetCell(int column, int row, std::string_view text) {
    if (!Inside(column, row, rows_.size())) return;
    rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
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
    std::size_t shown = 0;
    for (std::size_t pos = 0; pos < n; ++pos)
        if (!hiddenAt[pos]) rowAt[pos] = ++shown;

    bool rerate = false;
    if (rows_.size() != shown + 1) {
        rows_.resize(shown + 1);
        rerate = true;
    }

    // The scan gives every entry its own position in 0..n-1. Should a position
    // ever fall outside or repeat, the entry is left out and a row that no entry
    // wrote is blanked, so that no row keeps a stale index.
    std::vector<bool> written(shown + 1, false);
    windowsOff_.assign(shown + 1, false);
    marks_.assign(shown + 1, FileMark::None);
    std::vector<std::optional<std::string>> services(shown + 1);
    for (std::size_t i = 0; i < n; ++i) {
        const store::StartupEntry& entry = table.entries[i];
        if (entry.position < 0 || static_cast<std::size_t>(entry.position) >= n) continue;
        if (files[i] && files[i]->hidden) continue;
        const std::size_t r = rowAt[static_cast<std::size_t>(entry.position)];
        if (r == 0) continue;
        Row& row = rows_[r];
        written[r] = true;
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
    }
    for (std::size_t r = 1; r <= shown; ++r) {
        if (!written[r]) rows_[r] = Row{};
        if (rows_[r][kColRating].empty()) rerate = true;
    }
    if (services != services_) rerate = true;
    services_ = std::move(services);
    ++version_;
    if (rerate) RateRows();
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
    int index = 0;
    if (!text::ParseInt(Cell(kColIndex, row), index) || index < 0) return std::nullopt;
    return static_cast<std::size_t>(index);
}

std::optional<int> GridModel::RowOfIndex(std::size_t index) const {
    for (int r = RowCount() - 1; r >= 1; --r) {
        if (IndexOfRow(r) == index) return r;
    }
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
    return row >= 0 && static_cast<std::size_t>(row) < windowsOff_.size() && windowsOff_[static_cast<std::size_t>(row)];
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
    return row >= 0 && static_cast<std::size_t>(row) < marks_.size() ? marks_[static_cast<std::size_t>(row)]
                                                                     : FileMark::None;
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
        if (const auto index = IndexOfRow(static_cast<int>(r))) refill = hiddenNow(*index);
    if (refill) {
        FillGrid(table);
        return true;
    }
    bool changed = false;
    marks_.resize(rows_.size(), FileMark::None);
    for (std::size_t r = 1; r < rows_.size(); ++r) {
        const auto index = IndexOfRow(static_cast<int>(r));
        const auto file = index ? fileProvider_(*index) : std::nullopt;
        std::string publisher = file ? file->publisher : std::string();
        std::string impact = file ? file->impact : std::string();
        const FileMark mark = file ? file->mark : FileMark::None;
        if (rows_[r][kColPublisher] == publisher && rows_[r][kColImpact] == impact && marks_[r] == mark) continue;
        rows_[r][kColPublisher] = std::move(publisher);
        rows_[r][kColImpact] = std::move(impact);
        marks_[r] = mark;
        changed = true;
    }
    if (changed) ++version_;
    return changed;
}

}  // namespace vantorell::ui
