// Sending a reminder run's mail: 1,000 messages of about 2 KB (Japanese subject and body)
// over one SMTP connection to a local aiosmtpd server, against Python's smtplib sending the
// same messages to the same server in the same run.
//
// Ours goes through CDuvuZedi as the reminder run does: each message is composed, built
// (ISO-2022-JP, encoded words) and sent, timed from connect to quit. smtplib
// (bench/mail_smtplib.py, run by /usr/bin/python3) sends the very messages ours sent in an
// untimed first pass, byte for byte as the server received them, and times itself from
// connect to quit, so its figure leaves out the interpreter's start and the building. Both
// greet with HELO, send MAIL, RCPT, DATA and the data for each message over one connection
// and end with QUIT; the server only counts what it accepts, the same for both. The one
// difference is in smtplib's favour: ours builds every message inside its time.
//
// Each repetition is a pair: the batch through ours and through smtplib, one straight
// after the other, the side that goes first alternating. The machine is shared, and a busy
// spell then weighs on both times of a pair alike; the RATIO line gives the median of the
// pairs' ratios. The server and both clients keep to one processor (the reminder run too),
// so that where the system places them does not decide the figure either.
//
// ReminderRun200 is the whole reminder run of the search window over 200 ticked rows:
// RunReminderMail on a copy of the demo clinic named by VELO_BENCH_DB (placed on /dev/shm
// when it has room, so the record manager's syncs cost nothing), with the settings handed
// in (no dial-up, the same server) and the clinic's own reminder template. The rows are
// booked reservations of active patients with a mail address, from today on, as the
// reserved-patient search lists them. Each run builds and sends 200 mails, marks 200
// reservations, writes 200 .eml files and 200 sent-mail records; between runs (untimed) the
// marks are put back and the records and files removed, after checking that all of them
// are there, so every run does the same work. Python's smtplib then sends the same 200
// messages (the kept copies, to one envelope recipient) over one connection, for
// comparison only: it neither builds nor records. Without VELO_BENCH_DB this case is left
// out.
//
// The run ends in a RATIO line (ours / smtplib of MailSend, target 1.0) and FIGURE lines
// that scripts/bench collects.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ratioreporter.h"
#include "recman/recman.h"
#include "sheet/mail/duvuzedi.h"
#include "sheet/mail/mailtext.h"
#include "sheet/mail/mimemessage.h"
#include "sheet/mail/smtpsession.h"
#include "sheet/mail/tests/smtptestserver.h"
#include "sheet/remindermail.h"
#include "sheet/reservation.h"
#include "sheet/reservedsearch.h"
#include "suite/comdlg/tablehelpers.h"
#include "suite/dbcall/maildb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"

