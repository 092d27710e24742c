// The navigation strip's table and the decisions made on it.
#include "navigation.h"

namespace {

constexpr CNavButton kButtons[kNavButtonCount] = {
    {0, "s_close", kScreenExit, "終了"},        {1, "s_res", kScreenReservation, "予約"},
    {2, "s_pat", kScreenPatient, "患者"},       {3, "s_daily", kScreenDaily, "日計"},
    {4, "s_notcome", kScreenNotCome, "未来院"}, {5, "s_unpaid", kScreenUnpaid, "未収"},
    {6, "s_recall", kScreenRecall, "リコール"}, {7, "s_lab", kScreenLab, "技工物"},
};

}  // namespace

std::span<const CNavButton> NavigationButtons() { return kButtons; }

const CNavButton* FindNavButtonByCode(int screenCode) {
    for (const CNavButton& button : kButtons) {
        if (button.screenCode == screenCode) return &button;
    }
    return nullptr;
}

QString NavImageFileName(const char* baseName, ENavImage state) {
    const char* suffix = "_n";
    if (state == ENavImage::kPressed) suffix = "_d";
    if (state == ENavImage::kCurrent) suffix = "_a";
    return QString::fromUtf8(baseName) + QLatin1String(suffix) + QLatin1String(".jpg");
}

CNavDecision DecideNavigation(int currentScreen, int position) {
    if (position < 0 || position >= kNavButtonCount) return {};
    const CNavButton& button = kButtons[position];
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
    return nullptr;
}

QString ExitQuestion() { return QStringLiteral("本システムを終了してもよろしいですか"); }
