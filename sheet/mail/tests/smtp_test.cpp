// Tests of the SMTP session and the front object. The dialogue's shape and its error paths
// run against the scripted server; real delivery runs against aiosmtpd (plain, AUTH LOGIN,
// STARTTLS, TLS), and what arrives is read back with Python's standard mail parser.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "sheet/mail/base64codec.h"
#include "sheet/mail/duvuzedi.h"
#include "sheet/mail/mailtext.h"
#include "sheet/mail/mimemessage.h"
#include "sheet/mail/smtpsession.h"
#include "sheet/mail/tests/pop3testserver.h"
#include "sheet/mail/tests/scriptedserver.h"
#include "sheet/mail/tests/smtptestserver.h"
#include "sheet/mail/tests/testcert.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/text/cp932.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/messageservice.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace velo::mail {
namespace {

using test::CScriptedServer;
using test::CSmtpTestServer;
using test::ScriptStep;
using test::SmtpTestServerOptions;

// The status control of the sending dialog, keeping every text it was given.
class CRecordingStatus final : public IMailStatusWindow {
public:
    std::string GetStatusText() const override { return m_text; }
    void SetStatusText(const std::string& cp932) override {
        m_text = cp932;
        m_history.push_back(cp932);
    }
    std::string m_text = "待機中";
    std::vector<std::string> m_history;

    bool Showed(const std::string& text) const {
        return std::find(m_history.begin(), m_history.end(), text) != m_history.end();
    }
    std::vector<std::string> StartingWith(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& t : m_history)
            if (t.rfind(prefix, 0) == 0) out.push_back(t);
        return out;
    }
};

// Every test gets its own database folder, so its "EMail" settings stay its own.
class MailSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        CGlobalSettings::SetDatabaseFolder(m_dir.path().toStdString());
        CMessageService::ClearHistory();
    }
    void TearDown() override { CGlobalSettings::SetDatabaseFolder(""); }

    static void SetInt(const char* key, int value) {
        ASSERT_TRUE(CVeloSubTools::SetGlobalSettingInt("EMail", key, value));
    }
    static void SetString(const char* key, const char* value) {
        ASSERT_TRUE(CVeloSubTools::SetGlobalSettingString("EMail", key, QString::fromUtf8(value)));
    }
    std::string Folder() const { return m_dir.path().toStdString(); }

    // The texts shown in message boxes since the test began.
    static QStringList ShownMessages() {
        QStringList texts;
        for (const CMessageService::Request& r : CMessageService::History()) texts << r.text;
        return texts;
    }

    QTemporaryDir m_dir;
};

CMimeMessage MakeMessage(const char* to, const std::string& body) {
    CMimeMessage message;
    message.SetEnvelopeSender("clinic@example.jp");
    message.SetFrom("clinic@example.jp");
    message.SetRecipients(to, "", "");
    message.SetSubject("Reminder");
    message.SetBody(body);
    return message;
}

TEST(DotStuffBody, DoublesEveryLeadingDotAndEndsEveryLineInCrLf) {
    EXPECT_EQ(DotStuffBody(".\r\n"), "..\r\n");
    EXPECT_EQ(DotStuffBody(".5 mm\r\n...\r\n.\r\nend"), "..5 mm\r\n....\r\n..\r\nend\r\n");
    // Dots that do not begin a line stay single.
    EXPECT_EQ(DotStuffBody("a.b\r\n x.\r\n"), "a.b\r\n x.\r\n");
    // A bare line end cannot hide a dot line (or end the data early) at the server.
    EXPECT_EQ(DotStuffBody("a\n.\nb\r.c"), "a\r\n..\r\nb\r\n..c\r\n");
    EXPECT_EQ(NormalizeLineEnds("a\n.\r\nb"), "a\r\n.\r\nb\r\n");
    EXPECT_EQ(DotStuffBody(""), "");
}

