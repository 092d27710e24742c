#include "suite/tool/readfailure.h"

#include "suite/tool/messageservice.h"

QString TableReadFailureMessage(const QString& tableFile, int status) {
    return QStringLiteral(
               "%1 のデータを読み込めませんでした（状態 %2）。\n"
               "表示されている内容は不完全です。このままでは予約などを登録しないでください。\n"
               "「velodb check」でデータベースを点検するか、管理者に連絡してください。")
        .arg(tableFile)
        .arg(status);
}

QString TableReadFailureNotice(const QString& tableFile) {
    return QStringLiteral("%1 のデータを読み込めませんでした。velodb check を実行するか、"
                          "管理者に連絡してください。")
        .arg(tableFile);
}

void ShowTableReadFailure(QWidget* parent, const QString& title, const QString& tableFile,
                          int status) {
    CMessageService::MessageBox(parent, TableReadFailureMessage(tableFile, status), title,
                                CMessageService::EIcon::Warning);
}
