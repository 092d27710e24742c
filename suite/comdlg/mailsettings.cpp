// CMailSettings: the "EMail" keys read through CVeloSubTools and written together in one
// rewrite of the settings file, and the checks that keep an unusable address, server name
// or port out of the settings.
#include "suite/comdlg/mailsettings.h"

#include <functional>
#include <vector>

#include "suite/comdlg/velosubtools.h"
#include "suite/text/globalsettings.h"

namespace {

constexpr char kSection[] = "EMail";

// One stored key: how to read it into the settings and the text it is stored as.
struct Key {
    const char* name;
    std::function<void(CMailSettings&)> load;
    std::function<QString(const CMailSettings&)> text;
};

Key IntKey(const char* name, int CMailSettings::*field) {
    return {name,
            [name, field](CMailSettings& s) {
                s.*field = CVeloSubTools::GetGlobalSettingInt(kSection, name, s.*field);
            },
            [field](const CMailSettings& s) { return QString::number(s.*field); }};
}

Key FlagKey(const char* name, bool CMailSettings::*field) {
    return {name,
            [name, field](CMailSettings& s) {
                s.*field =
                    CVeloSubTools::GetGlobalSettingInt(kSection, name, s.*field ? 1 : 0) != 0;
            },
            [field](const CMailSettings& s) { return QString::number(s.*field ? 1 : 0); }};
}

Key TextKey(const char* name, QString CMailSettings::*field) {
    return {name,
            [name, field](CMailSettings& s) {
                s.*field = CVeloSubTools::GetGlobalSettingString(kSection, name, s.*field);
            },
            [field](const CMailSettings& s) { return s.*field; }};
}

// Every key of the section, in the order the dialog shows them.
const std::vector<Key>& Keys() {
    static const std::vector<Key> keys = {
        TextKey("Sender", &CMailSettings::sender),
        TextKey("EmailAddress", &CMailSettings::emailAddress),
        TextKey("UserID", &CMailSettings::userId),
        TextKey("Password", &CMailSettings::password),
        TextKey("Stmp", &CMailSettings::smtpServer),
        IntKey("SMTP_Port", &CMailSettings::smtpPort),
        IntKey("SmtpSecurity", &CMailSettings::smtpSecurity),
        FlagKey("SmtpAttach", &CMailSettings::smtpAuth),
        TextKey("SmtpUserID", &CMailSettings::smtpUserId),
        TextKey("SmtpPassword", &CMailSettings::smtpPassword),
        FlagKey("POPbeforeSMTP", &CMailSettings::popBeforeSmtp),
        TextKey("Pop", &CMailSettings::popServer),
        IntKey("POP3_Port", &CMailSettings::popPort),
        IntKey("PopSecurity", &CMailSettings::popSecurity),
        FlagKey("APOP", &CMailSettings::apop),
        FlagKey("Connection", &CMailSettings::connection),
        TextKey("ConnectionName", &CMailSettings::connectionName),
        FlagKey("TlsVerify", &CMailSettings::tlsVerify),
        IntKey("Timeout", &CMailSettings::timeout),
    };
    return keys;
}

bool KnownSecurity(int security) {
    return security == kMailSecurityNone || security == kMailSecurityStartTls ||
           security == kMailSecurityTls;
}

// Printable ASCII without blanks: what a host name or an address may hold on the wire.
bool IsWireText(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() <= u' ' || c.unicode() > u'~') return false;
    }
    return true;
}

// local@domain with exactly one "@", something on either side, and a domain that neither
// starts nor ends with "." nor holds "..".
bool IsMailAddress(const QString& address) {
    if (!IsWireText(address) || address.count(u'@') != 1) return false;
    const qsizetype at = address.indexOf(u'@');
    const QString local = address.left(at);
    const QString domain = address.mid(at + 1);
    return !local.isEmpty() && !domain.isEmpty() && !domain.startsWith(u'.') &&
           !domain.endsWith(u'.') && !domain.contains(QStringLiteral(".."));
}

bool InPortRange(int port) { return port >= kMinMailPort && port <= kMaxMailPort; }

