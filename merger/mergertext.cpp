#include "merger/mergertext.h"

#include "suite/tool/messageservice.h"

namespace unita {

QString ProgramTitle() { return QStringLiteral("Calyx & Xylo データベースマージプログラム"); }

void ShowMergerMessage(QWidget* parent, const QString& text, EMergerIcon icon) {
    CMessageService::EIcon shown = CMessageService::EIcon::Information;
    if (icon == EMergerIcon::Warning) shown = CMessageService::EIcon::Warning;
    if (icon == EMergerIcon::Question) shown = CMessageService::EIcon::Question;
    CMessageService::MessageBox(parent, text, ProgramTitle(), shown);
}

bool AskMerger(QWidget* parent, const QString& text) {
    return CMessageService::AskYesNo(parent, text, ProgramTitle());
}

}  // namespace unita
