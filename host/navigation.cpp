// The decisions made on the navigation strip.
#include "navigation.h"

CNavDecision DecideNavigation(int currentScreen, int position) {
    if (position < 0 || position >= kNavButtonCount) return {};
    const CNavButton& button = NavigationButtons()[size_t(position)];
    if (button.screenCode == kScreenExit) return {ENavAction::kAskExit, kScreenExit};
    if (button.screenCode == currentScreen) return {};
    return {ENavAction::kSwitch, button.screenCode};
}

int ScreenAfterModule(int returnedCode) {
    if (returnedCode == kScreenExit) return kScreenExit;
    if (FindNavButtonByCode(returnedCode) == nullptr) return kScreenNone;
    return returnedCode;
}

QString ScreenTitle(int screenCode) {
    const CNavButton* button = FindNavButtonByCode(screenCode);
    if (button == nullptr || screenCode == kScreenExit) return {};
    return QString::fromUtf8(button->caption);
}

const char* ModuleForScreen(int screenCode) {
    if (screenCode == kScreenReservation) return "VeloSheet";
    if (screenCode == kScreenLab) return "VeloLab";
    return nullptr;
}