TEST(MakeMessageId, PadsTheTickWithZerosAndKeepsOneToken) {
    EXPECT_EQ(MakeMessageId(1700000000, 42, "taro", "smtp.example.jp"),
              "<1700000000.0042taro@smtp.example.jp>");
    EXPECT_EQ(MakeMessageId(1700000000, 9999, "", "mail.example.jp"),
              "<1700000000.9999@mail.example.jp>");
    // An account that is an address (or holds spaces) must not add a second "@".
    EXPECT_EQ(MakeMessageId(1, 7, "taro@example.jp", "smtp.example.jp"),
              "<1.0007taro.example.jp@smtp.example.jp>");
    EXPECT_EQ(MakeMessageId(1, 7, " a b ", "h"), "<1.0007a.b@h>");
}

class SmtpDialogueTest : public MailSettingsTest {
protected:
    std::unique_ptr<CSmtpSession> MakeSession(const CScriptedServer& server) {
        auto session = std::make_unique<CSmtpSession>("127.0.0.1", server.Port());
        session->SetStatusWindow(&m_status);
        return session;
    }
    CRecordingStatus m_status;
};

TEST_F(SmtpDialogueTest, PlainDialogueIsHeloThenMailAndReadsSplitAndMultiLineReplies) {
    CScriptedServer server({
        ScriptStep::SendSplit("220 test ready\r\n"),
        ScriptStep::Expect("HELO ", "250-test.example\r\n250-SIZE 1000000\r\n250 HELP\r\n"),
        ScriptStep::ExpectSplit("MAIL From: <clinic@example.jp>", "250 OK\r\n"),
        ScriptStep::Expect("RCPT TO: <a@example.jp>", "550 no such user\r\n"),
        ScriptStep::Expect("RCPT TO: <b@example.jp>", "250 OK\r\n"),
        ScriptStep::Expect("DATA", "354 go ahead\r\n"),
        ScriptStep::ExpectMessage("250-queued\r\n250 as 1\r\n"),
        ScriptStep::Expect("MAIL From: <clinic@example.jp>", "250 OK\r\n"),
        ScriptStep::Expect("RCPT TO: <c@exmaple.jp>", "550 5.1.1 unknown user\r\n"),
        ScriptStep::Expect("RSET", "250 flushed\r\n"),
        ScriptStep::Expect("QUIT", "221 bye\r\n"),
    });
    ASSERT_NE(server.Port(), 0) << server.Error();
    auto session = MakeSession(server);
    ASSERT_EQ(session->Connect(), 1) << session->GetErrorText();
    CMimeMessage message = MakeMessage("a@example.jp, b@example.jp", "line\r\n");
    // The refused first recipient does not stop the mail to the second.
    EXPECT_EQ(session->Send(message), 1) << session->GetErrorText();
    EXPECT_FALSE(session->RecipientsRefused());
    // With nobody left to receive it, the message is not sent and the transaction is
    // reset, so the connection can carry the next one.
    CMimeMessage nobody = MakeMessage("c@exmaple.jp", "line\r\n");
    EXPECT_EQ(session->Send(nobody), 0);
    EXPECT_TRUE(session->RecipientsRefused());
    EXPECT_TRUE(session->IsConnected());
    EXPECT_EQ(session->GetErrorText(),
              "550:" + Sjis("宛先のメールアドレスが受け付けられません（c@exmaple.jp）"));
    EXPECT_TRUE(m_status.Showed("RSET"));
    EXPECT_EQ(session->Quit(), 1) << session->GetErrorText();
    ASSERT_TRUE(server.WaitUntilFinished());
    EXPECT_EQ(server.Error(), "");

    const std::vector<std::string> lines = server.Received();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("HELO ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "MAIL From: <clinic@example.jp>");
    EXPECT_EQ(lines.back(), "QUIT");
    EXPECT_TRUE(m_status.Showed("CONNECT 127.0.0.1"));
    EXPECT_EQ(m_status.StartingWith("HELO ").size(), 1u);
    EXPECT_TRUE(m_status.Showed("QUIT"));
}

TEST_F(SmtpDialogueTest, RefusedGreetingAndHeloGiveTheirTexts) {
    {
        CScriptedServer server({ScriptStep::Send("554 go away\r\n")});
        auto session = MakeSession(server);
        EXPECT_EQ(session->Connect(), 0);
        EXPECT_EQ(session->GetErrorText(), Sjis("サーバーが反応しません"));
        EXPECT_FALSE(session->IsConnected());
        server.WaitUntilFinished();
        EXPECT_TRUE(server.Received().empty());
    }
    {
        CScriptedServer server({ScriptStep::Send("220 ready\r\n"),
                                ScriptStep::Expect("HELO ", "500 what?\r\n")});
        auto session = MakeSession(server);
        EXPECT_EQ(session->Connect(), 0);
        EXPECT_EQ(session->GetErrorText(), "500:" + Sjis("SMTPサーバーエラー"));
        EXPECT_FALSE(session->IsConnected());
    }
}

TEST_F(SmtpDialogueTest, DroppedAndSilentServersFailWithoutHanging) {
    {
        CScriptedServer server({ScriptStep::Send("220 ready\r\n"),
                                ScriptStep::Expect("HELO ", "250 ok\r\n"),
                                ScriptStep::Drop("MAIL")});
        auto session = MakeSession(server);
        ASSERT_EQ(session->Connect(), 1) << session->GetErrorText();
        CMimeMessage message = MakeMessage("a@example.jp", "x\r\n");
        EXPECT_EQ(session->Send(message), 0);
        EXPECT_EQ(session->GetErrorText(), Sjis("ソケットエラー"));
        EXPECT_FALSE(session->IsConnected());
    }
    SetInt("Timeout", 1);
    {
        CScriptedServer server({ScriptStep::Send("220 ready\r\n"),
                                ScriptStep::Expect("HELO ", "250 ok\r\n"),
                                ScriptStep::Stall("MAIL")});
        auto session = MakeSession(server);
        ASSERT_EQ(session->Connect(), 1) << session->GetErrorText();
        CMimeMessage message = MakeMessage("a@example.jp", "x\r\n");
        EXPECT_EQ(session->Send(message), 0);
        EXPECT_EQ(session->GetErrorText(), Sjis("サーバーが反応しません"));
        // The silent line is given up, so QUIT does not wait a second time.
        EXPECT_FALSE(session->IsConnected());
        EXPECT_EQ(session->Quit(), 1);
    }
    {
        CScriptedServer server({ScriptStep::Stall()});
        auto session = MakeSession(server);
        EXPECT_EQ(session->Connect(), 0);
        EXPECT_EQ(session->GetErrorText(), Sjis("サーバーが反応しません"));
    }
}

TEST_F(SmtpDialogueTest, AuthLoginFallsBackToUserIdAndNeverShowsThePassword) {
    SetInt("SmtpAttach", 1);
    SetString("UserID", "taro");
    SetString("Password", "s3cret");
    const std::string user = CBase64Codec::Encode(std::string("taro"));
    const std::string pass = CBase64Codec::Encode(std::string("s3cret"));
    {
        CScriptedServer server({ScriptStep::Send("220 ready\r\n"),
                                ScriptStep::Expect("EHLO ", "250-x\r\n250 AUTH LOGIN\r\n"),
                                ScriptStep::Expect("AUTH LOGIN", "334 VXNlcm5hbWU6\r\n"),
                                ScriptStep::Expect(user, "334 UGFzc3dvcmQ6\r\n"),
                                ScriptStep::Expect(pass, "235 welcome\r\n"),
                                ScriptStep::Expect("QUIT", "221 bye\r\n")});
        auto session = MakeSession(server);
        ASSERT_EQ(session->Connect(), 1) << session->GetErrorText();
        EXPECT_EQ(session->Quit(), 1);
        server.WaitUntilFinished();
        EXPECT_EQ(server.Error(), "");
        EXPECT_TRUE(m_status.Showed("AUTH LOGIN"));
        EXPECT_TRUE(m_status.Showed("User " + user));
        EXPECT_TRUE(m_status.Showed("pass ******"));
        for (const std::string& text : m_status.m_history) {
            EXPECT_EQ(text.find("s3cret"), std::string::npos) << text;
            EXPECT_EQ(text.find(pass), std::string::npos) << text;
        }
    }
    SetString("SmtpPassword", "other");
    {
        CScriptedServer server(
            {ScriptStep::Send("220 ready\r\n"), ScriptStep::Expect("EHLO ", "250 ok\r\n"),
             ScriptStep::Expect("AUTH LOGIN", "334 VXNlcm5hbWU6\r\n"),
             ScriptStep::Expect(user, "334 UGFzc3dvcmQ6\r\n"),
             ScriptStep::Expect(CBase64Codec::Encode(std::string("other")), "535 no\r\n")});
        auto session = MakeSession(server);
        EXPECT_EQ(session->Connect(), 0);
        EXPECT_EQ(session->GetErrorText(), "535:" + Sjis("SMTP認証に失敗しました(PASSWORDエラー)"));
        server.WaitUntilFinished();
        EXPECT_EQ(server.Error(), "");
    }
}

// What a message costs on the line: one write per command, and the data in one write, or
// with a status window in pieces that advance its progress line; replies are read without
// a poll() before each.
TEST_F(SmtpDialogueTest, BodyGoesInOneWriteOrInPiecesWithProgressAndEmptyToSendsNothing) {
    std::string body;
    for (int i = 0; i < 13; ++i) body += std::string(98, char('a' + i)) + "\r\n";
    ASSERT_EQ(body.size(), 1300u);
    CScriptedServer server({ScriptStep::Send("220 ready\r\n"),
                            ScriptStep::Expect("HELO ", "250 ok\r\n"),
                            ScriptStep::Expect("MAIL", "250 ok\r\n"),
                            ScriptStep::Expect("RCPT", "250 ok\r\n"),
                            ScriptStep::Expect("DATA", "354 go\r\n"),
                            ScriptStep::ExpectMessage("250 ok\r\n"),
                            ScriptStep::Expect("MAIL", "250 ok\r\n"),
                            ScriptStep::Expect("RCPT", "250 ok\r\n"),
                            ScriptStep::Expect("DATA", "354 go\r\n"),
                            ScriptStep::ExpectMessage("250 ok\r\n"),
                            ScriptStep::Expect("QUIT", "221 bye\r\n")});
    auto session = MakeSession(server);
    ASSERT_EQ(session->Connect(), 1) << session->GetErrorText();

    CMimeMessage noRecipient = MakeMessage("", "x\r\n");
    EXPECT_EQ(session->Send(noRecipient), 0);
    EXPECT_EQ(session->GetErrorText(), Sjis("宛先が指定されていません"));

    const MailSocketCalls beforeFirst = session->SocketCalls();
    CMimeMessage message = MakeMessage("a@example.jp", body);
    EXPECT_EQ(session->Send(message), 1) << session->GetErrorText();
    const MailSocketCalls afterFirst = session->SocketCalls();
    EXPECT_EQ(afterFirst.sends - beforeFirst.sends, 3 + 3) << "MAIL, RCPT, DATA and 3 pieces";
    EXPECT_EQ(afterFirst.polls, beforeFirst.polls);

    session->SetStatusWindow(nullptr);
    CMimeMessage unwatched = MakeMessage("a@example.jp", ".5 mm\r\n" + body);
    EXPECT_EQ(session->Send(unwatched), 1) << session->GetErrorText();
    const MailSocketCalls afterSecond = session->SocketCalls();
    EXPECT_EQ(afterSecond.sends - afterFirst.sends, 3 + 1) << "MAIL, RCPT, DATA and the data";
    EXPECT_EQ(afterSecond.polls, afterFirst.polls);
    EXPECT_EQ(session->Quit(), 1);
    server.WaitUntilFinished();
    EXPECT_EQ(server.Error(), "");

    const std::vector<std::string> lines = server.Received();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind("MAIL", 0), 0u) << "something went before MAIL: " << lines[1];
    // Each message's header ends in an empty line, its body follows whole and a lone "."
    // ends it.
    std::vector<std::string> bodies(1);
    bool inBody = false;
    for (const std::string& line : lines) {
        if (line == ".") {
            inBody = false;
            bodies.emplace_back();
        } else if (inBody) {
            bodies.back() += line + "\r\n";
        } else if (line.empty()) {
            inBody = true;
        }
    }
    ASSERT_EQ(bodies.size(), 3u);
    EXPECT_EQ(bodies[0], body);
    EXPECT_EQ(bodies[1], "..5 mm\r\n" + body);

    const std::string sending = Sjis("送信中");
    EXPECT_EQ(m_status.StartingWith(sending),
              (std::vector<std::string>{sending + " 512/1300 bytes  39 %",
                                        sending + " 1024/1300 bytes  78 %",
                                        sending + " 1300/1300 bytes  100 %"}));
}

