// Tests of the reminder mail run end to end: mails go to a real SMTP server (aiosmtpd on
// loopback) and are read back with Python's mail parser; the reservation marks, the sent-mail
// records and the kept message files are checked in the database folder. Error paths (a send
// refused half-way, the POP3 login first, a server that answers slowly) use the scripted
// server.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "recman/recman.h"
#include "sheet/bookingstrings.h"
#include "sheet/mail/mailtext.h"
#include "sheet/mail/tests/scriptedserver.h"
#include "sheet/mail/tests/smtptestserver.h"
#include "sheet/remindermail.h"
#include "sheet/remindermaildlg.h"
#include "sheet/reservation.h"
#include "sheet/reservedsearchdlg.h"
#include "sheet/tests/sheetfixture.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/maildb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/testsupport/records.h"
#include "suite/text/cp932.h"
#include "suite/text/globalsettings.h"
#include "suite/text/privatefiles.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/strings.h"
#include "suite/tool/xlistctrl.h"

namespace velo::sheet {
namespace {

namespace fs = std::filesystem;
using velo::mail::test::CScriptedServer;
using velo::mail::test::CSmtpTestServer;
using velo::mail::test::ScriptStep;

class CStatusLines final : public velo::mail::IMailStatusWindow {
public:
    std::string GetStatusText() const override { return m_text; }
    void SetStatusText(const std::string& cp932) override {
        m_text = cp932;
        lines.push_back(Cp932ToQString(cp932));
    }
    int IndexOf(const QString& prefix) const {
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].startsWith(prefix)) return static_cast<int>(i);
        return -1;
    }
    std::vector<QString> lines;

private:
    std::string m_text;
};

// Counts the paint events a widget gets.
class CPaintCounter final : public QObject {
public:
    explicit CPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

QStringList ShownTexts() {
    QStringList texts;
    for (const CMessageService::Request& r : CMessageService::History()) texts << r.text;
    return texts;
}

class ReminderMailTest : public SheetAppTest {
protected:
    ReminderMailTest() : SheetAppTest("remindermail_test", "remindermailtest") {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(SheetAppTest::SetUp());
        CDate::SetTodayForTesting(2024, 5, 10);
        CMessageService::ClearHistory();
        CMessageService::SetScript([](const CMessageService::Request&) { return CMessageService::IDOK; });
        // The subject keeps its placeholder: only the body is filled.
        ASSERT_TRUE(CGlobalSettings::SetReservationTemplate(
            3, QStringLiteral("確認"), QStringLiteral("ご予約の確認 $_PNAME"),
            QStringLiteral("$_PNAME 様\n$_REDATE $_RETIME にお待ちしております。\n"
                           "$_PNAME 様、送信 $_DATETIME")));
        AddReservation("0000000010", "0000000001");
        AddReservation("0000000011", "0000000002");
        m_settings.dialUp = false;
        m_settings.smtpServer = "127.0.0.1";
        m_settings.senderAddress = "clinic@example.jp";
        m_settings.senderName = velo::mail::Sjis("さくら矯正歯科");
        m_settings.account = "clinic";
        m_settings.templateNumber = 3;
        m_rows = {Row("0000000010", "山田　太郎", "taro@example.jp"),
                  Row("0000000011", "佐藤　花子", "hanako@example.jp"),
                  Row("0000000099", "鈴木　一", "hajime@example.jp")};  // no reservation
    }
    static ReminderRow Row(const char* no, const char* name, const char* mail) {
        ReminderRow row;
        row.checked = true;
        row.reservationNo = no;
        row.name = QString::fromUtf8(name);
        row.date = QStringLiteral("2024/05/13");
        row.time = QStringLiteral("10:30");
        row.mail = QString::fromUtf8(mail);
        return row;
    }
    void AddReservation(const char* no, const char* patient) {
        InsertTestRecord<CReservationDB>(m_db, [&](tagRESERVATIONDB& r) {
            SetField(r.ReservationNo, no);
            SetField(r.PatientID, patient);
            SetField(r.ResDate, "20240513");
            SetTimeField(r.StartTime, 1030);
            SetTimeField(r.EndTime, 1100);
        });
    }
    ReminderRunOptions Options(int port) {
        ReminderRunOptions options;
        options.settings = m_settings;
        options.settings->smtpPort = port;
        options.senderNumber = 4;
        options.startedAt = QDateTime(QDate(2024, 5, 10), QTime(9, 5, 7));
        velo::mail::MailSocketOptions socket;
        socket.timeoutSeconds = 5;
        options.socketOptions = socket;
        return options;
    }
    std::vector<tagSENTANDRECEIVEDDB> SentRecords() {
        std::vector<tagSENTANDRECEIVEDDB> records;
        CSentAndReceivedDB table;
        EXPECT_EQ(table.SetAssociatedDB(&m_db), 0);
        for (int st = table.GetFIRST(); st == 0; st = table.GetNEXT()) records.push_back(table.m_Data);
        return records;
    }
    tagRESERVATIONDB Stored(const char* no) {
        CReservationDB table;
        EXPECT_EQ(table.SetAssociatedDB(&m_db), 0);
        EXPECT_EQ(table.GetReservationData(no), 0);
        return table.m_Data;
    }
    std::string MailFolder() const { return m_folder + "/Mail/"; }