namespace {

using namespace velo::mail;
namespace fs = std::filesystem;
using comdlg::FieldText;

constexpr int kMessages = 1000;
// Repetitions of MailSend, each a pair of runs: ours and smtplib's.
constexpr int kMailSendPairs = 9;
constexpr const char* kSender = "clinic@example.jp";
constexpr const char* kRecipient = "patient@example.jp";
constexpr size_t kReminderRows = 200;
// The reminder rows are gathered from today on in steps of this many days, up to kSearchSpanDays.
constexpr int kSearchStepDays = 31;
constexpr int kSearchSpanDays = 3 * 366;

struct MailText {
    std::string subject;  // code page 932
    std::string body;
};

// About 2 KB once in ISO-2022-JP: a reminder's greeting, the appointment and the notes a
// clinic adds, with the patient's number to tell the messages apart.
std::vector<MailText> MakeTexts() {
    const std::string subject = Sjis("【さくら歯科】ご予約のお知らせ");
    std::string notes;
    for (int i = 0; i < 20; ++i)
        notes += Sjis("・装置の調整がございますので、歯みがきをしてからお越しください。\r\n");
    std::vector<MailText> texts;
    texts.reserve(kMessages);
    for (int n = 0; n < kMessages; ++n) {
        char number[16];
        std::snprintf(number, sizeof number, "%04d", n + 1);
        std::string body = Sjis("患者番号") + number + Sjis(" 様\r\n\r\n") +
                           Sjis("いつもご来院ありがとうございます。\r\n") +
                           Sjis("次回のご予約は 5月1日(木) 10:00 です。\r\n\r\n") + notes +
                           Sjis("ご都合が悪い場合はお電話ください。\r\n");
        texts.push_back({subject, body});
    }
    return texts;
}

struct Setup {
    std::string work;
    std::unique_ptr<test::CSmtpTestServer> server;
    std::vector<MailText> texts;
    std::string builtFile;  // the messages for smtplib
    size_t averageSize = 0;
    std::string error;
};

// Writes messages for smtplib as records "<length>\n<bytes>".
bool WriteMessagesForSmtplib(const std::vector<std::string>& messages, const std::string& path,
                             size_t* averageSize) {
    std::string records;
    size_t total = 0;
    for (const std::string& bytes : messages) {
        total += bytes.size();
        records += std::to_string(bytes.size()) + "\n" + bytes;
    }
    *averageSize = messages.empty() ? 0 : total / messages.size();
    std::ofstream out(path, std::ios::binary);
    out << records;
    return bool(out.flush());
}

// Sends every text through our client over one connection, as the reminder run does; with
// `sent`, keeps each message as the server received it. "" or what went wrong.
std::string SendThroughOurClient(const Setup& s, std::vector<std::string>* sent) {
    CDuvuZedi mail;
    mail.SetFrom(kSender, Sjis("さくら歯科"));
    if (!mail.Connect(CDuvuZedi::kSmtp, "127.0.0.1", s.server->Port())) return "cannot connect";
    for (const MailText& text : s.texts) {
        mail.SetRecipients(kRecipient);
        mail.SetSubjectAndBody(text.subject, text.body);
        if (!mail.Send(0)) return "a message was refused";
        if (sent != nullptr)
            sent->push_back(mail.LastMessage().Header() +
                            NormalizeLineEnds(mail.LastMessage().Body()));
    }
    mail.Disconnect();
    return std::string();
}

// Keeps this process, and the server and smtplib processes it starts, to the processor it
// runs on now. Each message is four round trips between a client and the server, and a
// process woken on another processor than its partner's takes longer to answer than one
// sharing it: left to the system, where each batch happened to land moved its time by up to
// a sixth, for either client. On one processor both meet the same conditions.
void KeepToThisProcessor() {
    const int processor = sched_getcpu();
    cpu_set_t set;
    CPU_ZERO(&set);
    if (processor >= 0) CPU_SET(processor, &set);
    if (processor < 0 || sched_setaffinity(0, sizeof set, &set) != 0)
        std::fprintf(stderr,
                     "mail: cannot keep to one processor (%s); the system places the "
                     "server and the clients\n",
                     std::strerror(errno));
}

Setup& TheSetup() {
    static Setup setup = [] {
        Setup s;
        char pattern[] = "/tmp/bench_mail-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            s.error = "cannot make a temporary folder";
            return s;
        }
        s.work = pattern;
        // Settings of its own: plain SMTP without AUTH, the default time-out.
        CGlobalSettings::SetDatabaseFolder(s.work);
        KeepToThisProcessor();
        s.server = std::make_unique<test::CSmtpTestServer>(s.work);
        test::SmtpTestServerOptions options;
        options.countOnly = true;
        if (!s.server->Start(options)) {
            s.error = s.server->Error();
            return s;
        }
        s.texts = MakeTexts();
        std::vector<std::string> sent;
        s.error = SendThroughOurClient(s, &sent);
        s.builtFile = s.work + "/messages.bin";
        if (s.error.empty() && !WriteMessagesForSmtplib(sent, s.builtFile, &s.averageSize))
            s.error = "cannot write the messages for smtplib";
        return s;
    }();
    return setup;
}

// Our client's time for the batch, connect to quit. "" or what went wrong.
std::string TimeOurClient(const Setup& s, double* seconds) {
    const auto start = std::chrono::steady_clock::now();
    const std::string error = SendThroughOurClient(s, nullptr);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return error;
}