TEST_F(SmtpDialogueTest, DestructorQuitsAndPutsTheStatusTextBack) {
    CScriptedServer server({ScriptStep::Send("220 ready\r\n"),
                            ScriptStep::Expect("HELO ", "250 ok\r\n"),
                            ScriptStep::Expect("QUIT", "221 bye\r\n")});
    {
        auto session = MakeSession(server);
        ASSERT_EQ(session->Connect(), 1);
        EXPECT_NE(m_status.m_text, "待機中");
    }
    EXPECT_EQ(m_status.m_text, "待機中");
    server.WaitUntilFinished();
    EXPECT_EQ(server.Received().back(), "QUIT");
}

// Delivery to aiosmtpd, read back with Python's email package.
class SmtpPeerTest : public MailSettingsTest {
protected:
    static void SetUpTestSuite() { s_cert = std::make_unique<test::CTestCertificate>(); }
    static void TearDownTestSuite() { s_cert.reset(); }

    void StartServer(SmtpTestServerOptions options = {}) {
        options.certFile = s_cert->CertFile();
        options.keyFile = s_cert->KeyFile();
        m_server = std::make_unique<CSmtpTestServer>(Folder());
        ASSERT_TRUE(m_server->Start(options)) << m_server->Error();
        SetString("Stmp", "127.0.0.1");
    }
    MailSocketOptions TrustingTestCa() const {
        MailSocketOptions options;
        options.caFile = s_cert->CaFile();
        return options;
    }
    // The parsed JSON of the index-th message the server received.
    QJsonObject Received(size_t index) {
        const std::vector<std::string> files = m_server->ReceivedMessages();
        if (index >= files.size()) {
            ADD_FAILURE() << "only " << files.size() << " messages arrived; " << m_server->Log();
            return {};
        }
        std::string error;
        const std::string json = test::DecodeWithPython(files[index], Folder(), &error);
        EXPECT_EQ(error, "");
        return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    }
    // Sender, one recipient and a Japanese message on a fresh front object.
    void Compose(CDuvuZedi* mail, const char* body) {
        mail->SetStatusWindow(&m_status);
        mail->SetFrom("clinic@example.jp", Sjis("さくら歯科 受付"));
        mail->SetRecipients(Sjis("山田 花子 <hanako@example.jp>").c_str());
        mail->SetSubjectAndBody(Sjis("ご予約のお知らせ 5月1日 10:00"), Sjis(body));
    }