    ReminderSettings m_settings;
    std::vector<ReminderRow> m_rows;
};

TEST_F(ReminderMailTest, ThreeTickedRowsGetTheirOwnMailsAndTheBookedOnesAreRecorded) {
    CSmtpTestServer server(m_config.filePath("smtp").toStdString());
    ASSERT_TRUE(server.Start({})) << server.Error();
    std::vector<size_t> marked;
    ReminderHooks hooks;
    hooks.rowMailed = [&marked](size_t row) { marked.push_back(row); };
    CStatusLines status;
    const ReminderRunResult result = RunReminderMail(&m_db, m_rows, &status, hooks, Options(server.Port()));
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(result.sent, 3);
    EXPECT_EQ(result.recorded, 2);
    EXPECT_EQ(marked, (std::vector<size_t>{0, 1}));

    const std::vector<std::string> received = server.ReceivedMessages();
    ASSERT_EQ(received.size(), 3u) << server.Log();
    for (size_t i = 0; i < received.size(); ++i) {
        std::string error;
        const std::string json =
            velo::mail::test::DecodeWithPython(received[i], m_config.path().toStdString(), &error);
        ASSERT_FALSE(json.empty()) << error;
        const QJsonObject mail = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
        EXPECT_EQ(mail["subject"].toString(), QStringLiteral("ご予約の確認 $_PNAME"));
        const QString body = mail["body"].toString();
        EXPECT_TRUE(body.startsWith(m_rows[i].name + QStringLiteral(" 様\n2024/05/13 10:30 に")))
            << body.toStdString();
        EXPECT_TRUE(body.contains(m_rows[i].name + QStringLiteral(" 様、送信 2024/05/10 09:05:07")))
            << body.toStdString();
    }

    // The first mail into an empty table is number 1, with its file; the contacts are marked.
    const auto records = SentRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].MailID, "0000000001");
    EXPECT_STREQ(records[0].MailNo, "0000000001");
    EXPECT_STREQ(records[0].PatientID, "0000000001");
    EXPECT_STREQ(records[0].SenderCode, "004");
    EXPECT_EQ(std::string(records[0].SentDateTime).size(), 14u);
    EXPECT_STREQ(records[1].MailNo, "0000000002");
    EXPECT_TRUE(fs::exists(MailFolder() + "0000000001.eml"));
    EXPECT_TRUE(fs::exists(MailFolder() + "0000000002.eml"));
    EXPECT_FALSE(fs::exists(MailFolder() + "0000000003.eml"));
    // The sent mails name patients: their folder is closed to others.
    EXPECT_EQ(mode_t(fs::status(MailFolder()).permissions()) & 07777, privatefiles::FolderMode());
    const tagRESERVATIONDB first = Stored("0000000010");
    EXPECT_EQ(first.ContactStatus, 2);
    EXPECT_EQ(first.ContactMethod, 1);
    EXPECT_STREQ(first.ContactDate, "20240510");
}

