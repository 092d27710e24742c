// What pressing a button of the navigation strip means on a given screen of the host,
// and which module shows which screen. The table of buttons and the screen codes come
// from the Tool library (navbuttons.h). Plain logic without widgets.
#pragma once

#include <QString>

#include "suite/tool/navbuttons.h"

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