    static std::unique_ptr<test::CTestCertificate> s_cert;
    std::unique_ptr<CSmtpTestServer> m_server;
    CRecordingStatus m_status;
};

std::unique_ptr<test::CTestCertificate> SmtpPeerTest::s_cert;

TEST_F(SmtpPeerTest, JapaneseMailArrivesIntactAndMatchesTheSavedCopy) {
    StartServer();
    CDuvuZedi mail;
    ASSERT_EQ(mail.SetServer(CDuvuZedi::kSmtp, "127.0.0.1", "taro@example.jp"), 1);
    ASSERT_EQ(mail.Connect(CDuvuZedi::kSmtp, nullptr, m_server->Port()), 1) << m_server->Log();
    // Characters ISO-2022-JP lacks (髙, 﨑, ①) in the body and the sender's name: the
    // message goes in UTF-8 and arrives as typed.
    Compose(&mail, "山田様\r\n.5 mm の装置を調整します。\r\n...\r\n.\r\n髙橋より ①\r\n");
    mail.SetFrom("clinic@example.jp", Sjis("山﨑歯科, 受付"));
    ASSERT_EQ(mail.Send(0), 1) << ShownMessages().join("|").toStdString();
    EXPECT_EQ(mail.ConnectedKind(), CDuvuZedi::kSmtp);  // kept for the next message
    EXPECT_TRUE(mail.Subject().empty());
    EXPECT_TRUE(mail.To().empty());
    const std::string firstCopy = Folder() + "/0000000001.eml";
    ASSERT_EQ(mail.SaveLastMessage(firstCopy), 0);

    // A paragraph typed without line breaks, longer than a line may be (the server
    // refuses lines over 1000 octets): it goes in Base64, still ISO-2022-JP.
    std::string paragraph;
    for (int i = 0; i < 40; ++i) paragraph += "次回のご来院は五月十三日です。";
    Compose(&mail, (paragraph + "\r\n").c_str());
    ASSERT_EQ(mail.Send(0), 1) << ShownMessages().join("|").toStdString();

    // A third message with a blind copy over the same connection.
    Compose(&mail, "二通目\r\n");
    mail.SetRecipients("hanako@example.jp", "", "office@example.jp");
    ASSERT_EQ(mail.Send(1), 1) << ShownMessages().join("|").toStdString();
    EXPECT_EQ(mail.ConnectedKind(), CDuvuZedi::kNone);
    EXPECT_TRUE(ShownMessages().isEmpty()) << ShownMessages().join("|").toStdString();

    const QJsonObject first = Received(0);
    EXPECT_EQ(first["subject"].toString(), "ご予約のお知らせ 5月1日 10:00");
    EXPECT_EQ(first["from"].toArray().size(), 1);
    EXPECT_EQ(first["from"][0]["name"].toString(), "山﨑歯科, 受付");
    EXPECT_EQ(first["from"][0]["address"].toString(), "clinic@example.jp");
    EXPECT_EQ(first["to"][0]["name"].toString(), "山田 花子");
    EXPECT_EQ(first["to"][0]["address"].toString(), "hanako@example.jp");
    EXPECT_EQ(first["charset"].toString(), "utf-8");
    // Lines beginning with a dot keep it.
    EXPECT_EQ(first["body"].toString(), "山田様\n.5 mm の装置を調整します。\n...\n.\n髙橋より ①\n");
    EXPECT_LE(first["longest_line"].toInt(), 78);
    EXPECT_TRUE(first["defects"].toArray().isEmpty())
        << QJsonDocument(first["defects"].toArray()).toJson().toStdString();
    EXPECT_TRUE(first["message_id"].toString().contains("taro.example.jp@127.0.0.1"));
    EXPECT_EQ(test::ReadWholeFile(firstCopy),
              test::ReadWholeFile(m_server->ReceivedMessages().at(0)));

    const QJsonObject second = Received(1);
    EXPECT_EQ(second["charset"].toString(), "iso-2022-jp");
    EXPECT_EQ(second["transfer_encoding"].toString(), "base64");
    EXPECT_EQ(second["body"].toString(), QString::fromUtf8(paragraph) + "\n");
    EXPECT_LE(second["longest_line"].toInt(), 78);

    const QJsonObject third = Received(2);
    EXPECT_EQ(third["body"].toString(), "二通目\n");
    EXPECT_EQ(third["charset"].toString(), "iso-2022-jp");
    EXPECT_EQ(third["transfer_encoding"].toString(), "7bit");
    const std::string envelope = m_server->EnvelopeOf(m_server->ReceivedMessages().at(2));
    EXPECT_NE(envelope.find("office@example.jp"), std::string::npos) << envelope;
    const std::string raw = test::ReadWholeFile(m_server->ReceivedMessages().at(2));
    EXPECT_EQ(raw.find("office@example.jp"), std::string::npos) << "the blind copy shows";

    // The kept copy of the last message is what the recipient got, plus the Bcc line.
    const std::string saved = Folder() + "/0000000003.eml";
    ASSERT_EQ(mail.SaveLastMessage(saved), 0);
    std::string kept = test::ReadWholeFile(saved);
    const size_t bcc = kept.find("Bcc: office@example.jp\r\n");
    ASSERT_NE(bcc, std::string::npos);
    kept.erase(bcc, std::string("Bcc: office@example.jp\r\n").size());
    EXPECT_EQ(kept, raw);
    EXPECT_NE(mail.LastHeader().find(Sjis("ご予約のお知らせ")), std::string::npos);
    EXPECT_EQ(mail.LastDateText(), FormatLastDateText(mail.LastDate()));
    EXPECT_EQ(mail.SaveLastMessage(Folder() + "/no/such/folder/x.eml"), -1);
}