TEST_F(ReminderMailTest, NoTickedRowOrNoTemplateSendsNothingAndTheStopFlagEndsBeforeTheNextRow) {
    CSmtpTestServer server(m_config.filePath("smtp").toStdString());
    ASSERT_TRUE(server.Start({})) << server.Error();
    for (ReminderRow& row : m_rows) row.checked = false;
    ReminderRunResult result = RunReminderMail(&m_db, m_rows, nullptr, {}, Options(server.Port()));
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(result.sent, 0);
    EXPECT_TRUE(SentRecords().empty());
    EXPECT_FALSE(fs::exists(MailFolder() + "0000000001.eml"));

    // The chosen template was removed, which leaves the choice empty: that is no template
    // (not template 0, which exists), and the run stops with its message before connecting.
    for (ReminderRow& row : m_rows) row.checked = true;
    ASSERT_TRUE(CGlobalSettings::SetReservationTemplate(
        0, QStringLiteral("前日"), QStringLiteral("明日のご予約"), QStringLiteral("$_PNAME 様")));
    ASSERT_TRUE(CVeloSubTools::SetGlobalSettingString("Email", "ReservationTemplate", QString()));
    ASSERT_TRUE(CVeloSubTools::SetGlobalSettingInt("EMail", "Connection", 0));
    ASSERT_TRUE(CVeloSubTools::SetGlobalSettingString("EMail", "Stmp", "127.0.0.1"));
    ASSERT_TRUE(CVeloSubTools::SetGlobalSettingInt("EMail", "SMTP_Port", server.Port()));
    ASSERT_TRUE(
        CVeloSubTools::SetGlobalSettingString("EMail", "EmailAddress", "clinic@example.jp"));
    ReminderRunOptions fromSettings = Options(server.Port());
    fromSettings.settings.reset();
    EXPECT_EQ(ReadReminderSettings().templateNumber, -1);
    result = RunReminderMail(&m_db, m_rows, nullptr, {}, fromSettings);
    EXPECT_FALSE(result.connected);
    EXPECT_TRUE(server.ReceivedMessages().empty());
    EXPECT_EQ(ShownTexts(), QStringList{LoadString(kIdsReminderNoTemplate)});
    EXPECT_TRUE(
        LoadString(kIdsReminderNoTemplate).startsWith(QStringLiteral("予約お知らせメール")));

    // "ｷｬﾝｾﾙ" pressed while the first mail goes: the second row is not sent.
    for (ReminderRow& row : m_rows) row.checked = true;
    int asked = 0;
    ReminderHooks hooks;
    hooks.stopRequested = [&asked] { return ++asked > 1; };
    result = RunReminderMail(&m_db, m_rows, nullptr, hooks, Options(server.Port()));
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.sent, 1);
    EXPECT_EQ(server.ReceivedMessages().size(), 1u);
}

