// The suite's screen codes and the table of the navigation strip's eight buttons that
// every screen draws alike: which button ends a screen with which code and what its
// images are called. Plain data without widgets, shared by the host and the modules.
#pragma once

#include <QString>
#include <span>

// Screen codes shared by the host and the modules it loads.
constexpr int kScreenExit = 0;            // leave the system
constexpr int kScreenReservation = 1101;  // appointment sheet
constexpr int kScreenPatient = 1102;
constexpr int kScreenRecall = 1103;
constexpr int kScreenDaily = 1104;
constexpr int kScreenNotCome = 1105;
constexpr int kScreenUnpaid = 1106;
constexpr int kScreenLab = 1107;
constexpr int kScreenNone = -100;  // a module closed without choosing a screen

constexpr int kNavButtonCount = 8;

// One button of the strip. Images are "<baseName>_n.jpg" (normal), "_d.jpg"
// (pressed) and "_a.jpg" (the current screen) in the program folder's images/.
struct CNavButton {
    int position;          // 0 = leftmost
    const char* baseName;  // "s_close", "s_res", ...
    int screenCode;
    const char* caption;  // UTF-8 label drawn on the images
};

// The eight buttons, left to right.
std::span<const CNavButton> NavigationButtons();

// The button that leads to `screenCode`, or nullptr when no button does.
const CNavButton* FindNavButtonByCode(int screenCode);

enum class ENavImage { kNormal, kPressed, kCurrent };

// "s_res_n.jpg" and its pressed and current companions.
QString NavImageFileName(const char* baseName, ENavImage state);

// The question asked before the close button leaves the system.
QString ExitQuestion();
