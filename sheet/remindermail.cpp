#include "sheet/remindermail.h"

#include <QStringList>
#include <chrono>
#include <cstring>
#include <thread>

#include "recman/recman.h"
#include "sheet/bookingstrings.h"
#include "sheet/mail/duvuzedi.h"
#include "sheet/mail/mailtext.h"
#include "sheet/mail/rasdialer.h"
#include "sheet/reservedsearch.h"
#include "suite/comdlg/tablehelpers.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/basedbcall.h"
#include "suite/dbcall/maildb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/tabledb.h"
#include "suite/text/cp932.h"
#include "suite/text/globalsettings.h"
#include "suite/text/inifile.h"
#include "suite/text/privatefiles.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/strings.h"

namespace velo::sheet {
namespace {

using comdlg::FieldText;
using velo::mail::CDuvuZedi;
using velo::mail::ShowMailMessage;
using velo::mail::Sjis;

constexpr char kMailer[] = "Calyx Mailler ver. 1.0";
constexpr auto kPopToSmtpPause = std::chrono::milliseconds(300);
constexpr auto kPauseSlice = std::chrono::milliseconds(20);
constexpr int kContactedState = 2;
constexpr char kLastNumber[] = "9999999999";

std::string Setting(const char* key) {
    return QStringToCp932(CVeloSubTools::GetGlobalSettingString("EMail", key, QString()));
}

int IntSetting(const char* key, int def) {
    return CVeloSubTools::GetGlobalSettingInt("EMail", key, def);
}

void RegisterReminderStrings() {
    RegisterStrings({
        {kIdsReminderNoTemplate,
         "予約お知らせメールに使うテンプレートが選ばれていません。\n"
         "メールのテンプレートの設定で選んでください。"},
        {kIdsReminderAddressRefused,
         "次の患者様へのメールは、メールアドレスがサーバーに受け付けられなかったため"
         "送信できませんでした。\n%1"},
    });
    RegisterBookingStrings();
}

void ShowRunMessage(const QString& text) {
    CMessageService::MessageBox(nullptr, text, QStringLiteral("メール送信"),
                                CMessageService::EIcon::Warning);
}

std::string MailFolder(CVeloDBSys* db) {
    std::string folder = db != nullptr ? db->GetDatabaseFolder() : std::string();
    if (folder.empty()) folder = CGlobalSettings::DatabaseFolder();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + "Mail/";
}

std::string Number10(long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "%010lld", value);
    return text;
}

// The highest MailID in the file and the highest MailNo among sent mails, each plus one.
int NextMailNumbers(CSentAndReceivedDB& table, long long* mailId, long long* mailNo) {
    *mailId = 1;
    *mailNo = 1;
    table.SetKey(CSentAndReceivedDB::kKeyMailID);
    table.SetKeyBuffer(kLastNumber, sizeof table.m_Data.MailID);
    int status = table.GetLEEQ();
    if (status == recman::kOk) *mailId = std::atoll(FieldText(table.m_Data.MailID).c_str()) + 1;
    else if (status != recman::kKeyNotFound && status != recman::kEndOfFile) return status;

    struct {
        uint8_t direction;
        char mailNo[sizeof table.m_Data.MailNo];
    } key{};
    std::memcpy(key.mailNo, kLastNumber, sizeof kLastNumber);
    table.SetKey(CSentAndReceivedDB::kKeyDirectionMailNo);
    table.SetKeyBuffer(&key, sizeof key);
    status = table.GetLEEQ();
    if (status == recman::kOk && table.m_Data.Direction == 0)
        *mailNo = std::atoll(FieldText(table.m_Data.MailNo).c_str()) + 1;
    else if (status != recman::kOk && status != recman::kKeyNotFound && status != recman::kEndOfFile)
        return status;
    return recman::kOk;
}

// Marks the reservation as reminded by mail today and gives its patient. Returns the status
// of the read (recman::kKeyNotFound when the reservation is gone) or of the update. The read
// and the update are one transaction, so a change another workstation makes to the
// reservation meanwhile (a new time, a cancellation) is not overwritten by the record read
// before it.
int MarkReservationMailed(CVeloDBSys* db, const std::string& reservationNo, std::string* patientId) {
    CReservationDB reservations;
    int status = reservations.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    return CBaseDBCall::RunInTransaction([&]() -> int {
        const int read = reservations.GetReservationData(reservationNo.c_str());
        if (read != recman::kOk) return read;
        tagRESERVATIONDB& r = reservations.m_Data;
        SetField(r.ContactDate, CDate::ToYmd(CDate::Today()).c_str());
        r.ContactStatus = kContactedState;
        r.ContactMethod = kContactByMail;
        *patientId = FieldText(r.PatientID);
        return reservations.Update();
    });
}

class CReminderRun {
public:
    CReminderRun(CVeloDBSys* db, velo::mail::IMailStatusWindow* status, const ReminderHooks& hooks,
                 const ReminderRunOptions& options)
        : m_db(db), m_status(status), m_hooks(hooks), m_options(options),
          m_settings(options.settings ? *options.settings : ReadReminderSettings()) {}