// smtplib's own time for the batch, connect to quit. "" or what went wrong.
std::string TimeSmtplib(const Setup& s, double* seconds) {
    const std::string output = s.work + "/smtplib.out";
    const int rc =
        test::RunPython({VELO_BENCH_DIR "/mail_smtplib.py", std::to_string(s.server->Port()),
                         s.builtFile, kSender, kRecipient},
                        output);
    if (rc != 0 || std::sscanf(test::ReadWholeFile(output).c_str(), "SECONDS %lf", seconds) != 1)
        return "smtplib failed: " + test::ReadWholeFile(output + ".err");
    return std::string();
}

// The times of both sides, in seconds, one pair per repetition of BM_MailSend.
struct SendTimes {
    double ours = 0;
    double smtplib = 0;
};
std::vector<SendTimes>& MailSendPairs() {
    static std::vector<SendTimes> pairs;
    return pairs;
}

// One repetition: the batch through both clients, one straight after the other, the side
// that goes first alternating (see the top of the file). Its time is ours.
void BM_MailSend(benchmark::State& state) {
    Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    for (auto _ : state) {
        SendTimes times;
        const bool oursFirst = MailSendPairs().size() % 2 == 0;
        std::string error =
            oursFirst ? TimeOurClient(s, &times.ours) : TimeSmtplib(s, &times.smtplib);
        if (error.empty())
            error = oursFirst ? TimeSmtplib(s, &times.smtplib) : TimeOurClient(s, &times.ours);
        if (!error.empty()) return state.SkipWithError(error.c_str());
        MailSendPairs().push_back(times);
        state.SetIterationTime(times.ours);
        state.counters["smtplib_ms"] = times.smtplib * 1000;
        state.counters["ratio"] = times.ours / times.smtplib;
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// ---- The reminder run over 200 rows of the demo clinic ------------------------------------

struct ReminderSetup {
    std::string work;    // the temporary folder, removed at the end
    std::string folder;  // the copy of the demo clinic
    bool onTmpfs = false;
    std::vector<velo::sheet::ReminderRow> rows;
    std::vector<tagRESERVATIONDB> originals;  // the rows' reservations before any run
    std::string firstDay, lastDay;            // of the rows
    std::string lastMailId;                   // the highest MailID before any run
    size_t keptFiles = 0;                     // .eml files in the mail folder before any run
    std::string builtFile;                    // the first run's messages, for smtplib
    size_t averageSize = 0;
    std::string error;
};

std::string MailFolderOf(const std::string& clinic) { return clinic + "/Mail/"; }

uintmax_t FolderSize(const std::string& folder) {
    uintmax_t size = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) size += entry.file_size();
    return size;
}

size_t CountMailFiles(const std::string& folder) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) return 0;
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.path().extension() == ".eml") ++count;
    return count;
}

// The work folder: on /dev/shm when it holds the copy, else TMPDIR.
std::string MakeReminderWorkFolder(uintmax_t needed, bool* onTmpfs) {
    std::error_code error;
    const fs::space_info shm = fs::space("/dev/shm", error);
    *onTmpfs = !error && shm.available > needed;
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = *onTmpfs ? "/dev/shm" : (tmp != nullptr && *tmp ? tmp : "/tmp");
    std::string pattern = base + "/velo-benchmail-XXXXXX";
    const char* made = ::mkdtemp(pattern.data());
    return made != nullptr ? made : "";
}

// Booked reservations of active patients with an address, from today on in date order, as
// the search window lists them; `kReminderRows` of them when the clinic has that many.
std::vector<velo::sheet::ReminderRow> ChooseReminderRows(CVeloDBSys* db, std::string* firstDay,
                                                         std::string* lastDay) {
    std::vector<velo::sheet::ReminderRow> chosen;
    const QDate today = CDate::Today();
    for (int offset = 0; offset < kSearchSpanDays && chosen.size() < kReminderRows;
         offset += kSearchStepDays) {
        velo::sheet::ReservedSearchRequest request;
        request.from = CDate::ToYmd(today.addDays(offset));
        request.to = CDate::ToYmd(today.addDays(offset + kSearchStepDays - 1));
        std::vector<velo::sheet::ReservedSearchRow> found;
        if (velo::sheet::SearchReservedPatients(db, request, today, &found) != 0) break;
        for (const velo::sheet::ReservedSearchRow& row : found) {
            if (row.status != int(velo::sheet::ResStatus::Booked) || row.mail.trimmed().isEmpty())
                continue;
            if (chosen.empty()) *firstDay = row.date.toStdString();
            *lastDay = row.date.toStdString();
            velo::sheet::ReminderRow reminder;
            reminder.checked = true;
            reminder.reservationNo = row.reservationNo;
            reminder.name = row.name;
            reminder.date = row.date;
            reminder.time = row.time;
            reminder.mail = row.mail;
            chosen.push_back(std::move(reminder));
            if (chosen.size() == kReminderRows) break;
        }
    }
    return chosen;
}

