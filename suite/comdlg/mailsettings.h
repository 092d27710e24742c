// The reminder mail's account and connection settings (section "EMail" of the suite
// settings) as one value: read with their defaults, checked before they are stored, and
// written all together. The mail library reads the same keys at the start of every run, so
// the key names here are fixed and "Stmp" is spelled the way the stored files spell it.
#pragma once

#include <QString>

// Security of a mail connection, as the mail library counts it.
enum EMailSecurity : int { kMailSecurityNone = 0, kMailSecurityStartTls = 1, kMailSecurityTls = 2 };

struct CMailSettings {
    // ダイヤルアップ
    bool connection = true;  // "Connection"
    QString connectionName;  // "ConnectionName"
    // SMTP
    QString smtpServer;                    // "Stmp"
    int smtpPort = 25;                     // "SMTP_Port"
    int smtpSecurity = kMailSecurityNone;  // "SmtpSecurity"
    bool smtpAuth = false;                 // "SmtpAttach"
    QString smtpUserId;                    // "SmtpUserID"
    QString smtpPassword;                  // "SmtpPassword"
    // POP
    QString popServer;                    // "Pop"
    int popPort = 110;                    // "POP3_Port"
    int popSecurity = kMailSecurityNone;  // "PopSecurity"
    bool popBeforeSmtp = false;           // "POPbeforeSMTP"
    bool apop = false;                    // "APOP"
    // 送信者
    QString userId;        // "UserID"
    QString password;      // "Password"
    QString sender;        // "Sender", the display name
    QString emailAddress;  // "EmailAddress"
    // 接続
    bool tlsVerify = true;  // "TlsVerify"
    int timeout = 60;       // "Timeout", seconds

    bool operator==(const CMailSettings&) const = default;

    // The stored settings, each missing key at its default. A stored time-out of 0 or
    // less (which the mail library reads as the default) comes back as the default, and a
    // security value the library does not know as kMailSecurityNone.
    static CMailSettings Load();

    // Writes every key in one rewrite of the suite settings file, so the file holds either
    // all the new values or all the old ones. On failure returns false with the reason in
    // *error.
    bool Save(QString* error = nullptr) const;
};

// The fields a problem found by CheckMailSettings points at.
enum class EMailSettingField {
    None,
    EmailAddress,
    SmtpServer,
    SmtpPort,
    SmtpPassword,
    PopServer,
    PopPort,
    Password,
    Timeout,
};

struct CMailSettingsProblem {
    EMailSettingField field = EMailSettingField::None;
    QString message;  // in the words the dialog shows
};

inline constexpr int kMinMailPort = 1;
inline constexpr int kMaxMailPort = 65535;
inline constexpr int kMinMailTimeout = 5;
inline constexpr int kMaxMailTimeout = 600;

// The first problem that keeps the settings from being stored, in the order the dialog
// shows its fields; field None when there is none. The POP server and port are checked
// only when POP before SMTP is on, since nothing reads them otherwise. Texts that code page
// 932 cannot hold are not checked here (the dialog asks CheckStorableText).
CMailSettingsProblem CheckMailSettings(const CMailSettings& settings);

// The port a server normally listens on for that security: 25/587/465 for SMTP,
// 110/110/995 for POP.
int StandardSmtpPort(int security);
int StandardPopPort(int security);