    ReminderRunResult Run(const std::vector<ReminderRow>& rows) {
        RegisterReminderStrings();
        // Without a chosen template there is nothing to send; nothing is dialled either.
        if (m_settings.templateNumber < 0) {
            ShowRunMessage(LoadString(kIdsReminderNoTemplate));
            return m_result;
        }
        m_folder = MailFolder(m_db);
        // The sent mails hold patients' names and addresses: their folder is closed to others.
        // One that cannot be made fails the first mail's keeping, with its message.
        std::string ignored;
        privatefiles::MakePrivateFolder(m_folder, &ignored);
        if (m_settings.dialUp && !DialUp()) return m_result;
        m_mail.SetStatusWindow(m_status);
        m_mail.SetMailer(kMailer);
        if (m_options.socketOptions) m_mail.SetSocketOptions(*m_options.socketOptions);
        if (m_settings.popBeforeSmtp && !LogInToPop3()) {
            m_result.stopped = true;
            HangUpIfDialled();
            return m_result;
        }
        if (!ConnectSmtp()) {
            m_result.stopped = m_mail.LastFailure() == CDuvuZedi::EFailure::kCancelled;
            HangUpIfDialled();
            return m_result;
        }
        m_result.connected = true;
        SendRows(rows);
        m_mail.Disconnect();
        HangUpIfDialled();
        ReportRefusedRows();
        return m_result;
    }

private:
    bool DialUp() {
        m_dialer.SetStatusWindow(m_status);
        if (m_dialer.IsAnyConnectionOpen()) return true;
        if (m_dialer.Dial(m_settings.connectionName.c_str(), nullptr, nullptr) != 0) {
            m_dialled = true;
            return true;
        }
        if (m_dialer.Failed()) {
            ShowMailMessage(Sjis("回線が切断されたか、又は、ダイアルアップの設定が正しくありません"),
                            velo::mail::EMailMessageIcon::Information);
            m_dialer.HangUp();
        } else {
            ShowMailMessage(Sjis("ダイヤルアップ接続が失敗しました。"));
        }
        return false;
    }

    void HangUpIfDialled() {
        if (m_dialled) m_dialer.HangUp();
        m_dialled = false;
    }

    // A failed login has shown its message; some servers take SMTP anyway, so the run goes
    // on. False only when the user stopped the run during the login or the pause after it.
    bool LogInToPop3() {
        const ReminderSettings& s = m_settings;
        m_mail.SetServer(CDuvuZedi::kPop3, s.popServer.c_str(), s.account.c_str(),
                         s.password.c_str(), s.apop);
        m_mail.Connect(CDuvuZedi::kPop3, s.popServer.c_str(), s.popPort, s.account.c_str(),
                       s.password.c_str(), s.apop);
        if (m_mail.LastFailure() == CDuvuZedi::EFailure::kCancelled) return false;
        m_mail.Disconnect();
        return PauseKeepingWindowAlive(kPopToSmtpPause);
    }

