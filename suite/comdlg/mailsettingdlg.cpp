// The mail settings dialog and CVeloComDlg::OpenMailSetting that runs it.
#include "suite/comdlg/mailsettingdlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <utility>
#include <vector>

#include "suite/comdlg/velocomdlg.h"
#include "suite/tool/dialogbuttons.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/storabletext.h"

namespace {

constexpr int kMaxTextLength = 255;
constexpr int kTextFieldWidth = 220;

QString Title() { return QStringLiteral("メール送信の設定"); }

QLineEdit* MakeEdit(QWidget* parent, int id) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::number(id));
    edit->setMaxLength(kMaxTextLength);
    edit->setMinimumWidth(kTextFieldWidth);
    return edit;
}

QLineEdit* MakePasswordEdit(QWidget* parent, int id) {
    QLineEdit* edit = MakeEdit(parent, id);
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

// A field for a whole number of at most `digits` digits; its range is checked on OK so that
// a wrong value is told, not silently clamped.
QLineEdit* MakeNumberEdit(QWidget* parent, int id, int digits) {
    QLineEdit* edit = MakeEdit(parent, id);
    edit->setMaxLength(digits);
    edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(digits)), edit));
    edit->setMinimumWidth(0);
    edit->setMaximumWidth(80);
    return edit;
}

QCheckBox* MakeCheck(QWidget* parent, int id, const QString& text) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::number(id));
    return box;
}

QComboBox* MakeSecurityCombo(QWidget* parent, int id) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::number(id));
    combo->addItem(QStringLiteral("なし"), kMailSecurityNone);
    combo->addItem(QStringLiteral("STARTTLS"), kMailSecurityStartTls);
    combo->addItem(QStringLiteral("SSL/TLS"), kMailSecurityTls);
    return combo;
}

// The number in the field, or 0 when it holds none.
int NumberIn(const QLineEdit* edit) {
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    return ok ? value : 0;
}

int SecurityIn(const QComboBox* combo) { return combo->currentData().toInt(); }

void ShowSecurity(QComboBox* combo, int security) {
    const int index = combo->findData(security);
    combo->setCurrentIndex(index >= 0 ? index : 0);
}

}  // namespace

