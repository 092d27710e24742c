// The suite's screens and the navigation strip of eight image buttons that every
// screen shows: which button returns which screen code, what its images are called
// and what pressing it means on a given screen. Plain logic without widgets.
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

// What pressing the button at `position` does on the screen `currentScreen`.
enum class ENavAction {
    kStay,     // the current screen's own button, or no button at all
    kAskExit,  // the close button: ask before leaving
    kSwitch,   // show another screen
};

struct CNavDecision {
    ENavAction action = ENavAction::kStay;
    int screenCode = kScreenNone;  // the screen to show for kSwitch, kScreenExit for kAskExit
};

CNavDecision DecideNavigation(int currentScreen, int position);

// The screen the host shows after a module's screen returned `returnedCode`:
// kScreenExit to leave (the module has asked already), kScreenNone for the host's own
// start screen when the module was closed without a choice or returned a code nobody
// knows, else the chosen screen.
int ScreenAfterModule(int returnedCode);

// The Japanese name of a screen for titles ("予約", ...); empty for unknown codes.
QString ScreenTitle(int screenCode);

// Screens that this program shows from a module of its own folder, and the module
// (library base name) that provides them; nullptr for screens of the suite's other
// programs, which the host only names.
const char* ModuleForScreen(int screenCode);

// The question asked before leaving the system.
QString ExitQuestion();