// The mail servers read the passwords with the blanks around them; the settings file
// does not keep such blanks, so they would be lost without a word.
bool HasOuterBlanks(const QString& text) {
    return !text.isEmpty() && (text.front() == u' ' || text.front() == u'\t' ||
                               text.back() == u' ' || text.back() == u'\t');
}

CMailSettingsProblem Problem(EMailSettingField field, const QString& message) {
    return {field, message};
}

QString PortMessage(const QString& server) {
    return QStringLiteral("%1のポート番号は%2から%3までの数で入力してください。")
        .arg(server)
        .arg(kMinMailPort)
        .arg(kMaxMailPort);
}

QString ServerNameMessage(const QString& server) {
    return QStringLiteral("%1サーバー名に空白や全角文字は使えません。").arg(server);
}

}  // namespace

CMailSettings CMailSettings::Load() {
    CMailSettings settings;
    for (const Key& key : Keys()) key.load(settings);
    if (settings.timeout <= 0) settings.timeout = CMailSettings().timeout;
    if (!KnownSecurity(settings.smtpSecurity)) settings.smtpSecurity = kMailSecurityNone;
    if (!KnownSecurity(settings.popSecurity)) settings.popSecurity = kMailSecurityNone;
    return settings;
}

bool CMailSettings::Save(QString* error) const {
    std::vector<CIniValue> values;
    values.reserve(Keys().size());
    const QString section = QString::fromLatin1(kSection);
    for (const Key& key : Keys()) {
        values.push_back({section, QString::fromLatin1(key.name), key.text(*this)});
    }
    std::string reason;
    if (CGlobalSettings::SetValues(values, &reason)) return true;
    if (error != nullptr) *error = QString::fromLocal8Bit(reason.c_str());
    return false;
}

CMailSettingsProblem CheckMailSettings(const CMailSettings& s) {
    if (!s.emailAddress.isEmpty() && !IsMailAddress(s.emailAddress)) {
        return Problem(EMailSettingField::EmailAddress,
                       QStringLiteral("差出人のメールアドレスが正しくありません。\n"
                                      "「@」を一つ含み、空白や全角文字のないアドレスを"
                                      "入力してください。"));
    }
    if (HasOuterBlanks(s.password)) {
        return Problem(EMailSettingField::Password,
                       QStringLiteral("パスワードの前後に空白は使えません。"));
    }
    if (!IsWireText(s.smtpServer)) {
        return Problem(EMailSettingField::SmtpServer, ServerNameMessage(QStringLiteral("SMTP")));
    }
    if (!InPortRange(s.smtpPort)) {
        return Problem(EMailSettingField::SmtpPort, PortMessage(QStringLiteral("SMTP")));
    }
    if (s.smtpAuth && HasOuterBlanks(s.smtpPassword)) {
        return Problem(EMailSettingField::SmtpPassword,
                       QStringLiteral("SMTP認証のパスワードの前後に空白は使えません。"));
    }
    if (s.popBeforeSmtp) {
        if (s.popServer.isEmpty()) {
            return Problem(EMailSettingField::PopServer,
                           QStringLiteral("POP before SMTPを使用するときは、"
                                          "POPサーバー名を入力してください。"));
        }
        if (!IsWireText(s.popServer)) {
            return Problem(EMailSettingField::PopServer, ServerNameMessage(QStringLiteral("POP")));
        }
        if (!InPortRange(s.popPort)) {
            return Problem(EMailSettingField::PopPort, PortMessage(QStringLiteral("POP")));
        }
    }
    if (s.timeout < kMinMailTimeout || s.timeout > kMaxMailTimeout) {
        return Problem(EMailSettingField::Timeout,
                       QStringLiteral("タイムアウトは%1秒から%2秒までの数で入力してください。")
                           .arg(kMinMailTimeout)
                           .arg(kMaxMailTimeout));
    }
    return {};
}

int StandardSmtpPort(int security) {
    switch (security) {
        case kMailSecurityStartTls:
            return 587;
        case kMailSecurityTls:
            return 465;
        default:
            return 25;
    }
}

int StandardPopPort(int security) { return security == kMailSecurityTls ? 995 : 110; }