CMailSettingDlg::CMailSettingDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(Title());

    auto* senderBox = new QGroupBox(QStringLiteral("送信者"), this);
    m_sender = MakeEdit(senderBox, kIdSender);
    m_emailAddress = MakeEdit(senderBox, kIdEmailAddress);
    m_emailAddress->setPlaceholderText(QStringLiteral("clinic@example.jp"));
    m_userId = MakeEdit(senderBox, kIdUserId);
    m_password = MakePasswordEdit(senderBox, kIdPassword);
    auto* senderForm = new QFormLayout(senderBox);
    senderForm->addRow(QStringLiteral("差出人名"), m_sender);
    senderForm->addRow(QStringLiteral("メールアドレス"), m_emailAddress);
    senderForm->addRow(QStringLiteral("アカウント名"), m_userId);
    senderForm->addRow(QStringLiteral("パスワード"), m_password);

    auto* smtpBox = new QGroupBox(QStringLiteral("SMTP（送信）"), this);
    m_smtpServer = MakeEdit(smtpBox, kIdSmtpServer);
    m_smtpPort = MakeNumberEdit(smtpBox, kIdSmtpPort, 5);
    m_smtpSecurity = MakeSecurityCombo(smtpBox, kIdSmtpSecurity);
    m_smtpAuth = MakeCheck(smtpBox, kIdSmtpAuth, QStringLiteral("SMTP認証を使用する"));
    m_smtpUserId = MakeEdit(smtpBox, kIdSmtpUserId);
    m_smtpUserId->setPlaceholderText(QStringLiteral("空欄のときはアカウント名"));
    m_smtpPassword = MakePasswordEdit(smtpBox, kIdSmtpPassword);
    auto* smtpForm = new QFormLayout(smtpBox);
    smtpForm->addRow(QStringLiteral("SMTPサーバー"), m_smtpServer);
    smtpForm->addRow(QStringLiteral("ポート番号"), m_smtpPort);
    smtpForm->addRow(QStringLiteral("暗号化"), m_smtpSecurity);
    smtpForm->addRow(m_smtpAuth);
    smtpForm->addRow(QStringLiteral("認証ユーザー名"), m_smtpUserId);
    smtpForm->addRow(QStringLiteral("認証パスワード"), m_smtpPassword);

    auto* popBox = new QGroupBox(QStringLiteral("POP（受信）"), this);
    m_popBeforeSmtp = MakeCheck(popBox, kIdPopBeforeSmtp,
                                QStringLiteral("送信前にPOPサーバーにログインする"
                                               "（POP before SMTP）"));
    m_popServer = MakeEdit(popBox, kIdPopServer);
    m_popPort = MakeNumberEdit(popBox, kIdPopPort, 5);
    m_popSecurity = MakeSecurityCombo(popBox, kIdPopSecurity);
    m_apop = MakeCheck(popBox, kIdApop, QStringLiteral("APOPでログインする"));
    auto* popForm = new QFormLayout(popBox);
    popForm->addRow(m_popBeforeSmtp);
    popForm->addRow(QStringLiteral("POPサーバー"), m_popServer);
    popForm->addRow(QStringLiteral("ポート番号"), m_popPort);
    popForm->addRow(QStringLiteral("暗号化"), m_popSecurity);
    popForm->addRow(m_apop);

    auto* dialBox = new QGroupBox(QStringLiteral("ダイヤルアップ"), this);
    m_connection =
        MakeCheck(dialBox, kIdConnection, QStringLiteral("ダイヤルアップ接続を使用する"));
    m_connectionName = MakeEdit(dialBox, kIdConnectionName);
    auto* dialForm = new QFormLayout(dialBox);
    dialForm->addRow(m_connection);
    dialForm->addRow(QStringLiteral("接続名"), m_connectionName);

    auto* linkBox = new QGroupBox(QStringLiteral("接続"), this);
    m_tlsVerify = MakeCheck(linkBox, kIdTlsVerify, QStringLiteral("サーバー証明書を確認する"));
    m_timeout = MakeNumberEdit(linkBox, kIdTimeout, 3);
    auto* timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(m_timeout);
    timeoutRow->addWidget(new QLabel(
        QStringLiteral("秒（%1～%2）").arg(kMinMailTimeout).arg(kMaxMailTimeout), linkBox));
    timeoutRow->addStretch(1);
    auto* linkForm = new QFormLayout(linkBox);
    linkForm->addRow(m_tlsVerify);
    linkForm->addRow(QStringLiteral("タイムアウト"), timeoutRow);

    QPushButton* ok = nullptr;
    QDialogButtonBox* buttons = MakeOkCancelButtons(this, &ok);

    auto* grid = new QGridLayout;
    grid->addWidget(senderBox, 0, 0);
    grid->addWidget(smtpBox, 1, 0, 2, 1);
    grid->addWidget(popBox, 0, 1);
    grid->addWidget(dialBox, 1, 1);
    grid->addWidget(linkBox, 2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addWidget(buttons);

    connect(ok, &QPushButton::clicked, this, &CMailSettingDlg::OnOK);
    for (QCheckBox* box : {m_smtpAuth, m_popBeforeSmtp, m_connection}) {
        connect(box, &QCheckBox::toggled, this, &CMailSettingDlg::UpdateEnabling);
    }
    connect(m_smtpSecurity, &QComboBox::currentIndexChanged, this,
            &CMailSettingDlg::OnSmtpSecurityChanged);
    connect(m_popSecurity, &QComboBox::currentIndexChanged, this,
            &CMailSettingDlg::OnPopSecurityChanged);

    m_loaded = CMailSettings::Load();
    Show(m_loaded);
    m_sender->setFocus();
}

void CMailSettingDlg::Show(const CMailSettings& s) {
    m_sender->setText(s.sender);
    m_emailAddress->setText(s.emailAddress);
    m_userId->setText(s.userId);
    m_password->setText(s.password);
    m_smtpServer->setText(s.smtpServer);
    m_smtpPort->setText(QString::number(s.smtpPort));
    m_smtpAuth->setChecked(s.smtpAuth);
    m_smtpUserId->setText(s.smtpUserId);
    m_smtpPassword->setText(s.smtpPassword);
    m_popBeforeSmtp->setChecked(s.popBeforeSmtp);
    m_popServer->setText(s.popServer);
    m_popPort->setText(QString::number(s.popPort));
    m_apop->setChecked(s.apop);
    m_connection->setChecked(s.connection);
    m_connectionName->setText(s.connectionName);
    m_tlsVerify->setChecked(s.tlsVerify);
    m_timeout->setText(QString::number(s.timeout));
    // The ports were shown first, so showing the security does not move them.
    m_smtpSecurityShown = s.smtpSecurity;
    m_popSecurityShown = s.popSecurity;
    ShowSecurity(m_smtpSecurity, s.smtpSecurity);
    ShowSecurity(m_popSecurity, s.popSecurity);
    UpdateEnabling();
}