TEST_F(SmtpPeerTest, FrontObjectRefusesIncompleteMailInOrderBeforeConnecting) {
    StartServer();
    CDuvuZedi mail;
    EXPECT_EQ(mail.SetServer(CDuvuZedi::kSmtp, ""), 0);
    EXPECT_EQ(mail.Send(0), 0);
    mail.SetFrom("clinic@example.jp");
    EXPECT_EQ(mail.Send(0), 0);
    mail.SetRecipients("a@example.jp");
    EXPECT_EQ(mail.Send(0), 0);
    mail.SetSubjectAndBody("s", "");
    EXPECT_EQ(mail.Send(0), 0);
    mail.SetRecipients("a@example.jp", "no-at-sign");
    mail.SetSubjectAndBody("s", "b");
    EXPECT_EQ(mail.Send(0), 0);
    // The POP3 login's settings, checked in order before anything is dialled.
    EXPECT_EQ(mail.SetServer(CDuvuZedi::kPop3, "", "", ""), 0);
    EXPECT_EQ(mail.SetServer(CDuvuZedi::kPop3, "pop.example.jp"), 0);
    EXPECT_EQ(mail.Connect(CDuvuZedi::kPop3, nullptr, -1, "taro"), 0);
    EXPECT_EQ(ShownMessages(), (QStringList{"SMTP サーバー名が設定されていません",
                                            "送信者のメールアドレスが設定されていません",
                                            "送信先の指定がありません",
                                            "メールのタイトルがありません",
                                            "メールの本文がありません",
                                            "メールアドレスが不正です\nno-at-sign",
                                            "POP サーバー名が設定されていません",
                                            "メールアカウントが設定されていません",
                                            "パスワードが設定されていません"}));
    EXPECT_EQ(mail.ConnectedKind(), CDuvuZedi::kNone);
    EXPECT_TRUE(m_server->ReceivedMessages().empty());
}