std::string HighestMailId(CVeloDBSys* db) {
    CSentAndReceivedDB table;
    if (table.SetAssociatedDB(db) != recman::kOk) return std::string();
    table.SetKey(CSentAndReceivedDB::kKeyMailID);
    return table.GetLAST() == recman::kOk ? FieldText(table.m_Data.MailID) : std::string();
}

ReminderSetup& TheReminderSetup() {
    static ReminderSetup setup = [] {
        ReminderSetup s;
        const std::string demo = std::getenv("VELO_BENCH_DB");
        // The copy and room for the runs' writes.
        s.work = MakeReminderWorkFolder(FolderSize(demo) * 2, &s.onTmpfs);
        if (s.work.empty()) {
            s.error = "no temporary folder";
            return s;
        }
        std::fprintf(stderr, "mail: copying the demo clinic to %s (%s)\n", s.work.c_str(),
                     s.onTmpfs ? "tmpfs" : "TMPDIR, not tmpfs: the runs include the disk's syncs");
        s.folder = s.work + "/db";
        std::error_code error;
        fs::copy(demo, s.folder, fs::copy_options::recursive, error);
        if (error) {
            s.error = "could not copy the demo clinic: " + error.message();
            return s;
        }
        CVeloDBSys db(s.folder);
        s.rows = ChooseReminderRows(&db, &s.firstDay, &s.lastDay);
        if (s.rows.size() < kReminderRows) {
            s.error = "the demo clinic has only " + std::to_string(s.rows.size()) +
                      " booked reservations of patients with a mail address from today on";
            return s;
        }
        CReservationDB reservations;
        if (reservations.SetAssociatedDB(&db) != recman::kOk) {
            s.error = "cannot open the reservations";
            return s;
        }
        for (const velo::sheet::ReminderRow& row : s.rows) {
            if (reservations.GetReservationData(row.reservationNo.c_str()) != recman::kOk) {
                s.error = "cannot read reservation " + row.reservationNo;
                return s;
            }
            s.originals.push_back(reservations.m_Data);
        }
        s.lastMailId = HighestMailId(&db);
        s.keptFiles = CountMailFiles(MailFolderOf(s.folder));
        std::fprintf(stderr, "mail: %zu reminder rows of %s-%s\n", s.rows.size(),
                     s.firstDay.c_str(), s.lastDay.c_str());
        return s;
    }();
    return setup;
}

velo::sheet::ReminderRunOptions ReminderOptions(int port) {
    velo::sheet::ReminderSettings settings = velo::sheet::ReadReminderSettings();
    settings.dialUp = false;
    settings.popBeforeSmtp = false;
    settings.smtpServer = "127.0.0.1";
    settings.smtpPort = port;
    settings.account.clear();
    settings.password.clear();
    settings.senderName = Sjis("さくら歯科");
    settings.senderAddress = kSender;
    velo::sheet::ReminderRunOptions options;
    options.settings = settings;
    options.senderNumber = 1;
    return options;
}

// The sent-mail records a run added, in MailID order.
std::vector<tagSENTANDRECEIVEDDB> RecordsAfter(CSentAndReceivedDB& table,
                                               const std::string& mailId) {
    std::vector<tagSENTANDRECEIVEDDB> records;
    table.SetKey(CSentAndReceivedDB::kKeyMailID);
    char key[sizeof table.m_Data.MailID] = {};
    std::memcpy(key, mailId.data(), std::min(mailId.size(), sizeof key - 1));
    table.SetKeyBuffer(key, sizeof key);
    for (int st = mailId.empty() ? table.GetFIRST() : table.GetGREATER(); st == recman::kOk;
         st = table.GetNEXT())
        records.push_back(table.m_Data);
    return records;
}