    // Waits, letting the window's events through as the sessions' waits do; false when the
    // user asked to stop meanwhile.
    bool PauseKeepingWindowAlive(std::chrono::milliseconds pause) {
        const auto end = std::chrono::steady_clock::now() + pause;
        for (auto now = std::chrono::steady_clock::now(); now < end;
             now = std::chrono::steady_clock::now()) {
            if (m_status != nullptr && m_status->WhileWaiting()) return false;
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(kPauseSlice, end - now));
        }
        return true;
    }

    bool ConnectSmtp() {
        const ReminderSettings& s = m_settings;
        m_mail.SetServer(CDuvuZedi::kSmtp, s.smtpServer.c_str(), s.account.c_str());
        m_mail.SetFrom(s.senderAddress, s.senderName);
        return m_mail.Connect(CDuvuZedi::kSmtp, s.smtpServer.c_str(), s.smtpPort,
                              s.account.c_str()) != 0;
    }

    void SendRows(const std::vector<ReminderRow>& rows) {
        QString title, subject, body;
        CGlobalSettings::GetReservationTemplate(m_settings.templateNumber, &title, &subject, &body);
        const QDateTime started =
            m_options.startedAt.isValid() ? m_options.startedAt : QDateTime::currentDateTime();
        CSentAndReceivedDB sent;
        if (sent.SetAssociatedDB(m_db) != recman::kOk) return;  // nothing can be recorded
        const std::string subjectBytes = QStringToCp932(subject);
        for (size_t i = 0; i < rows.size(); ++i) {
            if (m_hooks.stopRequested && m_hooks.stopRequested()) {
                m_result.stopped = true;
                return;
            }
            const ReminderRow& row = rows[i];
            if (!row.checked) continue;
            m_mail.SetRecipients(QStringToCp932(row.mail).c_str());
            if (m_hooks.showPatient) m_hooks.showPatient(row.name);
            m_mail.SetSubjectAndBody(subjectBytes,
                                     QStringToCp932(FillReminderTemplate(body, row, started)));
            if (m_mail.Send(0) == 0) {
                const CDuvuZedi::EFailure failure = m_mail.LastFailure();
                if (failure == CDuvuZedi::EFailure::kCancelled) {
                    m_result.stopped = true;
                    return;
                }
                if (failure != CDuvuZedi::EFailure::kRecipientsRefused) {
                    m_result.sendFailed = true;
                    return;
                }
                // One wrong address costs its own row only; the row stays ticked, and the
                // rows are reported together once the connection is closed.
                ++m_result.refused;
                m_refusedRows << QStringLiteral("%1 様　%2")
                                     .arg(row.name, Cp932ToQString(m_mail.LastErrorText()));
                if (m_hooks.showPatient) m_hooks.showPatient(QString());
                continue;
            }
            ++m_result.sent;
            if (m_hooks.showPatient) m_hooks.showPatient(QString());
            RecordSentMail(sent, i, row);
        }
    }

    void ReportRefusedRows() {
        if (m_refusedRows.isEmpty()) return;
        ShowRunMessage(LoadString(kIdsReminderAddressRefused).arg(m_refusedRows.join(u'\n')));
    }

    // Marks the reservation, keeps the message file and records the mail. The file is
    // written before the record, so a recorded mail always has its file; a mail that went
    // out but could not be kept says so. A reservation deleted since the search leaves
    // nothing to mark or record the mail against. Any other failure to mark it is shown,
    // and the mail is still kept and recorded: it did go out, and the record and the
    // unticked row are what stop the next run from sending it again.
    void RecordSentMail(CSentAndReceivedDB& sent, size_t index, const ReminderRow& row) {
        std::string patientId = row.patientId;
        const int marked = MarkReservationMailed(m_db, row.reservationNo, &patientId);
        if (marked == recman::kKeyNotFound) return;
        if (m_hooks.rowMailed) m_hooks.rowMailed(index);
        KeepSentMail(sent, row, patientId);
        if (marked != recman::kOk) ShowRunMessage(LoadString(kIdsUpdateFailed));
    }