TEST_F(SmtpPeerTest, PopBeforeSmtpLogsInQuitsThenSends) {
    test::CPop3TestServer pop(*s_cert, "taro", "pop-pass");
    ASSERT_EQ(pop.Error(), "");
    StartServer();
    CDuvuZedi mail;
    mail.SetStatusWindow(&m_status);
    ASSERT_EQ(mail.SetServer(CDuvuZedi::kPop3, "127.0.0.1", "taro", "pop-pass", 1), 1);
    ASSERT_EQ(mail.Connect(CDuvuZedi::kPop3, "127.0.0.1", pop.Port(), "taro", "pop-pass", 1), 1)
        << ShownMessages().join("|").toStdString() << pop.Log();
    EXPECT_EQ(mail.ConnectedKind(), CDuvuZedi::kPop3);
    EXPECT_EQ(mail.Disconnect(), 1);
    EXPECT_EQ(mail.ConnectedKind(), CDuvuZedi::kNone);
    EXPECT_EQ(m_status.m_text, "待機中");  // the POP3 session put the text back

    ASSERT_EQ(mail.SetServer(CDuvuZedi::kSmtp, "127.0.0.1"), 1);
    ASSERT_EQ(mail.Connect(CDuvuZedi::kSmtp, nullptr, m_server->Port()), 1);
    Compose(&mail, "POPの後で\r\n");
    ASSERT_EQ(mail.Send(1), 1);
    EXPECT_EQ(Received(0)["body"].toString(), "POPの後で\n");

    // A refused login shows the POP3 session's own text and leaves nothing connected.
    EXPECT_EQ(mail.Connect(CDuvuZedi::kPop3, nullptr, pop.Port(), nullptr, "wrong", 0), 0);
    EXPECT_EQ(mail.ConnectedKind(), CDuvuZedi::kNone);
    EXPECT_EQ(ShownMessages(), QStringList{"アカウントとパスワードが無効です"});
}

