// Lays out the patient's fields as label and read-only text pairs.
#include "suite/core/patientinfodlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CPatientInfoDlg::CPatientInfoDlg(const std::vector<CPatientField>& fields, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("患者詳細情報"));
    auto* form = new QFormLayout;
    for (size_t i = 0; i < fields.size(); ++i) {
        auto* edit = new QLineEdit(fields[i].value, this);
        edit->setObjectName(QString::number(kIdFirstField + static_cast<int>(i)));
        edit->setReadOnly(true);
        edit->setMinimumWidth(320);
        edit->setCursorPosition(0);
        form->addRow(fields[i].label, edit);
    }
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);
    close->setObjectName(QString::number(kIdClose));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    close->setFocus();
}
