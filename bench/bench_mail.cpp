// Sending a reminder run's mail: 1,000 messages of about 2 KB (Japanese subject and body)
// over one SMTP connection to a local aiosmtpd server, against Python's smtplib sending the
// same messages to the same server in the same run.
//
// Ours goes through CDuvuZedi as the reminder run does: each message is composed, built
// (ISO-2022-JP, encoded words) and sent, timed from connect to quit. smtplib
// (bench/mail_smtplib.py, run by /usr/bin/python3) gets the same messages already built and
// times itself from connect to quit, so its figure leaves out the interpreter's start and
// the building. The server only counts what it accepts, the same for both, so the
// comparison measures the clients. The run ends in a RATIO line (ours / smtplib, target
// 1.0) and FIGURE lines that scripts/bench collects.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ratioreporter.h"
#include "sheet/mail/duvuzedi.h"
#include "sheet/mail/mailtext.h"
#include "sheet/mail/mimemessage.h"
#include "sheet/mail/smtpsession.h"
#include "sheet/mail/tests/smtptestserver.h"
#include "suite/text/globalsettings.h"

namespace {

using namespace velo::mail;
namespace fs = std::filesystem;

constexpr int kMessages = 1000;
constexpr const char* kSender = "clinic@example.jp";
constexpr const char* kRecipient = "patient@example.jp";

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
    std::string builtFile;  // the built messages for smtplib
    size_t averageSize = 0;
    std::string error;
};

// The messages as the recipient gets them, for the smtplib side, in records "<length>\n".
std::string WriteBuiltMessages(const std::string& folder, const std::vector<MailText>& texts,
                               size_t* averageSize) {
    std::string records;
    size_t total = 0;
    for (const MailText& text : texts) {
        CMimeMessage message;
        message.SetEnvelopeSender(kSender);
        message.SetFrom(Sjis("さくら歯科 <clinic@example.jp>"));
        message.SetRecipients(kRecipient, "", "");
        message.SetSubject(text.subject);
        message.SetBody(text.body);
        message.SetMessageId(MakeMessageId(std::time(nullptr), 1, "clinic", "127.0.0.1"));
        message.ClearHeader();
        message.BuildHeader();
        message.EndHeader();
        message.BuildBody();
        const std::string bytes = message.Header() + message.Body();
        total += bytes.size();
        records += std::to_string(bytes.size()) + "\n" + bytes;
    }
    *averageSize = texts.empty() ? 0 : total / texts.size();
    const std::string path = folder + "/messages.bin";
    std::ofstream(path, std::ios::binary) << records;
    return path;
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
        s.server = std::make_unique<test::CSmtpTestServer>(s.work);
        test::SmtpTestServerOptions options;
        options.countOnly = true;
        if (!s.server->Start(options)) s.error = s.server->Error();
        s.texts = MakeTexts();
        s.builtFile = WriteBuiltMessages(s.work, s.texts, &s.averageSize);
        return s;
    }();
    return setup;
}

void BM_MailSend_Ours(benchmark::State& state) {
    Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CDuvuZedi mail;
        mail.SetFrom(kSender, Sjis("さくら歯科"));
        if (!mail.Connect(CDuvuZedi::kSmtp, "127.0.0.1", s.server->Port()))
            return state.SkipWithError("cannot connect");
        for (const MailText& text : s.texts) {
            mail.SetRecipients(kRecipient);
            mail.SetSubjectAndBody(text.subject, text.body);
            if (!mail.Send(0)) return state.SkipWithError("a message was refused");
        }
        mail.Disconnect();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

void BM_MailSend_Smtplib(benchmark::State& state) {
    Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    const std::string output = s.work + "/smtplib.out";
    for (auto _ : state) {
        const int rc = test::RunPython({VELO_BENCH_DIR "/mail_smtplib.py",
                                        std::to_string(s.server->Port()), s.builtFile, kSender,
                                        kRecipient},
                                       output);
        double seconds = 0;
        if (rc != 0 || std::sscanf(test::ReadWholeFile(output).c_str(), "SECONDS %lf", &seconds) != 1)
            return state.SkipWithError(("smtplib failed: " + test::ReadWholeFile(output + ".err")).c_str());
        state.SetIterationTime(seconds);
    }
}

BENCHMARK(BM_MailSend_Ours)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_MailSend_Smtplib)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    CRatioReporter reporter;
    RunBenchmarks(argc, argv, &reporter);
    const auto ours = reporter.Time("BM_MailSend_Ours");
    const auto theirs = reporter.Time("BM_MailSend_Smtplib");
    if (ours && theirs && *theirs > 0)
        std::printf("RATIO MailSend %.2f 1.0\n", *ours / *theirs);
    if (ours) {
        std::printf("FIGURE MailSend %.1f ms for %d messages of %zu bytes (%.2f ms each)\n", *ours,
                    kMessages, TheSetup().averageSize, *ours / kMessages);
    }
    Setup& s = TheSetup();
    s.server.reset();
    CGlobalSettings::SetDatabaseFolder("");
    std::error_code error;
    if (!s.work.empty()) fs::remove_all(s.work, error);
    return 0;
}
