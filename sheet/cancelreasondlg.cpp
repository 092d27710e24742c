// The cancel-reason dialog.
#include "sheet/cancelreasondlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "sheet/bookingstrings.h"
#include "sheet/reservationcommands.h"
#include "sheet/textlimit.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/text/cp932.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/storabletext.h"
#include "suite/tool/strings.h"

namespace velo::sheet {
namespace {

QPushButton* NewButton(const QString& text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CCancelReasonDlg::CCancelReasonDlg(CVeloDBSys* db, const std::string& reservationNo,
                                   uint8_t status, QWidget* parent)
    : QDialog(parent), m_db(db), m_reservationNo(reservationNo), m_status(status) {
    RegisterBookingStrings();
    setObjectName(QString::number(kIdDialog));
    setWindowTitle(QStringLiteral("キャンセル理由入力"));

    auto* prompt = new QLabel(QStringLiteral("予約のキャンセル理由を選択してください。"), this);
    m_reason = new QComboBox(this);
    m_reason->setObjectName(QString::number(kIdReason));
    m_reason->setEditable(true);
    m_reason->setInsertPolicy(QComboBox::NoInsert);
    m_reason->setMinimumContentsLength(28);
    LimitEditToCp932Bytes(m_reason->lineEdit(), kReasonMaxBytes);
    QPushButton* add = NewButton(QStringLiteral("#"), kIdAddReason, this);
    add->setFixedWidth(28);
    QPushButton* ok = NewButton(QStringLiteral("OK"), kIdOk, this);
    QPushButton* cancel = NewButton(QStringLiteral("ｷｬﾝｾﾙ"), kIdCancel, this);
    ok->setMinimumWidth(88);
    cancel->setMinimumWidth(88);

    auto* row = new QHBoxLayout;
    row->addWidget(m_reason, 1);
    row->addWidget(add);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* main = new QVBoxLayout(this);
    main->addWidget(prompt);
    main->addLayout(row);
    main->addSpacing(8);
    main->addLayout(buttons);

    connect(add, &QPushButton::clicked, this, &CCancelReasonDlg::OnAddReason);
    connect(ok, &QPushButton::clicked, this, &CCancelReasonDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    FillReasons();
    m_reason->setEditText(QString());
}

CCancelReasonDlg::~CCancelReasonDlg() = default;

int CCancelReasonDlg::exec() {
    if (m_reservationNo.empty()) return 0;
    return QDialog::exec();
}

void CCancelReasonDlg::FillReasons() {
    const QString text = m_reason->currentText();
    m_reason->clear();
    m_reason->addItems(CancelReasonNames(m_db));
    m_reason->setCurrentIndex(-1);
    m_reason->setEditText(text);
}

void CCancelReasonDlg::OnAddReason() {
    const QString code = CVeloComDlg::OpenNewResReason(m_db, this);
    if (code.isEmpty()) return;
    FillReasons();
    CResReasonDB reasons;
    if (reasons.SetAssociatedDB(m_db) == 0 &&
        reasons.GetResReasonData(code.toStdString().c_str()) == 0)
        m_reason->setEditText(
            Cp932FieldToQString(reasons.m_Data.ReasonName, sizeof reasons.m_Data.ReasonName));
}

void CCancelReasonDlg::OnOK() {
    if (!CheckStorableText(this, windowTitle(), m_reason->currentText())) return;
    const int status = CancelReservation(m_db, m_reservationNo, m_status, m_reason->currentText());
    if (status != 0) {
        CMessageService::MessageBox(this, LoadString(kIdsUpdateFailed), windowTitle(),
                                    CMessageService::EIcon::Warning);
        return;
    }
    accept();
}

}  // namespace velo::sheet