TEST_F(ReminderMailTest, ARefusedSendEndsTheLoopButARefusedAddressCostsOnlyItsRow) {
    const std::string data = "354 go ahead\r\n";
    CScriptedServer server({
        ScriptStep::Send("220 test ready\r\n"),
        ScriptStep::Expect("HELO", "250 hello\r\n"),
        ScriptStep::Expect("MAIL", "250 ok\r\n"),
        ScriptStep::Expect("RCPT", "250 ok\r\n"),
        ScriptStep::Expect("DATA", data),
        ScriptStep::ExpectMessage("250 queued\r\n"),
        ScriptStep::Expect("MAIL", "552 mailbox full\r\n"),
        ScriptStep::Expect("QUIT", "221 bye\r\n"),
    });
    ASSERT_NE(server.Port(), 0) << server.Error();
    const ReminderRunResult result = RunReminderMail(&m_db, m_rows, nullptr, {}, Options(server.Port()));
    EXPECT_TRUE(result.sendFailed);
    EXPECT_EQ(result.sent, 1);
    EXPECT_EQ(result.recorded, 1);
    EXPECT_EQ(SentRecords().size(), 1u);
    EXPECT_EQ(Stored("0000000010").ContactStatus, 2);
    EXPECT_EQ(Stored("0000000011").ContactStatus, 0);
    ASSERT_FALSE(CMessageService::History().empty());
    EXPECT_TRUE(CMessageService::History().back().text.contains(QStringLiteral("552")));

    // An address the server refuses (a full-width "＠", an unknown user) costs only its own
    // row: the run resets the transaction, goes on with the next patient over the same
    // connection, and names the rows it could not mail at the end.
    CSmtpTestServer real(m_config.filePath("smtp").toStdString());
    velo::mail::test::SmtpTestServerOptions refusing;
    refusing.refuse = {"hajime@example.jp"};
    ASSERT_TRUE(real.Start(refusing)) << real.Error();
    CMessageService::ClearHistory();
    m_rows[1].mail = QStringLiteral("hanako＠example.jp");
    std::vector<size_t> mailed;
    ReminderHooks hooks;
    hooks.rowMailed = [&mailed](size_t row) { mailed.push_back(row); };
    CStatusLines status;
    const ReminderRunResult goingOn = RunReminderMail(&m_db, {m_rows[1], m_rows[2], m_rows[0]},
                                                      &status, hooks, Options(real.Port()));
    EXPECT_FALSE(goingOn.sendFailed);
    EXPECT_EQ(goingOn.refused, 2);
    EXPECT_EQ(goingOn.sent, 1);
    EXPECT_EQ(mailed, std::vector<size_t>{2});
    EXPECT_GE(status.IndexOf(QStringLiteral("RSET")), 0);
    ASSERT_EQ(real.ReceivedMessages().size(), 1u) << real.Log();
    EXPECT_NE(real.EnvelopeOf(real.ReceivedMessages()[0]).find("taro@example.jp"),
              std::string::npos);
    EXPECT_EQ(Stored("0000000011").ContactStatus, 0);
    const QStringList shown = ShownTexts();
    ASSERT_EQ(shown.size(), 1) << shown.join(u'|').toStdString();
    EXPECT_TRUE(shown[0].contains(QStringLiteral("佐藤　花子 様")));
    EXPECT_TRUE(shown[0].contains(QStringLiteral("hanako＠example.jp")));
    EXPECT_TRUE(shown[0].contains(QStringLiteral("鈴木　一 様　550:")));
    EXPECT_TRUE(shown[0].contains(QStringLiteral("hajime@example.jp")));
}

TEST_F(ReminderMailTest, PopLoginComesFirstAndAFailedOneLetsTheRunGoOn) {
    CScriptedServer pop({
        ScriptStep::Send("+OK ready\r\n"),
        ScriptStep::Expect("USER clinic", "+OK\r\n"),
        ScriptStep::Expect("PASS secret", "+OK\r\n"),
        ScriptStep::Expect("QUIT", "+OK bye\r\n"),
    });
    ASSERT_NE(pop.Port(), 0) << pop.Error();
    CSmtpTestServer server(m_config.filePath("smtp").toStdString());
    ASSERT_TRUE(server.Start({})) << server.Error();
    m_settings.popBeforeSmtp = true;
    m_settings.popServer = "127.0.0.1";
    m_settings.password = "secret";
    ReminderRunOptions options = Options(server.Port());
    options.settings->popPort = pop.Port();
    m_rows.resize(1);
    CStatusLines status;
    ReminderRunResult result = RunReminderMail(&m_db, m_rows, &status, {}, options);
    EXPECT_TRUE(pop.WaitUntilFinished());
    EXPECT_TRUE(pop.Error().empty()) << pop.Error();
    EXPECT_EQ(result.sent, 1);
    const int popQuit = status.IndexOf(QStringLiteral("QUIT"));
    const int smtpHelo = status.IndexOf(QStringLiteral("HELO"));
    ASSERT_GE(popQuit, 0);
    ASSERT_GE(smtpHelo, 0);
    EXPECT_LT(popQuit, smtpHelo);

    // No POP3 server at all: its message is shown and the mail still goes.
    options.settings->popPort = 1;
    CMessageService::ClearHistory();
    result = RunReminderMail(&m_db, m_rows, nullptr, {}, options);
    EXPECT_EQ(result.sent, 1);
    ASSERT_FALSE(CMessageService::History().empty());
    EXPECT_EQ(CMessageService::History()[0].text, QStringLiteral("サーバーに接続できません"));
}

