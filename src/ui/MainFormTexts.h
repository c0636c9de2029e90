// The main window's own texts and its fixed layout, for the Win32 view.
#pragma once

#include <string_view>

namespace vantorell::ui {

inline constexpr std::string_view kMainCaption = "Vantorell";
inline constexpr std::string_view kFontName = "MS Sans Serif";
inline constexpr int kFontHeight = -11;  // 8 point

inline constexpr std::string_view kIntroText =  // Label1
    "Here you can select the programs that you want to start automatically when your computer starts";
inline constexpr std::string_view kOptionsGroupCaption = "Program options";                                // GroupBox1
inline constexpr std::string_view kWarnNewCaption = "Warn me when a new program adds itself to the list";  // WAdd
inline constexpr std::string_view kAutoKillCaption =                                                       // AutoKill
    "Prevent deactivated programs from activating themselves again";
inline constexpr std::string_view kMinimizeCaption =  // Minim
    "Minimize Vantorell instead of closing it (this allows Vantorell to monitor the programs)";
inline constexpr std::string_view kHideWindowsOwnCaption = "Hide Windows' own entries";
inline constexpr std::string_view kHelpCaption = "&Help";                    // BitBtn1
inline constexpr std::string_view kDeleteCaption = "Delete selected entry";  // Button1
inline constexpr std::string_view kHighlightCaption =                        // HL (never shown)
    "Highlight potentially useless blue, potentially dangerous programs in red, and good programs in green";

// Legend lines under the grid, in the colour they describe.
inline constexpr std::string_view kLegendRed =  // Label2
    "A red program is a useless or even potentially dangerous program. Such programs should be disabled!";
inline constexpr std::string_view kLegendBlue =  // Label3
    "A blue program is not dangerous, but if you don't use the program, it will only waste resources.";
inline constexpr std::string_view kLegendGreen =  // Label4
    "A green program is good and should NOT be disabled. Examples include antivirus programs";
inline constexpr std::string_view kLegendBlack =  // Label5 (default colour)
    "A black program is a program that Vantorell has no futher information about.";
inline constexpr std::string_view kLegendFile =  // what the program's file says, under the name lists
    "A grey program's file is gone; a program whose file's signature is broken or distrusted is always red.";

// Layout in pixels: client area, then left, top, width, height of each control.
struct Rect {
    int left, top, width, height;
};

inline constexpr int kClientWidth = 648;
inline constexpr int kClientHeight = 519;  // one legend line and the filter box more than the 479 of old
inline constexpr Rect kIntroRect{8, 8, 577, 17};
inline constexpr Rect kOptionsGroupRect{8, 32, 489, 81};
// The option check boxes, relative to the group box; their size is the view's choice.
inline constexpr int kOptionLeft = 4;
inline constexpr int kWarnNewTop = 14;
inline constexpr int kAutoKillTop = 38;
inline constexpr int kMinimizeTop = 62;
inline constexpr Rect kHelpRect{504, 40, 137, 25};
// Under the help button, in two lines where one is too narrow.
inline constexpr Rect kHideWindowsOwnRect{504, 72, 137, 28};
// The filter box above the grid, and its cue text while it is empty.
inline constexpr std::string_view kFilterCue = "Filter: name, command, publisher";
inline constexpr Rect kFilterRect{8, 120, 633, 21};
inline constexpr Rect kGridRect{8, 144, 633, 265};
inline constexpr Rect kDeleteRect{8, 414, 137, 25};
inline constexpr Rect kStatusRect{152, 420, 489, 17};
// Legend labels: left and top only; they size to their text.
inline constexpr int kLegendLeft = 8;
inline constexpr int kLegendRedTop = 440;
inline constexpr int kLegendBlueTop = 456;
inline constexpr int kLegendGreenTop = 472;
inline constexpr int kLegendBlackTop = 488;
inline constexpr int kLegendFileTop = 504;

}  // namespace vantorell::ui