TEST_F(SmtpPeerTest, AuthLoginIsAcceptedAndAWrongPasswordIsShown) {
    SmtpTestServerOptions options;
    options.user = "clinic";
    options.password = "pa55word";
    StartServer(options);
    SetInt("SmtpAttach", 1);
    SetString("SmtpUserID", "clinic");
    SetString("SmtpPassword", "pa55word");
    {
        CDuvuZedi mail;
        ASSERT_EQ(mail.Connect(CDuvuZedi::kSmtp, "127.0.0.1", m_server->Port()), 1)
            << ShownMessages().join("|").toStdString();
        Compose(&mail, "認証付き\r\n");
        ASSERT_EQ(mail.Send(1), 1);
        EXPECT_EQ(Received(0)["body"].toString(), "認証付き\n");
    }
    SetString("SmtpPassword", "wrong");
    CDuvuZedi mail;
    EXPECT_EQ(mail.Connect(CDuvuZedi::kSmtp, "127.0.0.1", m_server->Port()), 0);
    EXPECT_EQ(ShownMessages(), QStringList{"535:SMTP認証に失敗しました(PASSWORDエラー)"});
}

TEST_F(SmtpPeerTest, StartTlsSecuresTheLineBeforeAuth) {
    SmtpTestServerOptions options;
    options.mode = SmtpTestServerOptions::EMode::kStartTls;
    options.user = "clinic";
    options.password = "pa55word";
    StartServer(options);
    SetInt("SmtpSecurity", 1);
    SetInt("SmtpAttach", 1);
    SetString("SmtpUserID", "clinic");
    SetString("SmtpPassword", "pa55word");
    CDuvuZedi mail;
    mail.SetSocketOptions(TrustingTestCa());
    mail.SetStatusWindow(&m_status);
    // The server refuses AUTH on a plain line, so this also shows the order of the steps.
    ASSERT_EQ(mail.Connect(CDuvuZedi::kSmtp, "localhost", m_server->Port()), 1)
        << ShownMessages().join("|").toStdString();
    EXPECT_TRUE(m_status.Showed("STARTTLS localhost"));
    EXPECT_EQ(m_status.StartingWith("EHLO ").size(), 2u);  // greeted again after STARTTLS
    Compose(&mail, "暗号化\r\n");
    ASSERT_EQ(mail.Send(1), 1);
    EXPECT_EQ(Received(0)["body"].toString(), "暗号化\n");
}