TEST_F(ReminderMailTest, FailuresAfterTheMailWentOutAreShownAndWhatCanBeKeptIsKept) {
    // A file where the mail folder should be: no copy can be written.
    const std::string notAFolder = MailFolder().substr(0, MailFolder().size() - 1);
    std::ofstream(notAFolder) << "not a folder";
    CSmtpTestServer server(m_config.filePath("smtp").toStdString());
    ASSERT_TRUE(server.Start({})) << server.Error();
    ReminderRunResult result =
        RunReminderMail(&m_db, {m_rows[0]}, nullptr, {}, Options(server.Port()));
    EXPECT_EQ(result.sent, 1);
    EXPECT_EQ(result.recorded, 0);
    EXPECT_TRUE(SentRecords().empty());
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_TRUE(CMessageService::History()[0].text.contains(QStringLiteral("山田　太郎")));
    EXPECT_TRUE(CMessageService::History()[0].text.contains(QStringLiteral("送信記録を保存できませんでした")));

    // The reservation cannot be marked: the failure is shown, and the copy, the record and
    // the unticked row still keep the next run from mailing the patient a second time.
    fs::remove(notAFolder);
    CMessageService::ClearHistory();
    recman::Shutdown();
    recman::testing::SetFileEventHook([](recman::testing::FileEvent event, const char* path) {
        return !(event == recman::testing::FileEvent::kWrite &&
                 std::string(path).find("/RESERVATION.BTR") != std::string::npos);
    });
    std::vector<size_t> mailed;
    ReminderHooks hooks;
    hooks.rowMailed = [&mailed](size_t row) { mailed.push_back(row); };
    result = RunReminderMail(&m_db, {m_rows[1]}, nullptr, hooks, Options(server.Port()));
    recman::testing::SetFileEventHook({});
    EXPECT_EQ(result.sent, 1);
    EXPECT_EQ(result.recorded, 1);
    EXPECT_EQ(mailed, std::vector<size_t>{0});
    EXPECT_EQ(Stored("0000000011").ContactStatus, 0);
    const auto records = SentRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].PatientID, "0000000002");
    EXPECT_TRUE(fs::exists(MailFolder() + "0000000001.eml"));
    EXPECT_EQ(ShownTexts(), QStringList{LoadString(kIdsUpdateFailed)});
    EXPECT_EQ(LoadString(kIdsUpdateFailed),
              QStringLiteral("データの更新を行なう際、エラーが発生します。"));
}

