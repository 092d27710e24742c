#include "suite/tool/readfailure.h"

#include <QLabel>

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

QLabel* NewReadFailureNotice(QWidget* parent) {
    auto* notice = new QLabel(parent);
    notice->setObjectName(QStringLiteral("ReadFailureNotice"));
    notice->setWordWrap(true);
    notice->setStyleSheet(QStringLiteral(
        "QLabel { background: #b00020; color: white; font-weight: bold; padding: 4px 8px; }"));
    notice->hide();
    return notice;
}

void SetReadFailureNotice(QLabel* notice, const QString& tableFile) {
    if (notice == nullptr) return;
    notice->setText(tableFile.isEmpty() ? QString() : TableReadFailureNotice(tableFile));
    notice->setVisible(!tableFile.isEmpty());
}