// Checks that the run marked every row's reservation and left one record and one file per
// mail, then puts the clinic back as it was before the first run. The first time, the
// messages are kept for smtplib. Returns what was missing, or "".
std::string CheckAndUndoRun(CVeloDBSys* db, ReminderSetup* s) {
    CReservationDB reservations;
    CSentAndReceivedDB sent;
    if (reservations.SetAssociatedDB(db) != recman::kOk || sent.SetAssociatedDB(db) != recman::kOk)
        return "cannot open the tables to undo the run";
    std::string missing;
    for (const tagRESERVATIONDB& original : s->originals) {
        const std::string no = FieldText(original.ReservationNo);
        if (reservations.GetReservationData(no.c_str()) != recman::kOk)
            return "reservation " + no + " is gone";
        const tagRESERVATIONDB& r = reservations.m_Data;
        if (missing.empty() &&
            (r.ContactStatus == 0 || r.ContactMethod != velo::sheet::kContactByMail))
            missing = "reservation " + no + " was not marked as mailed";
        reservations.m_Data = original;
        if (reservations.Update() != recman::kOk) return "cannot put back reservation " + no;
    }
    const std::vector<tagSENTANDRECEIVEDDB> records = RecordsAfter(sent, s->lastMailId);
    if (missing.empty() && records.size() != s->rows.size())
        missing = std::to_string(records.size()) + " sent-mail records instead of " +
                  std::to_string(s->rows.size());
    std::vector<std::string> files;
    for (const tagSENTANDRECEIVEDDB& record : records) {
        files.push_back(MailFolderOf(s->folder) + FieldText(record.MailNo) + ".eml");
        if (missing.empty() && !fs::is_regular_file(files.back()))
            missing = "the kept message " + files.back() + " is missing";
    }
    if (missing.empty() && s->builtFile.empty()) {
        std::vector<std::string> messages;
        for (const std::string& file : files) messages.push_back(test::ReadWholeFile(file));
        const bool allRead = std::none_of(messages.begin(), messages.end(),
                                          [](const std::string& m) { return m.empty(); });
        s->builtFile = s->work + "/reminders.bin";
        if (!allRead || !WriteMessagesForSmtplib(messages, s->builtFile, &s->averageSize))
            missing = "cannot gather the kept messages for smtplib";
    }
    for (const tagSENTANDRECEIVEDDB& record : records) {
        if (sent.GetSentAndReceivedData(FieldText(record.MailID).c_str()) != recman::kOk ||
            sent.Delete() != recman::kOk)
            return "cannot delete sent-mail record " + FieldText(record.MailID);
    }
    std::error_code error;
    for (const std::string& file : files) fs::remove(file, error);
    if (missing.empty() && CountMailFiles(MailFolderOf(s->folder)) != s->keptFiles)
        missing = "the mail folder holds other new files";
    return missing;
}

void BM_ReminderRun200(benchmark::State& state) {
    Setup& mail = TheSetup();
    if (!mail.error.empty()) return state.SkipWithError(mail.error.c_str());
    const std::string settingsFolder = CGlobalSettings::DatabaseFolder();
    ReminderSetup& s = TheReminderSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    CVeloDBSys db(s.folder);  // the template comes from the copy's settings
    const velo::sheet::ReminderRunOptions options = ReminderOptions(mail.server->Port());
    CMessageService::SetScript(
        [](const CMessageService::Request&) { return CMessageService::IDOK; });
    for (auto _ : state) {
        CMessageService::ClearHistory();
        const auto start = std::chrono::steady_clock::now();
        const velo::sheet::ReminderRunResult result =
            velo::sheet::RunReminderMail(&db, s.rows, nullptr, {}, options);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        const int expected = int(s.rows.size());
        if (!result.connected || result.sent != expected || result.recorded != expected) {
            const QList<CMessageService::Request> shown = CMessageService::History();
            const std::string why =
                "the run sent " + std::to_string(result.sent) + " and recorded " +
                std::to_string(result.recorded) + " of " + std::to_string(expected) +
                (shown.isEmpty() ? "" : ": " + shown.front().text.toStdString());
            state.SkipWithError(why.c_str());
            break;
        }
        const std::string missing = CheckAndUndoRun(&db, &s);
        if (!missing.empty()) {
            state.SkipWithError(missing.c_str());
            break;
        }
    }
    CMessageService::SetScript({});
    CGlobalSettings::SetDatabaseFolder(settingsFolder);
}