TEST_F(ReminderMailTest, TheSearchWindowMailsTickedPatientsAndShowsTheirNewContact) {
    for (const auto& [id, name, mail] : {std::tuple{"0000000001", "山田　太郎", "taro@example.jp"},
                                         std::tuple{"0000000002", "佐藤　花子", "hanako@example.jp"}}) {
        AddPatient(id, name, "", "", 0, [&](tagPATIENTDB& r) { SetField(r.Email, mail); });
    }
    for (const char* code : {"001", "002"})
        Insert<CStaffDB>([code](tagSTAFFDB& r) { SetField(r.Code, code); });
    CSmtpTestServer server(m_config.filePath("smtp").toStdString());
    ASSERT_TRUE(server.Start({})) << server.Error();

    CReservedSearchDlg search(&m_db);
    search.SetReminderOptions(Options(server.Port()));
    search.show();
    search.RunSearch();
    // The second staff member is chosen as the sender with the keyboard.
    auto* sender = search.findChild<QComboBox*>(QString::number(CReservedSearchDlg::kIdSender));
    ASSERT_NE(sender, nullptr);
    sender->setFocus();
    QTest::keyClick(sender, Qt::Key_Down);
    CXListCtrl* list = search.List();
    ASSERT_EQ(list->GetItemCount(), 2);
    list->SetCheck(1, true);
    search.findChild<QAction*>(QString::number(CReservedSearchDlg::kIdSendMail))->trigger();

    ASSERT_EQ(server.ReceivedMessages().size(), 1u) << server.Log();
    const auto records = SentRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].SenderCode, "002");
    EXPECT_FALSE(list->GetCheck(1));
    EXPECT_EQ(list->GetItemText(1, CReservedSearchDlg::kColContactState), QStringLiteral("済み"));
    EXPECT_EQ(list->GetItemText(1, CReservedSearchDlg::kColContactMethod), QStringLiteral("Email"));
    EXPECT_EQ(list->GetItemText(1, CReservedSearchDlg::kColContactDate), QStringLiteral("2024/05/10(金)"));
    EXPECT_EQ(list->GetItemText(0, CReservedSearchDlg::kColContactState), QStringLiteral("未"));

    // A server that takes seconds to answer: while the run waits the window still paints,
    // and "ｷｬﾝｾﾙ" clicked during the wait stops the run there, before the patient is mailed.
    CScriptedServer slow(
        {ScriptStep::Send("220 slow\r\n"), ScriptStep::Expect("HELO", "250 hello\r\n"),
         ScriptStep::ExpectSlow("MAIL", "250 ok\r\n", 3000),
         ScriptStep::Expect("RCPT", "250 ok\r\n"), ScriptStep::Expect("DATA", "354 go\r\n"),
         ScriptStep::ExpectMessage("250 queued\r\n"), ScriptStep::Expect("QUIT", "221 bye\r\n")});
    ASSERT_NE(slow.Port(), 0) << slow.Error();
    search.SetReminderOptions(Options(slow.Port()));
    list->SetCheck(0, true);
    CMessageService::ClearHistory();
    // A timer of the test's own: it ticks only while the run lets events through. Once the
    // server has the MAIL command it asks the status line to repaint, a few ticks later it
    // clicks "ｷｬﾝｾﾙ".
    std::unique_ptr<CPaintCounter> painted;
    std::vector<std::string> receivedAtClick;
    int ticksSincePaintAsked = 0;
    QTimer ticker;
    ticker.setInterval(50);
    QObject::connect(&ticker, &QTimer::timeout, &search, [&] {
        auto* run = qobject_cast<CReminderMailDlg*>(QApplication::activeModalWidget());
        const std::vector<std::string> received = slow.Received();
        if (run == nullptr || received.empty() || received.back().rfind("MAIL", 0) != 0) return;
        if (painted == nullptr) {
            auto* label = run->findChild<QLabel*>(QString::number(CReminderMailDlg::kIdStatus));
            painted = std::make_unique<CPaintCounter>(label);
            label->update();
        } else if (++ticksSincePaintAsked == 3) {
            ticker.stop();
            receivedAtClick = received;
            QTest::mouseClick(
                run->findChild<QPushButton*>(QString::number(CReminderMailDlg::kIdCancel)),
                Qt::LeftButton);
        }
    });
    ticker.start();
    search.findChild<QAction*>(QString::number(CReservedSearchDlg::kIdSendMail))->trigger();
    ASSERT_NE(painted, nullptr);
    EXPECT_GT(painted->paints, 0);
    ASSERT_FALSE(receivedAtClick.empty());
    EXPECT_EQ(receivedAtClick.back().rfind("MAIL From:", 0), 0u) << receivedAtClick.back();
    for (const std::string& line : slow.Received()) EXPECT_NE(line, "DATA");
    EXPECT_TRUE(list->GetCheck(0));
    EXPECT_EQ(list->GetItemText(0, CReservedSearchDlg::kColContactState), QStringLiteral("未"));
    EXPECT_TRUE(CMessageService::History().isEmpty()) << ShownTexts().join(u'|').toStdString();
}

}  // namespace
}  // namespace velo::sheet
