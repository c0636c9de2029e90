// The delay dialog, shown for real and driven from a timer inside its own modal
// loop: typing, Enter, the OK button, the close box, the spin keys, the range
// rule, and the layout.
#include <gtest/gtest.h>

#include <windows.h>
// after <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/win32/DelayDialog.h"

namespace vantorell::ui::win32 {
namespace {

// Under Wine without a window manager, closing a window takes about 2 s (it
// waits for the unmapped state): each case here costs that once.
constexpr UINT kStepMs = 20;
// A dialog still open after this many steps is closed and the test fails.
constexpr int kMaxTicks = 200;

using Step = std::function<void(HWND dialog)>;

// Runs `steps` one per timer tick while the dialog is open.
class Driver {
public:
    Driver(DelayDialog& dialog, std::vector<Step> steps) : dialog_(dialog), steps_(std::move(steps)) {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, kStepMs, &Driver::Tick);
    }
    ~Driver() {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    bool TimedOut() const { return timedOut_; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        Driver* self = current_;
        if (!self) return;
        HWND dialog = self->dialog_.Window();
        if (!dialog) return;
        if (++self->ticks_ > kMaxTicks) {
            self->timedOut_ = true;
            EndDialog(dialog, IDABORT);
            return;
        }
        if (self->next_ < self->steps_.size()) self->steps_[self->next_++](dialog);
    }

    static inline Driver* current_ = nullptr;
    DelayDialog& dialog_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    int ticks_ = 0;
    bool timedOut_ = false;
    UINT_PTR timer_ = 0;
};

HWND Edit(HWND dialog) {
    return GetDlgItem(dialog, kDelayEditId);
}

std::wstring EditText(HWND dialog) {
    wchar_t text[64] = {};
    GetWindowTextW(Edit(dialog), text, 64);
    return text;
}

Step Type(const wchar_t* text) {
    return [text](HWND d) { SetWindowTextW(Edit(d), text); };
}
Step Press(UINT key) {
    return [key](HWND d) {
        SetFocus(Edit(d));
        PostMessageW(Edit(d), WM_KEYDOWN, key, 0);
        PostMessageW(Edit(d), WM_KEYUP, key, 0xC0000001);
    };
}
Step ClickOk() {
    return [](HWND d) { SendMessageW(GetDlgItem(d, IDOK), BM_CLICK, 0, 0); };
}
Step CloseBox() {
    return [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); };
}
Step Expect(std::wstring shown) {
    return [shown](HWND d) { EXPECT_EQ(EditText(d), shown); };
}

struct Outcome {
    std::optional<int> value;
    bool timedOut;
};

Outcome ShowDriven(int preset, std::vector<Step> steps) {
    DelayDialog dialog;
    Driver driver(dialog, std::move(steps));
    const auto value = dialog.AskDelay(preset);
    return {value, driver.TimedOut()};
}

TEST(DelayDialogWindow, TypedValuesAreBroughtIntoRange) {
    struct Case {
        const char* what;
        int preset;
        std::vector<Step> steps;
        std::optional<int> value;
    };
    const std::vector<Case> cases = {
        {"300 and Enter", 30, {Expect(L"30"), Type(L"300"), Press(VK_RETURN)}, 240},
        {"-5 and OK", 30, {Type(L"-5"), ClickOk()}, 0},
        {"empty and OK", 30, {Type(L""), ClickOk()}, 0},
        {"not a number", 30, {Type(L"soon"), ClickOk()}, 0},
        {"in range", 0, {Type(L"45"), Press(VK_RETURN)}, 45},
        {"preset beyond the range", 999, {Expect(L"240"), ClickOk()}, 240},
        {"closed after a change", 30, {Type(L"50"), CloseBox()}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto outcome = ShowDriven(c.preset, c.steps);
        EXPECT_FALSE(outcome.timedOut);
        EXPECT_EQ(outcome.value, c.value);
    }
}

TEST(DelayDialogWindow, SpinKeysStayWithinTheRange) {
    struct Case {
        int preset;
        UINT key;
        int value;
    };
    const Case cases[] = {{240, VK_UP, 240}, {0, VK_DOWN, 0}, {10, VK_UP, 11}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.preset);
        const auto outcome = ShowDriven(c.preset, {Press(c.key), ClickOk()});
        EXPECT_FALSE(outcome.timedOut);
        EXPECT_EQ(outcome.value, c.value);
    }
}

TEST(DelayDialogWindow, LosingTheFocusClampsTheField) {
    const auto outcome = ShowDriven(5, {Type(L"500"), [](HWND d) { SetFocus(GetDlgItem(d, IDOK)); }, Expect(L"240"),
                                        Type(L"-1"), [](HWND d) { SetFocus(Edit(d)); },
                                        [](HWND d) { SetFocus(GetDlgItem(d, IDOK)); }, Expect(L"0"), CloseBox()});
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_EQ(outcome.value, std::nullopt);
}

TEST(DelayDialogWindow, LayoutAndLook) {
    RECT client{}, edit{}, spin{}, ok{};
    std::wstring caption;
    LONG_PTR style = 0;
    UINT dpi = 96;
    ShowDriven(0, {[&](HWND d) {
                       HDC dc = GetDC(d);
                       dpi = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSX));
                       ReleaseDC(d, dc);
                       GetClientRect(d, &client);
                       GetWindowRect(Edit(d), &edit);
                       GetWindowRect(GetDlgItem(d, kDelayUpDownId), &spin);
                       GetWindowRect(GetDlgItem(d, IDOK), &ok);
                       wchar_t text[8] = {};
                       GetWindowTextW(d, text, 8);
                       caption = text;
                       style = GetWindowLongPtrW(d, GWL_STYLE);
                       EXPECT_EQ(GetFocus(), Edit(d));
                       EXPECT_EQ(SendMessageW(d, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
                   },
                   CloseBox()});
    const auto px = [dpi](int pixels) { return MulDiv(pixels, static_cast<int>(dpi), 96); };
    EXPECT_EQ(client.right, px(kDelayClientWidth));
    EXPECT_EQ(client.bottom, px(kDelayClientHeight));
    EXPECT_EQ(spin.right - edit.left, px(81));  // the field and its buttons together
    EXPECT_EQ(ok.right - ok.left, px(75));
    EXPECT_EQ(ok.bottom - ok.top, px(25));
    EXPECT_EQ(caption, L" ");
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
}

}  // namespace
}  // namespace vantorell::ui::win32