void BM_ReminderRun200_Smtplib(benchmark::State& state) {
    Setup& mail = TheSetup();
    if (!mail.error.empty()) return state.SkipWithError(mail.error.c_str());
    const ReminderSetup& s = TheReminderSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    if (s.builtFile.empty()) return state.SkipWithError("no reminder run kept its messages");
    const std::string output = mail.work + "/smtplib-reminders.out";
    for (auto _ : state) {
        const int rc =
            test::RunPython({VELO_BENCH_DIR "/mail_smtplib.py", std::to_string(mail.server->Port()),
                             s.builtFile, kSender, kRecipient},
                            output);
        double seconds = 0;
        if (rc != 0 ||
            std::sscanf(test::ReadWholeFile(output).c_str(), "SECONDS %lf", &seconds) != 1)
            return state.SkipWithError(
                ("smtplib failed: " + test::ReadWholeFile(output + ".err")).c_str());
        state.SetIterationTime(seconds);
    }
}

bool HasDemoClinic() {
    const char* demo = std::getenv("VELO_BENCH_DB");
    return demo != nullptr && *demo != '\0' && fs::is_directory(demo);
}

BENCHMARK(BM_MailSend)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(kMailSendPairs);

}  // namespace

int main(int argc, char** argv) {
    const bool demo = HasDemoClinic();
    if (demo) {
        benchmark::RegisterBenchmark("BM_ReminderRun200", BM_ReminderRun200)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1);
        benchmark::RegisterBenchmark("BM_ReminderRun200_Smtplib", BM_ReminderRun200_Smtplib)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1);
    } else {
        std::printf(
            "bench_mail: VELO_BENCH_DB names no demo clinic, so ReminderRun200 is left out; run it "
            "through scripts/bench, which makes one\n");
    }
    CRatioReporter reporter;
    RunBenchmarks(argc, argv, &reporter);
    if (!MailSendPairs().empty()) {
        std::vector<double> ours, smtplib, ratios;
        for (const SendTimes& pair : MailSendPairs()) {
            ours.push_back(pair.ours * 1000);
            smtplib.push_back(pair.smtplib * 1000);
            ratios.push_back(pair.ours / pair.smtplib);
        }
        std::printf("RATIO MailSend %.2f 1.0\n", Median(ratios));
        std::printf(
            "FIGURE MailSend %.1f ms for %d messages of %zu bytes (%.2f ms each); smtplib %.1f "
            "ms; the median of %zu pairs\n",
            Median(ours), kMessages, TheSetup().averageSize, Median(ours) / kMessages,
            Median(smtplib), ratios.size());
    }
    if (const auto t = reporter.Time("BM_ReminderRun200")) {
        const ReminderSetup& r = TheReminderSetup();
        std::printf(
            "FIGURE ReminderRun200 %.1f ms for %zu mails of %zu bytes, marked, kept and "
            "recorded (target < 10000; %s)\n",
            *t, r.rows.size(), r.averageSize, r.onTmpfs ? "on tmpfs" : "on TMPDIR, syncs included");
        if (const auto smtplib = reporter.Time("BM_ReminderRun200_Smtplib"))
            std::printf(
                "  for comparison: Python's smtplib sends the same %zu messages in %.1f ms "
                "(sending only)\n",
                r.rows.size(), *smtplib);
    }
    if (demo) {
        recman::Shutdown();
        std::error_code error;
        if (!TheReminderSetup().work.empty()) fs::remove_all(TheReminderSetup().work, error);
    }
    Setup& s = TheSetup();
    s.server.reset();
    CGlobalSettings::SetDatabaseFolder("");
    std::error_code error;
    if (!s.work.empty()) fs::remove_all(s.work, error);
    return 0;
}