TEST_F(SmtpPeerTest, TlsFromTheStartVerifiesTheServer) {
    SmtpTestServerOptions options;
    options.mode = SmtpTestServerOptions::EMode::kTls;
    StartServer(options);
    SetInt("SmtpSecurity", 2);
    {
        CDuvuZedi mail;
        mail.SetSocketOptions(TrustingTestCa());
        mail.SetStatusWindow(&m_status);
        ASSERT_EQ(mail.Connect(CDuvuZedi::kSmtp, "localhost", m_server->Port()), 1)
            << ShownMessages().join("|").toStdString();
        EXPECT_TRUE(m_status.Showed("TLS localhost"));
        Compose(&mail, "最初から暗号化\r\n");
        ASSERT_EQ(mail.Send(1), 1);
        EXPECT_EQ(Received(0)["body"].toString(), "最初から暗号化\n");
    }
    // Without the clinic's authority the system's trust store does not know the server.
    CDuvuZedi untrusting;
    EXPECT_EQ(untrusting.Connect(CDuvuZedi::kSmtp, "localhost", m_server->Port()), 0);
    ASSERT_EQ(ShownMessages().size(), 1);
    EXPECT_TRUE(ShownMessages()[0].startsWith("安全な接続(TLS)を確立できません"))
        << ShownMessages()[0].toStdString();
    // "TlsVerify" 0 is the way for a clinic's own server.
    SetInt("TlsVerify", 0);
    CDuvuZedi trusting;
    EXPECT_EQ(trusting.Connect(CDuvuZedi::kSmtp, "localhost", m_server->Port()), 1);
}

}  // namespace
}  // namespace velo::mail
