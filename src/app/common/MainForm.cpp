#include "app/common/MainForm.h"

#include <algorithm>

#include "identity/EntryFiles.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "ui/EntryTip.h"

namespace vantorell::app {

namespace {

// Shows the grid again after a handler, whether it ended normally or with an error.
class RefreshAtEnd {
public:
    explicit RefreshAtEnd(ui::MainView* view) : view_(view) {}
    ~RefreshAtEnd() {
        if (view_) view_->RefreshGrid();
    }
    RefreshAtEnd(const RefreshAtEnd&) = delete;
    RefreshAtEnd& operator=(const RefreshAtEnd&) = delete;

private:
    ui::MainView* view_;
};

// AutoKill's question when a machine-wide entry came back and this window
// lacks the rights to take it out again.
std::string ComebackQuestion(std::string_view name) {
    return "\"" + std::string(name) + "\" has put itself back into the programs that start for every user. " +
           std::string(kElevationQuestion);
}

// The uninstall's question when an entry cannot be given back.
std::string KeepRecordsQuestion(std::string_view name, std::string_view error) {
    return "Vantorell could not give back \"" + std::string(name) + "\":\n" + std::string(error) +
           "\n\nKeep the entries it cannot give back in \"" + std::string(store::kKeptListFile) +
           "\" beside its list, and finish the uninstall?\n\nNo: stop; Vantorell stays and nothing is lost.";
}

}  // namespace

MainForm::MainForm(platform::Platform& platform, const ui::NameLists& lists, ui::DelayPrompt& delayPrompt)
    : platform_(platform),
      layout_(FileLayout::Detect(platform)),
      store_(platform, layout_.Lists().front().path, layout_.MachineList()),
      grid_(lists, &platform.locale),
      control_(store_, platform_.processes, grid_),
      gestures_(control_, platform_.shell, grid_, delayPrompt),
      launcher_(platform.clock, platform.shell, store_, *this),
      monitor_(platform, store_, control_, *this, *this),
      guard_(platform, layout_.UserFile(kHandOverFile)),
      elevation_(platform, layout_),
      windowsFolder_(platform.files.KnownFolderPath(platform::KnownFolder::Windows).value_or(std::string())),
      impact_(platform, store_, layout_.UserFile(impact::kHistoryFile),
              [this](std::size_t index) { return IdentityOf(index); }),
      identities_(platform, identity::IdentityCache::UserCachePath(platform)) {
    grid_.SetFileProvider([this](std::size_t index) -> std::optional<ui::GridModel::FileFacts> {
        const identity::Identity* id = IdentityOf(index);
        if (!id) return std::nullopt;
        const ui::FileMark mark = identity::Alarming(*id) ? ui::FileMark::Alarm
                                  : identity::Dead(*id)   ? ui::FileMark::Dead
                                                          : ui::FileMark::None;
        return ui::GridModel::FileFacts{identity::PublisherText(*id), mark,
                                        HideWindowsOwn() && HiddenAsWindowsOwn(index),
                                        std::string(impact::LevelText(ImpactOf(index).level))};
    });
    gestures_.SetWindowsOwnService([this](std::size_t index) { return WindowsOwnService(index); });
}

impact::Summary MainForm::ImpactOf(std::size_t index) const {
    // No logon measured yet (every interactive start before the first logon): nothing to look up.
    if (!impact_.History().Last()) return {};
    return impact::Summarise(impact_.History().Of(impact_.KeyOf(index)));
}

void MainForm::ShowLastLogon() {
    const auto last = impact_.History().Last();
    if (last && tray_) tray_->SetTipLine(impact::LastLogonText(*last));
    ShowStatus();
}

void MainForm::ShowStatus() {
    if (!view_) return;
    std::string text = ui::HiddenRowsText(grid_.HiddenCount(), grid_.FilteredCount());
    if (const auto last = impact_.History().Last()) {
        if (!text.empty()) text += ". ";
        text += impact::LastLogonText(*last);
    }
    view_->SetStatusText(text);
}

bool MainForm::HideWindowsOwn() const {
    return !view_ || view_->OptionChecked(ui::MainOption::HideWindowsOwn);
}

bool MainForm::WindowsOwnService(std::size_t index) const {
    const auto& entries = store_.Table().entries;
    if (index >= entries.size() || !entries[index].place || entries[index].place->Kind() != store::PlaceKind::Services)
        return false;
    const identity::Identity* id = IdentityOf(index);
    return id && identity::WindowsOwn(*id, windowsFolder_);
}

bool MainForm::HiddenAsWindowsOwn(std::size_t index) const {
    const auto& entries = store_.Table().entries;
    const identity::Identity* id = index < entries.size() ? IdentityOf(index) : nullptr;
    return id && identity::HiddenAsWindowsOwn(entries[index], *id, windowsFolder_);
}

void MainForm::OnHideWindowsOwnChanged() {
    grid_.FillGrid(store_.Table());
}

void MainForm::OnFilterChanged(std::string_view text) {
    KeepSelectedEntry([&] { grid_.SetFilter(text); });
    ShowStatus();
}

void MainForm::OnGridHeaderClick(int column) {
    KeepSelectedEntry([&] { grid_.SetSort(ui::NextSort(grid_.Sort(), column)); });
}

template <typename Arrange>
void MainForm::KeepSelectedEntry(Arrange&& arrange) {
    if (!view_) {
        arrange();
        return;
    }
    ui::GridCell selected = view_->SelectedCell();
    const auto index = grid_.IndexOfRow(selected.row);
    arrange();
    view_->RefreshGrid();
    if (const auto row = index ? grid_.RowOfIndex(*index) : std::nullopt; row && *row != selected.row) {
        selected.row = *row;
        view_->SelectCell(selected);
    }
}

MainForm::~MainForm() {
    StopTimer(timer3_);
    StopTimer(timer4_);
    StopTimer(listWatch_);
    StopTimer(identityTimer_);
    StopTimer(holdTimer_);
    listChanges_.reset();
}

void MainForm::Attach(ui::MainView& view, ui::TrayIcon& tray) {
    view_ = &view;
    tray_ = &tray;
    grid_.SetInfoTipProvider([this](std::size_t index) {
        std::string tip = ui::EntryInfoTip(store_, index);
        const auto& entries = store_.Table().entries;
        if (index < entries.size() && elevation_.NeedsRights(entries[index].location))
            tip.append("\nStarts for every user: changing it ").append(kNeedsRightsTip).append(".");
        tip.append("\n").append(impact::TipText(ImpactOf(index)));
        if (const identity::Identity* id = IdentityOf(index))
            tip.append("\n").append(identity::IdentityTip(*id));
        else if (identifying_)
            tip.append("\nFile: ").append(identity::kReasonNotChecked);
        return tip;
    });
    grid_.SetFilledHandler([this] {
        if (view_) view_->RefreshGrid();
        ShowStatus();
        RequestIdentities();
    });
    grid_.SetRepaintHandler([this] {
        if (view_) view_->RepaintGrid();
    });
}

bool MainForm::Guard() {
    bool first = true;
    try {
        first = guard_.Guard();
    } catch (const AppError& e) {
        // Another copy runs but the hand-over file cannot be written: this copy
        // still ends; the window search at its end is then the only signal.
        first = guard_.Owner();
        ReportError(e.what());
    }
    if (!first) terminate_ = true;
    return first;
}

template <typename Step>
void MainForm::Try(Step&& step) {
    try {
        step();
    } catch (const AppError& e) {
        ReportError(e.what());
    }
}

void MainForm::ReportError(std::string_view message) {
    platform_.shell.ShowMessageBox(ErrorReportText(message), kAppTitle,
                                   platform::MsgBox::Ok | platform::MsgBox::IconError);
}

Options MainForm::CurrentOptions() const {
    Options options;
    options.warnNew = WarnNew();
    options.autoKill = AutoKill();
    options.minimize = view_ && view_->OptionChecked(ui::MainOption::Minim);
    options.hideWindowsOwn = HideWindowsOwn();
    const ui::GridSort sort = grid_.Sort();
    options.sortColumn = static_cast<unsigned>(sort.column);
    options.sortDirection = static_cast<unsigned>(sort.direction);
    KeepLayout(options);
    return options;
}

void MainForm::ApplyOptions(const Options& o) {
    view_->SetOptionChecked(ui::MainOption::WAdd, o.warnNew);
    view_->SetOptionChecked(ui::MainOption::AutoKill, o.autoKill);
    view_->SetOptionChecked(ui::MainOption::Minim, o.minimize);
    view_->SetOptionChecked(ui::MainOption::HideWindowsOwn, o.hideWindowsOwn);
    // A stored sort that names no column this version sorts by is as listed.
    const auto direction = o.sortDirection <= static_cast<unsigned>(ui::SortDirection::Down)
                               ? static_cast<ui::SortDirection>(o.sortDirection)
                               : ui::SortDirection::AsListed;
    grid_.SetSort({static_cast<int>(std::min(o.sortColumn, static_cast<unsigned>(ui::kGridColumnCount))), direction});
    ApplyLayout(o);
}

void MainForm::FormCreate(const std::vector<std::string>& arguments) {
    const Switches switches = ParseSwitches(arguments);
    layout_.CreateUserFolder(platform_);
    OpenPendingNotice(platform_, layout_);
    // An installed 0.1.0's list beside the program, when the setup could not move it.
    Try([&] { UpgradeInstalledList(platform_, store_, layout_, ReplacedBuildMeant32BitView(platform_), true); });
    Try([&] { ImportOldList(platform_, store_, layout_); });
    view_->MoveTo(kOffScreen, kOffScreen);
    timer3_ = platform_.clock.StartTimer(kCentreDelayMs, [this] { Timer3Timer(); });
    timer4_ = platform_.clock.StartTimer(kHandOverPollMs, [this] { Timer4Timer(); });
    // Other writers' changes to the lists, and a second copy's request in the
    // hand-over file: the system says when their folders change. Only where it
    // cannot, the window looks at the lists once a second and Timer4 keeps
    // looking for a request every 2 seconds.
    std::vector<platform::WatchPlace> folders;
    std::vector<std::string> paths = store_.ListFilePaths();
    paths.push_back(layout_.UserFile(kHandOverFile));
    for (const std::string& path : paths) {
        platform::WatchPlace folder{platform::WatchPlace::Kind::Folder, platform::Hive::CurrentUser,
                                    platform::RegView::Bits64, text::FolderOf(path)};
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(std::move(folder));
    }
    listChanges_ = platform_.clock.WatchPlaces(folders, [this] {
        ListsChanged();
        Timer4Timer();
    });
    if (!listChanges_) listWatch_ = platform_.clock.StartTimer(kListWatchMs, [this] { ListWatchTimer(); });

    // An uninstall run must not register the program again.
    if (!switches.uninstall)
        Try([&] { RegisterAutostart(platform_, platform_.processes.ExecutablePath(), layout_.IsInstalled()); });
    Options options;
    Try([&] { LoadOptions(platform_, options); });
    ApplyOptions(options);
    measureSeconds_ = options.measureSeconds;

    Try([&] {
        store_.ScanEntries();
        grid_.FillGrid(store_.Table());
    });
    monitor_.TakeBaseline(monitor::NewEntryMonitor::StartupTotalPath(platform_.processes));
    monitor_.Start();

    logonMode_ = switches.logon;
    if (switches.uninstall) {
        try {
            // An entry whose place is gone, or holds another program now, cannot
            // be given back: offered once, the records of such entries are kept
            // in a file beside the list, and the uninstall finishes.
            const KeepOffer offerKeep = [this](std::string_view name, std::string_view error) {
                return platform_.shell.ShowMessageBox(KeepRecordsQuestion(name, error), kAppTitle,
                                                      platform::MsgBox::YesNo | platform::MsgBox::IconWarning) ==
                       platform::MsgBox::IdYes;
            };
            // An installed copy's -u is the user's part; the machine's is the uninstaller's (-m).
            if (layout_.IsInstalled())
                UninstallUserPart(platform_, layout_, offerKeep);
            else
                Uninstall(control_, {}, UninstallPart::Whole, offerKeep);
            uninstalled_ = true;
            if (OnCloseQuery()) OnClose();
            terminate_ = true;
        } catch (const AppError& e) {
            ReportError(e.what());  // the records not handled stay; the program goes on
        }
    }
    if (logonMode_ && !uninstalled_) launcher_.StartBootLaunch();
    impact_.Load();
    ShowLastLogon();
    // Measured by the copy that Windows starts at logon, and only there.
    if (logonMode_ && !uninstalled_ && !terminate_)
        impact_.Start(measureSeconds_, [this] {
            if (grid_.RefreshFiles(store_.Table()) && view_ && !InTray()) view_->RefreshGrid();
            ShowLastLogon();
        });
}

void MainForm::SaveOptionsOnce() {
    if (optionsSaved_) return;
    optionsSaved_ = true;
    Try([&] { SaveOptions(platform_, CurrentOptions()); });
}

void MainForm::OnClose() {
    if (closed_) return;
    closed_ = true;
    SaveOptionsOnce();
    if (!uninstalled_)
        Try([&] { RegisterAutostart(platform_, platform_.processes.ExecutablePath(), layout_.IsInstalled()); });
    monitor_.CheckNewEntries();
    const std::string notice = layout_.UserFile(kNoticeFile);
    if (platform_.files.FileExists(notice)) platform_.files.RemoveFile(notice);
    monitor_.Stop();
}

void MainForm::AtExit() {
    if (guard_.Owner())
        guard_.Release();
    else
        guard_.RaisePriorInstance(kAppTitle);
}

// ------------------------------------------------------------------ grid

template <typename Gesture>
void MainForm::RunChange(Gesture&& gesture) {
    RefreshAtEnd refresh(view_);
    const std::uint64_t deniedBefore = platform_.processes.AccessDeniedCount();
    try {
        gesture();
    } catch (const ChangedMeanwhile&) {
        throw;  // rights would not help: the grid shows what is there now
    } catch (const AppError&) {
        const auto& change = gestures_.LastChange();
        if (!change || elevation_.Busy() || !elevation_.Refused(deniedBefore, *change)) throw;
        const control::EntryChange asked = *change;
        Elevation::Result result = Elevation::Result::Declined;
        try {
            result = elevation_.Offer(asked, kElevationQuestion);
        } catch (const AppError&) {
            control_.Refresh();  // whatever the helper did is shown with its error
            throw;
        }
        if (result != Elevation::Result::Declined) control_.Refresh();
    }
}

void MainForm::RunGesture(const std::function<void()>& gesture) {
    RunChange(gesture);
}

void MainForm::OnGridDoubleClick(int column, int row) {
    RunChange([&] { gestures_.SLDblClick(column, row); });
}

void MainForm::OnGridMouseUp() {
    RefreshAtEnd refresh(view_);
    gestures_.SLMouseUp();
}

void MainForm::OnDeleteClicked() {
    RunChange([&] { gestures_.Button1Click(view_->SelectedCell().row); });
}

void MainForm::OnHelpClicked() {
    platform_.shell.ShellOpen(BesideExecutable(platform_, kHelpFile), "");
}

// ------------------------------------------------------------------ window and tray

bool MainForm::OnCloseQuery() {
    if (tray_->Active()) {
        closeRequested_ = true;
        terminate_ = true;
        // The program ends without its close sequence: keep the options at least.
        SaveOptionsOnce();
        // A logoff query in the tray ends the program even when the logoff is
        // cancelled; when a close of the window asked, the close goes on first.
        view_->Terminate();
        return true;
    }
    if (view_->OptionChecked(ui::MainOption::Minim)) {
        if (!closeRequested_) OnMinimize();
        return closeRequested_;
    }
    return true;
}

void MainForm::OnMinimize() {
    tray_->Activate();
    view_->SetInTray(true);
    view_->Hide();
}

void MainForm::OnRestore() {
    TrayIconDblClick();
}

void MainForm::OnShown() {
    windowShown_ = true;
    tray_->Deactivate();
    view_->SetInTray(false);
    // The monitor does not refill the grid in the tray; show the table as it is now.
    grid_.FillGrid(store_.Table());
}

void MainForm::OnQueryEndSession() {
    closeRequested_ = true;
}

void MainForm::OnEndSession() {
    terminate_ = true;
    SaveOptionsOnce();  // the logoff, and the installer's way of ending the program
    view_->Terminate();
}

void MainForm::TrayIconDblClick() {
    view_->Show();
}

void MainForm::Show1Click() {
    TrayIconDblClick();
}

void MainForm::Close1Click() {
    closeRequested_ = true;
    view_->Close();
}

// ------------------------------------------------------------------ timers

// The interactive start shows the window here, centred; in logon mode it stays
// hidden (it is in the tray by now), and a copy that is to end is never shown.
void MainForm::Timer3Timer() {
    StopTimer(timer3_);
    PlaceWindow();
    if (!logonMode_ && !terminate_ && !tray_->Active() && !view_->IsVisible()) view_->Show();
    // The window is on screen (or in the tray): now what each file is.
    if (!terminate_) StartIdentification();
}

// ------------------------------------------------------------------ identification

void MainForm::StartIdentification() {
    identifying_ = true;
    RequestIdentities();
}

void MainForm::RequestIdentities(bool all) {
    if (!identifying_) return;
    // Asked again after every scan: a file may have changed behind a name that
    // did not. The worker answers from its cache for those that did not.
    identities_.Request(identity::EntryJobs(store_), all);
    if (!identityTimer_) identityTimer_ = platform_.clock.StartTimer(kIdentityPollMs, [this] { IdentityTimer(); });
}

void MainForm::IdentityTimer() {
    if (identities_.Collect()) identitiesChanged_ = true;
    const bool busy = identities_.Busy();
    const std::uint64_t now = platform_.clock.TickMs();
    if (identitiesChanged_ && (!busy || now - identitiesShownAt_ >= kIdentityRefreshMs)) {
        identitiesChanged_ = false;
        identitiesShownAt_ = now;
        filesHeld_ = true;
        ApplyHeldRefills();
    }
    if (!busy) StopTimer(identityTimer_);
}

void MainForm::OnEntriesChanged(const store::EntryTable& /*table*/) {
    refillHeld_ = true;
    ApplyHeldRefills();
}

void MainForm::ApplyHeldRefills() {
    if (!refillHeld_ && !filesHeld_) return;
    const std::uint64_t now = platform_.clock.TickMs();
    if (!holdTimer_) heldSince_ = now;
    // Rows that move under the pointer turn a click into a click on another
    // row: what the user did not ask for waits until they leave the grid.
    if (view_ && !InTray() && view_->GridInUse() && now - heldSince_ < kRefillHoldMaxMs) {
        if (!holdTimer_) holdTimer_ = platform_.clock.StartTimer(kRefillHoldPollMs, [this] { ApplyHeldRefills(); });
        return;
    }
    StopTimer(holdTimer_);
    if (refillHeld_) {
        refillHeld_ = false;
        filesHeld_ = false;  // a fill asks for the files too
        grid_.FillGrid(store_.Table());
    } else if (filesHeld_) {
        filesHeld_ = false;
        if (grid_.RefreshFiles(store_.Table()) && view_ && !InTray()) {
            view_->RefreshGrid();
            ShowStatus();
        }
    }
}

const identity::Identity* MainForm::IdentityOf(std::size_t index) const {
    const auto& table = store_.Table();
    if (index >= table.entries.size()) return nullptr;
    return identities_.Find(identity::EntryJob(table, index));
}

std::string MainForm::PublisherOf(std::string_view name) {
    const auto& entries = store_.Table().entries;
    for (std::size_t i = entries.size(); i-- > 0;) {
        if (!entries[i].IsActive() || platform_.locale.CompareNoCase(entries[i].name, name) != 0) continue;
        // A missing file, or one the cache knows, is told at once; only a
        // check that is really pending says so.
        if (const auto id = identities_.KnownNow(identity::EntryJob(store_.Table(), i)))
            return identity::PublisherText(*id);
        RequestIdentities();
        return std::string(identity::kReasonNotChecked);
    }
    return {};
}

void MainForm::Timer4Timer() {
    try {
        const bool pending = guard_.PendingRequest();
        handOverFailing_ = false;  // readable again: a later fault is reported anew
        // Where the folder is watched, this first look (it finds a request made
        // before the watch was set) is the timer's last: a later request comes
        // with a change of the folder, and a tray program wakes for nothing else.
        if (listChanges_) StopTimer(timer4_);
        if (!pending) return;
        TrayIconDblClick();
        guard_.ClearRequest();
    } catch (const AppError& e) {
        // Reported once: the box is modal and this timer keeps firing every
        // 2 seconds, which would stack one box on another.
        if (handOverFailing_) return;
        handOverFailing_ = true;
        ReportError(e.what());
    }
}

void MainForm::ListWatchTimer() {
    // In the tray nothing is shown and nothing is read: the change is taken up
    // at the first look after the window came out.
    if (InTray()) return;
    ListsChanged();
}

void MainForm::ListsChanged() {
    // Another file of the folder, or this program's own save: nothing to take up.
    if (!store_.ListsChangedOnDisk()) return;
    try {
        store_.ScanEntries();
        // The grid is filled from the table when the window comes out of the tray.
        if (!InTray()) OnEntriesChanged(store_.Table());
    } catch (const AppError&) {
        // The monitor's pass reports a list that cannot be read.
    }
}

void MainForm::StopTimer(std::optional<platform::TimerId>& timer) {
    if (timer) platform_.clock.StopTimer(*timer);
    timer.reset();
}

// ------------------------------------------------------------------ hosts

bool MainForm::WarnNew() const {
    return view_ && view_->OptionChecked(ui::MainOption::WAdd);
}

bool MainForm::AutoKill() const {
    return view_ && view_->OptionChecked(ui::MainOption::AutoKill);
}

bool MainForm::InTray() const {
    return tray_ && tray_->Active();
}

void MainForm::Notify(std::string_view title, std::string_view text) {
    if (tray_) tray_->Notify(title, text);
}

bool MainForm::TakeOutAsAdministrator(std::string_view name, std::string_view location, std::uint64_t deniedBefore) {
    // The copy that came back, as the failed take-out left the table: that
    // copy only, and only while it holds the same command.
    const auto& table = store_.Table();
    const control::EntryKey key{std::string(name), std::string(location), false};
    std::optional<control::EntrySeen> copy;
    for (std::size_t i = 0; i < table.entries.size() && !copy; ++i)
        if (control::KeyOfEntry(table, i) == key) copy = control::SeenOfEntry(table, i);
    const control::EntryChange change{control::EntryVerb::Disable,
                                      copy.value_or(control::EntrySeen{key, {}, {}, {}, {}}), 0, true};
    if (!elevation_.Refused(deniedBefore, change)) return false;
    if (!copy) return true;  // gone meanwhile: nothing to take out
    // One question at a time: a comeback found while one is open waits for the next pass.
    if (elevation_.Busy()) return true;
    ShowFromTray();
    try {
        if (elevation_.Offer(change, ComebackQuestion(name)) != Elevation::Result::Declined) control_.Refresh();
    } catch (const AppError& e) {
        ReportError(e.what());
    }
    return true;
}

bool MainForm::NeedsAdministratorRights(int row) {
    const control::EntryKey* key = grid_.KeyOfRow(row);
    return key && elevation_.NeedsRights(key->location);
}

}  // namespace vantorell::app