CMailSettings CMailSettingDlg::Gathered() const {
    CMailSettings s;
    s.sender = m_sender->text().trimmed();
    s.emailAddress = m_emailAddress->text().trimmed();
    s.userId = m_userId->text().trimmed();
    s.password = m_password->text();
    s.smtpServer = m_smtpServer->text().trimmed();
    s.smtpPort = NumberIn(m_smtpPort);
    s.smtpSecurity = SecurityIn(m_smtpSecurity);
    s.smtpAuth = m_smtpAuth->isChecked();
    s.smtpUserId = m_smtpUserId->text().trimmed();
    s.smtpPassword = m_smtpPassword->text();
    s.popBeforeSmtp = m_popBeforeSmtp->isChecked();
    s.popServer = m_popServer->text().trimmed();
    s.popPort = NumberIn(m_popPort);
    if (!s.popBeforeSmtp && (s.popPort < kMinMailPort || s.popPort > kMaxMailPort)) {
        s.popPort = m_loaded.popPort;
    }
    s.popSecurity = SecurityIn(m_popSecurity);
    s.apop = m_apop->isChecked();
    s.connection = m_connection->isChecked();
    s.connectionName = m_connectionName->text().trimmed();
    s.tlsVerify = m_tlsVerify->isChecked();
    s.timeout = NumberIn(m_timeout);
    return s;
}

void CMailSettingDlg::UpdateEnabling() {
    const bool auth = m_smtpAuth->isChecked();
    m_smtpUserId->setEnabled(auth);
    m_smtpPassword->setEnabled(auth);
    const bool pop = m_popBeforeSmtp->isChecked();
    for (QWidget* field :
         std::initializer_list<QWidget*>{m_popServer, m_popPort, m_popSecurity, m_apop}) {
        field->setEnabled(pop);
    }
    m_connectionName->setEnabled(m_connection->isChecked());
}

// A port still at the standard of the security shown before follows the new security; a
// port the user chose stays.
void CMailSettingDlg::OnSmtpSecurityChanged(int /*index*/) {
    const int security = SecurityIn(m_smtpSecurity);
    if (NumberIn(m_smtpPort) == StandardSmtpPort(m_smtpSecurityShown)) {
        m_smtpPort->setText(QString::number(StandardSmtpPort(security)));
    }
    m_smtpSecurityShown = security;
}

void CMailSettingDlg::OnPopSecurityChanged(int /*index*/) {
    const int security = SecurityIn(m_popSecurity);
    if (NumberIn(m_popPort) == StandardPopPort(m_popSecurityShown)) {
        m_popPort->setText(QString::number(StandardPopPort(security)));
    }
    m_popSecurityShown = security;
}

QWidget* CMailSettingDlg::FieldWidget(EMailSettingField field) const {
    switch (field) {
        case EMailSettingField::EmailAddress:
            return m_emailAddress;
        case EMailSettingField::SmtpServer:
            return m_smtpServer;
        case EMailSettingField::SmtpPort:
            return m_smtpPort;
        case EMailSettingField::SmtpPassword:
            return m_smtpPassword;
        case EMailSettingField::PopServer:
            return m_popServer;
        case EMailSettingField::PopPort:
            return m_popPort;
        case EMailSettingField::Password:
            return m_password;
        case EMailSettingField::Timeout:
            return m_timeout;
        case EMailSettingField::None:
            break;
    }
    return nullptr;
}

// Every text field must be storable in code page 932; the first that is not is named by
// the message and gets the focus.
bool CMailSettingDlg::TextsStorable() {
    for (QLineEdit* edit : {m_sender, m_emailAddress, m_userId, m_password, m_smtpServer,
                            m_smtpUserId, m_smtpPassword, m_popServer, m_connectionName}) {
        if (!CheckStorableText(this, windowTitle(), edit->text())) {
            edit->setFocus();
            edit->selectAll();
            return false;
        }
    }
    return true;
}

void CMailSettingDlg::OnOK() {
    if (!TextsStorable()) return;
    const CMailSettings settings = Gathered();
    const CMailSettingsProblem problem = CheckMailSettings(settings);
    if (problem.field != EMailSettingField::None) {
        CMessageService::MessageBox(this, problem.message, windowTitle(),
                                    CMessageService::EIcon::Warning);
        if (QWidget* field = FieldWidget(problem.field)) {
            field->setFocus();
            if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
        }
        return;
    }
    QString error;
    if (!settings.Save(&error)) {
        CMessageService::MessageBox(
            this,
            QStringLiteral("メール送信の設定を保存できませんでした。\n"
                           "データベースフォルダーに書き込めるか確かめてください。\n%1")
                .arg(error),
            windowTitle(), CMessageService::EIcon::Warning);
        return;
    }
    accept();
}

bool CVeloComDlg::OpenMailSetting(QWidget* parent) {
    QWidget* owner = parent != nullptr ? parent : QApplication::activeWindow();
    CMailSettingDlg dialog(owner);
    return dialog.exec() == QDialog::Accepted;
}
