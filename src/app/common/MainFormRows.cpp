// The main form's row menu, its keys and the layout kept between starts: the
// changes go through the grid's gestures as a double-click's do, the rest
// through the shell.
#include "app/common/MainForm.h"

#include "control/SelfProtection.h"
#include "identity/EntryFiles.h"
#include "identity/FileResolution.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "ui/RowActions.h"

namespace vantorell::app {
namespace {

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

}  // namespace

ui::RowFile MainForm::RowFileOf(int row, std::size_t index) {
    ui::RowFile file;
    file.publisher = grid_.Cell(ui::kColPublisher, row);
    if (const identity::Identity* id = IdentityOf(index)) {
        file.path = id->file;
        file.exists = id->fileExists;
        return file;
    }
    // Not identified yet: the file is named here, as the identification would.
    identity::FileJob job = identity::EntryJob(store_.Table(), index);
    if (!job.link.empty()) {
        const store::StartupEntry& e = store_.Table().entries[index];
        job.linkFile = text::JoinPath(store_.StartupFolderPath(e.location), e.name);
    }
    const identity::ResolvedFile resolved = identity::ResolveFile(platform_, job);
    if (resolved.item) return file;
    file.path = resolved.path;
    file.exists = resolved.facts ? resolved.facts->exists && !resolved.facts->directory
                                 : !file.path.empty() && platform_.files.FileExists(file.path);
    return file;
}

ui::RowMenu MainForm::RowMenuOf(int row) {
    const auto index = grid_.EntryNow(row, store_.Table());
    if (!index) return ui::RowMenuOf(store_, store_.Table().entries.size(), {}, std::nullopt);
    std::optional<std::string> own;
    if (gestures_.IsOwnEntry(row)) own = control::SelfProtectionMessage(platform_.processes.ExecutablePath());
    return ui::RowMenuOf(store_, *index, RowFileOf(row, *index), own);
}

void MainForm::OnRowAction(ui::RowAction action, int row) {
    switch (action) {
        case ui::RowAction::Switch: RunGesture([&] { gestures_.SLDblClick(ui::kColEnabled, row); }); return;
        case ui::RowAction::Confirm: RunGesture([&] { gestures_.SLDblClick(ui::kColConfirm, row); }); return;
        case ui::RowAction::Delay: RunGesture([&] { gestures_.SLDblClick(ui::kColDelay, row); }); return;
        case ui::RowAction::Delete: RunGesture([&] { gestures_.Button1Click(row); }); return;
        default: break;
    }
    const auto index = grid_.EntryNow(row, store_.Table());
    if (!index) return;
    // The menu offered only what applies; a key asks again.
    if (!RowMenuOf(row).Enabled(action)) return;
    const ui::RowFile file = RowFileOf(row, *index);
    const store::StartupEntry& e = store_.Table().entries[*index];
    platform::Shell& shell = platform_.shell;
    switch (action) {
        case ui::RowAction::OpenLocation:
            if (!shell.ShowInFolder(file.path)) throw AppError("Cannot open the folder of " + Quoted(file.path));
            break;
        case ui::RowAction::OpenRegistry:
            if (e.place && e.place->isFolder) {
                const std::string folder = store_.StartupFolderPath(e.location);
                const std::string link = text::JoinPath(folder, e.name);
                const bool shown = e.IsActive() && platform_.files.FileExists(link) ? shell.ShowInFolder(link)
                                                                                    : shell.ShellOpen(folder, "open");
                if (!shown) throw AppError("Cannot open " + Quoted(folder));
            } else if (!shell.OpenRegistryEditor(ui::RegistryEditorPath(store_, *index))) {
                throw AppError("Cannot start the Registry Editor");
            }
            break;
        case ui::RowAction::Properties:
            if (!shell.ShowProperties(file.path)) throw AppError("Cannot show the properties of " + Quoted(file.path));
            break;
        case ui::RowAction::Copy:
            if (!shell.CopyText(ui::RowCopyText(store_, *index, file)))
                throw AppError("Cannot put the row on the clipboard");
            break;
        default: break;
    }
}

void MainForm::OnRescan() {
    control_.Refresh();  // the grid refills itself from the new table
    // The files too: one may have come, gone or changed behind the same command.
    RequestIdentities(true);
}

void MainForm::OnColumnWidthChanged(int column, int width) {
    grid_.KeepColWidth(column, width);
}

void MainForm::ApplyLayout(const Options& options) {
    if (options.columnWidths.size() == ui::kGridColumnCount)
        for (int column = 0; column < ui::kGridColumnCount; ++column)
            grid_.KeepColWidth(column, options.columnWidths[static_cast<std::size_t>(column)]);
    windowPlace_ = options.window;
}

void MainForm::KeepLayout(Options& options) const {
    options.columnWidths.assign(grid_.KeptWidths().begin(), grid_.KeptWidths().end());
    // A window never shown this run is where the start put it, out of sight:
    // the place kept from before stands.
    const auto shownAt = windowShown_ && view_ ? view_->Placement() : std::nullopt;
    options.window = shownAt ? shownAt : windowPlace_;
}

void MainForm::PlaceWindow() {
    if (!windowPlace_ || !view_->PlaceAt(*windowPlace_)) view_->Centre();
}

}  // namespace vantorell::app
