// The navigation strip's table of buttons.
#include "suite/tool/navbuttons.h"

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

QString ExitQuestion() { return QStringLiteral("本システムを終了してもよろしいですか"); }