    void KeepSentMail(CSentAndReceivedDB& sent, const ReminderRow& row,
                      const std::string& patientId) {
        long long mailId = 0, mailNo = 0;
        const int status = CBaseDBCall::RunInTransaction([&]() -> int {
            int st = NextMailNumbers(sent, &mailId, &mailNo);
            if (st != recman::kOk) return st;
            const std::string file = m_folder + Number10(mailNo) + ".eml";
            if (m_mail.SaveLastMessage(file) != 0) return recman::kIoError;
            sent.ClearData();
            SetField(sent.m_Data.MailID, Number10(mailId).c_str());
            sent.m_Data.Direction = 0;
            const std::string stamp = m_mail.LastMessage().DateStamp() + m_mail.LastMessage().TimeStamp();
            SetField(sent.m_Data.SentDateTime, stamp.c_str());
            SetField(sent.m_Data.MailNo, Number10(mailNo).c_str());
            SetField(sent.m_Data.PatientID, patientId.c_str());
            char sender[8];
            std::snprintf(sender, sizeof sender, "%03d", m_options.senderNumber % 1000);
            SetField(sent.m_Data.SenderCode, sender);
            return sent.Insert();
        });
        if (status == recman::kOk) {
            ++m_result.recorded;
            return;
        }
        CMessageService::MessageBox(
            nullptr,
            QStringLiteral("%1 様へのメールは送信しましたが、送信記録を保存できませんでした。")
                .arg(row.name),
            QStringLiteral("メール送信"), CMessageService::EIcon::Warning);
    }

    CVeloDBSys* m_db;
    velo::mail::IMailStatusWindow* m_status;
    const ReminderHooks& m_hooks;
    const ReminderRunOptions& m_options;
    ReminderSettings m_settings;
    std::string m_folder;
    CDuvuZedi m_mail;
    velo::mail::CRasDialer m_dialer;
    bool m_dialled = false;
    QStringList m_refusedRows;  // "name 様　the server's refusal", one per row not sent
    ReminderRunResult m_result;
};

}  // namespace

ReminderSettings ReadReminderSettings() {
    ReminderSettings s;
    s.dialUp = IntSetting("Connection", 1) == 1;
    s.connectionName = Setting("ConnectionName");
    s.smtpServer = Setting("Stmp");
    s.smtpPort = IntSetting("SMTP_Port", 25);
    s.senderName = Setting("Sender");
    s.senderAddress = Setting("EmailAddress");
    s.account = Setting("UserID");
    s.password = Setting("Password");
    s.popServer = Setting("Pop");
    s.popPort = IntSetting("POP3_Port", 110);
    s.popBeforeSmtp = IntSetting("POPbeforeSMTP", 0) == 1;
    s.apop = IntSetting("APOP", 0);
    // Removing the chosen template stores an empty choice: no template, not template 0.
    const int chosen = CIniFile::ParseInt(
        CVeloSubTools::GetGlobalSettingString("Email", "ReservationTemplate", QString()), -1);
    s.templateNumber = chosen >= 0 ? chosen : -1;
    return s;
}

QString FillReminderTemplate(const QString& body, const ReminderRow& row, const QDateTime& startedAt) {
    QString filled = body;
    filled.replace(QStringLiteral("$_PNAME"), row.name);
    filled.replace(QStringLiteral("$_REDATE"), row.date);
    filled.replace(QStringLiteral("$_RETIME"), row.time);
    filled.replace(QStringLiteral("$_DATETIME"),
                   startedAt.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")));
    return filled;
}

ReminderRunResult RunReminderMail(CVeloDBSys* db, const std::vector<ReminderRow>& rows,
                                  velo::mail::IMailStatusWindow* status, const ReminderHooks& hooks,
                                  const ReminderRunOptions& options) {
    return CReminderRun(db, status, hooks, options).Run(rows);
}

}  // namespace velo::sheet
