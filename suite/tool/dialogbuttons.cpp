// The shared OK / cancel button box.
#include "suite/tool/dialogbuttons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog, QPushButton** ok) {
    auto* buttons = new QDialogButtonBox(dialog);
    QPushButton* accept = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    accept->setObjectName(QStringLiteral("1"));
    accept->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("2"));
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    if (ok != nullptr) *ok = accept;
    return buttons;
}
