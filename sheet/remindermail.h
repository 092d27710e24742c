// The reminder mail run: for every ticked row of the reserved-patient list, a mail built
// from the stored reminder template is sent over one SMTP connection (after the dial-up
// link and the POP3 login when the settings ask for them); the reservation is marked as
// contacted by mail, a copy of the message is kept as "<MailNo>.eml" in the mail folder and
// the sent mail is recorded. The run knows nothing of widgets: the "メール送信" dialog
// hands it the rows and hooks that show progress and update the list.
#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sheet/mail/mailsocket.h"

class CVeloDBSys;

namespace velo::mail {
class IMailStatusWindow;
}

namespace velo::sheet {

// The run's own texts in the suite's string table.
constexpr int kIdsReminderNoTemplate = 19350;      // no template chosen for reminders
constexpr int kIdsReminderAddressRefused = 19351;  // %1 the rows whose address was refused

// The settings a run reads, all from section "EMail" except the template number.
struct ReminderSettings {
    bool dialUp = true;  // "Connection" 1
    std::string connectionName;
    std::string smtpServer;  // "Stmp"
    int smtpPort = 25;
    std::string senderName, senderAddress;
    std::string account, password;  // "UserID", "Password"
    std::string popServer;
    int popPort = 110;
    bool popBeforeSmtp = false;
    int apop = 0;
    // "ReservationTemplate" of section "Email"; -1 when none is chosen (stored empty).
    int templateNumber = -1;
};

// Reads them (code page 932 texts, as the mail library takes them).
ReminderSettings ReadReminderSettings();

// A row of the list as the run sees it.
struct ReminderRow {
    bool checked = false;
    std::string reservationNo;
    std::string patientId;           // as the search found it (the reservation's own wins)
    QString name, date, time, mail;  // as the list shows them
};

struct ReminderHooks {
    // Lets waiting window events through and tells whether the user asked to stop; asked
    // before each row.
    std::function<bool()> stopRequested;
    // The patient being sent to ("" when done with one).
    std::function<void(const QString& name)> showPatient;
    // A row was mailed to a patient whose reservation is still there (marked as contacted
    // by mail today, unless saving the mark failed): show its contact columns again from
    // the reservation and untick it, so that the next run does not mail the patient again.
    std::function<void(size_t row)> rowMailed;
};

struct ReminderRunOptions {
    // Replaces the settings for tests; read from the settings when not given.
    std::optional<ReminderSettings> settings;
    // Socket options for the sessions instead of those of the settings (tests).
    std::optional<velo::mail::MailSocketOptions> socketOptions;
    int senderNumber = 0;  // the staff member chosen as sender, stored "%03d"
    // The moment "$_DATETIME" shows; now when not set.
    QDateTime startedAt;
};

struct ReminderRunResult {
    bool connected = false;      // SMTP was reached
    int sent = 0;                // mails handed to the server
    int recorded = 0;            // of those, recorded with their file
    int refused = 0;             // rows not sent: the server refused the address
    bool stopped = false;        // the user stopped the run
    bool sendFailed = false;     // a send failed and ended the loop
};

// The body of one mail: the template body with "$_PNAME", "$_REDATE", "$_RETIME" and
// "$_DATETIME" replaced wherever they occur (exact case).
QString FillReminderTemplate(const QString& body, const ReminderRow& row, const QDateTime& startedAt);

// Runs the whole sending; messages of the failures are shown on the way (through the
// message service), so the result is for the caller's bookkeeping and for tests.
ReminderRunResult RunReminderMail(CVeloDBSys* db, const std::vector<ReminderRow>& rows,
                                  velo::mail::IMailStatusWindow* status,
                                  const ReminderHooks& hooks, const ReminderRunOptions& options);

}  // namespace velo::sheet
