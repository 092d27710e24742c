#include "sheet/contactdlg.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "sheet/bookingstrings.h"
#include "sheet/reservedsearch.h"
#include "sheet/textlimit.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/tool/date.h"
#include "suite/tool/dialogbuttons.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/storabletext.h"
#include "suite/tool/strings.h"

namespace velo::sheet {
namespace {

// The text for a stored state that the configured number of states no longer covers: its
// name (the setting, or the usual name of the first three), else its number.
QString UncoveredStateText(int state) {
    const QString name = ContactStatusName(state);
    return name.isEmpty() ? QStringLiteral("状態 %1").arg(state) : name;
}

}  // namespace

CContactDlg::CContactDlg(CVeloDBSys* db, std::string reservationNo, QWidget* parent)
    : QDialog(parent), m_db(db), m_reservationNo(std::move(reservationNo)) {
    RegisterBookingStrings();
    setObjectName(QString::number(kIdDialog));
    setWindowTitle(QStringLiteral("患者への連絡履歴の入力"));
    BuildLayout();
    LoadContact();
}

void CContactDlg::BuildLayout() {
    m_date = new QDateEdit(CDate::Today(), this);
    m_date->setObjectName(QString::number(kIdDate));
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    m_state = new QComboBox(this);
    m_state->setObjectName(QString::number(kIdState));
    const QStringList names = ContactStatusNames();
    for (int i = 0; i < names.size(); ++i) m_state->addItem(names[i], i);
    m_byTelephone = new QRadioButton(QStringLiteral("電話"), this);
    m_byTelephone->setObjectName(QString::number(kIdByTelephone));
    m_byMail = new QRadioButton(QStringLiteral("メール"), this);
    m_byMail->setObjectName(QString::number(kIdByMail));
    m_byTelephone->setChecked(true);
    m_comment = new QLineEdit(this);
    m_comment->setObjectName(QString::number(kIdComment));
    LimitEditToCp932Bytes(m_comment, kCommentMaxBytes);
    m_comment->setMinimumWidth(320);

    auto* methods = new QHBoxLayout;
    methods->addWidget(m_byTelephone);
    methods->addWidget(m_byMail);
    methods->addStretch();
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("連絡日"), m_date);
    form->addRow(QStringLiteral("連絡の確認状況"), m_state);
    form->addRow(QStringLiteral("連絡方法"), methods);
    form->addRow(QStringLiteral("コメント"), m_comment);

    QPushButton* ok = nullptr;
    auto* buttons = MakeOkCancelButtons(this, &ok);
    connect(ok, &QPushButton::clicked, this, &CContactDlg::OnOK);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void CContactDlg::LoadContact() {
    ContactRecord contact;
    if (ReadContact(m_db, m_reservationNo, &contact) != 0) return;
    if (contact.date.isValid()) m_date->setDate(contact.date);
    m_comment->setText(contact.comment);
    // A state stored while more states were configured stays selectable as it is, so that
    // OK does not turn it into "未" and erase the contact.
    int index = m_state->findData(contact.state);
    if (index < 0) {
        m_state->addItem(UncoveredStateText(contact.state), contact.state);
        index = m_state->count() - 1;
    }
    m_state->setCurrentIndex(index);
    (contact.method == kContactByMail ? m_byMail : m_byTelephone)->setChecked(true);
}

void CContactDlg::OnOK() {
    ContactRecord contact;
    contact.date = m_date->date();
    contact.state = std::max(0, m_state->currentData().toInt());
    contact.comment = m_comment->text();
    contact.method = m_byMail->isChecked() ? kContactByMail : kContactByTelephone;
    if (!CheckStorableText(this, windowTitle(), contact.comment)) return;
    if (SaveContact(m_db, m_reservationNo, contact) != 0) {
        CMessageService::MessageBox(this, LoadString(kIdsUpdateFailed), windowTitle(),
                                    CMessageService::EIcon::Warning);
        return;
    }
    accept();
}

void CContactDlg::keyPressEvent(QKeyEvent* event) {
    // Escape never closes; Return moves to the next control.
    if (event->key() == Qt::Key_Escape) return;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        focusNextChild();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace velo::sheet
