// The reminder mail's settings dialog: the sender and account, the SMTP and POP servers,
// the dial-up connection and the connection's security and time-out. It shows the stored
// settings, enables each field only when the check box it depends on is on, checks the
// input on OK and writes it (CMailSettings); anything refused keeps the dialog open with
// the input as typed.
#pragma once

#include <QDialog>

#include "suite/comdlg/mailsettings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QWidget;

class CMailSettingDlg final : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the widgets' object names; 1 is OK and 2 ｷｬﾝｾﾙ.
    enum : int {
        kIdSender = 1201,
        kIdEmailAddress = 1202,
        kIdUserId = 1203,
        kIdPassword = 1204,
        kIdSmtpServer = 1205,
        kIdSmtpPort = 1206,
        kIdSmtpSecurity = 1207,
        kIdSmtpAuth = 1208,
        kIdSmtpUserId = 1209,
        kIdSmtpPassword = 1210,
        kIdPopBeforeSmtp = 1211,
        kIdPopServer = 1212,
        kIdPopPort = 1213,
        kIdPopSecurity = 1214,
        kIdApop = 1215,
        kIdConnection = 1216,
        kIdConnectionName = 1217,
        kIdTlsVerify = 1218,
        kIdTimeout = 1219,
    };

    explicit CMailSettingDlg(QWidget* parent = nullptr);
    CMailSettingDlg(const CMailSettingDlg&) = delete;
    CMailSettingDlg& operator=(const CMailSettingDlg&) = delete;

    // The settings as the fields hold them now. A port or time-out that is not a number
    // reads as 0; the POP port of a disabled POP group that is not a valid port keeps the
    // value the dialog was opened with, since nothing there can be corrected.
    CMailSettings Gathered() const;

private:
    void Show(const CMailSettings& settings);
    void OnOK();
    void UpdateEnabling();
    void OnSmtpSecurityChanged(int index);
    void OnPopSecurityChanged(int index);
    bool TextsStorable();
    QWidget* FieldWidget(EMailSettingField field) const;

    CMailSettings m_loaded;
    QLineEdit* m_sender = nullptr;
    QLineEdit* m_emailAddress = nullptr;
    QLineEdit* m_userId = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_smtpServer = nullptr;
    QLineEdit* m_smtpPort = nullptr;
    QComboBox* m_smtpSecurity = nullptr;
    QCheckBox* m_smtpAuth = nullptr;
    QLineEdit* m_smtpUserId = nullptr;
    QLineEdit* m_smtpPassword = nullptr;
    QCheckBox* m_popBeforeSmtp = nullptr;
    QLineEdit* m_popServer = nullptr;
    QLineEdit* m_popPort = nullptr;
    QComboBox* m_popSecurity = nullptr;
    QCheckBox* m_apop = nullptr;
    QCheckBox* m_connection = nullptr;
    QLineEdit* m_connectionName = nullptr;
    QCheckBox* m_tlsVerify = nullptr;
    QLineEdit* m_timeout = nullptr;
    int m_smtpSecurityShown = kMailSecurityNone;
    int m_popSecurityShown = kMailSecurityNone;
};
