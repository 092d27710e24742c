// Tests of message building: the exact header and body of a single-part message, the
// character set and transfer encoding a message needs (UTF-8 for characters ISO-2022-JP
// lacks, Base64 for over-long lines), encoded words both ways (whole words, folded, names
// with blanks, header lines that values cannot break), the Date header's real zone offset,
// address lists and their two messages, Base64, and the multipart layout with a file
// attachment, read back by Python's mail parser with names and subjects as clinics type them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <ctime>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "sheet/mail/base64codec.h"
#include "sheet/mail/jisconvert.h"
#include "sheet/mail/mailmessage.h"
#include "sheet/mail/mailpartencoder.h"
#include "sheet/mail/mailtext.h"
#include "sheet/mail/mimemessage.h"
#include "suite/text/cp932.h"
#include "suite/tool/messageservice.h"

namespace velo::mail {
namespace {

std::string S(const char* utf8) { return Sjis(utf8); }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// The ISO-2022-JP bytes inside the first encoded word of a line.
std::string FirstWordJis(const std::string& line) {
    const size_t start = line.find("=?ISO-2022-JP?B?");
    const size_t end = line.find("?=", start + 16);
    if (start == std::string::npos || end == std::string::npos) return {};
    std::string jis;
    CBase64Codec::Decode(line.substr(start + 16, end - start - 16), &jis);
    return jis;
}

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1))
        ++count;
    return count;
}

QStringList ShownMessages() {
    QStringList texts;
    for (const CMessageService::Request& request : CMessageService::History())
        texts << request.text;
    return texts;
}

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        const char* old = getenv("TZ");
        m_hadOld = old != nullptr;
        if (m_hadOld) m_old = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (m_hadOld) {
            setenv("TZ", m_old.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool m_hadOld = false;
    std::string m_old;
};

CMimeMessage ReminderMessage() {
    CMimeMessage message;
    message.SetEnvelopeSender("clinic@example.jp");
    message.SetFrom("clinic@example.jp");
    message.SetSubject("Reminder");
    message.SetMessageId("<1700000000.  42@mail.example.jp>");
    message.SetMailer("DuvuZedi Ver.1.0");
    message.SetBody(S("明日の予約です。\r\n.5 mm"));
    EXPECT_EQ(message.SetRecipients("taro@example.jp", "", ""), 1);
    return message;
}

void Build(CMailMessage& message) {
    message.ClearHeader();
    message.BuildHeader();
    message.EndHeader();
    message.BuildBody();
}

TEST(MailMessageTest, SinglePartMessageHasExactlyTheBaseLinesAndAJisBody) {
    ScopedTimeZone tokyo("JST-9");
    CMimeMessage message = ReminderMessage();
    Build(message);
    const std::string expected =
        "From: clinic@example.jp\r\n"
        "To: taro@example.jp\r\n"
        "Date: " +
        FormatMailDate(message.Date()) +
        "\r\n"
        "Subject: Reminder\r\n"
        "Message-Id: <1700000000.  42@mail.example.jp>\r\n"
        "X-Mailer: DuvuZedi Ver.1.0\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
        "Content-Transfer-Encoding: 7bit\r\n"
        "\r\n";
    EXPECT_EQ(message.Header(), expected);
    EXPECT_EQ(message.Body(), "\x1B$@L@F|$NM=Ls$G$9!#\x1B(B\r\n.5 mm\r\n");
    EXPECT_GT(message.Date(), 0);

    char stamp[16];
    std::tm local{};
    const std::time_t moment = message.Date();
    localtime_r(&moment, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d", &local);
    EXPECT_EQ(message.DateStamp(), stamp);
    std::strftime(stamp, sizeof stamp, "%H%M%S", &local);
    EXPECT_EQ(message.TimeStamp(), stamp);

    // A body changed between the header and the body goes as it now stands.
    message = ReminderMessage();
    message.ClearHeader();
    message.BuildHeader();
    message.SetBody(S("変更しました。\r\n"));
    message.BuildBody();
    EXPECT_EQ(message.Body(), SjisToIso2022Jp(S("変更しました。\r\n")));

    // A paragraph longer than a line may be stays ISO-2022-JP, in Base64 lines.
    std::string paragraph;
    for (int i = 0; i < 50; ++i) paragraph += S("次回のご予約は五月十三日です。");
    message = ReminderMessage();
    message.SetBody(paragraph);
    Build(message);
    EXPECT_NE(message.Header().find("Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                                    "Content-Transfer-Encoding: base64\r\n\r\n"),
              std::string::npos);
    std::string decoded;
    for (const std::string& line : Lines(message.Body())) {
        EXPECT_LE(line.size(), 76u);
        CBase64Codec::Decode(line, &decoded);
    }
    EXPECT_TRUE(decoded == SjisToIso2022Jp(paragraph) + "\r\n");

    // A character ISO-2022-JP lacks, in the body, the subject or the sender's name, turns
    // the whole message to UTF-8: encoded words and a Base64 body.
    for (const char* field : {"body", "subject", "from"}) {
        message = ReminderMessage();
        if (field == std::string("body")) message.SetBody(S("髙橋様 ①"));
        if (field == std::string("subject")) message.SetSubject(S("山﨑様"));
        if (field == std::string("from")) message.SetFrom(S("ｻｸﾗ歯科 <clinic@example.jp>"));
        Build(message);
        const std::string& header = message.Header();
        EXPECT_NE(header.find("Content-Type: text/plain; charset=UTF-8\r\n"
                              "Content-Transfer-Encoding: base64\r\n\r\n"),
                  std::string::npos)
            << field;
        EXPECT_EQ(CountOf(header, "=?ISO-2022-JP?"), 0) << field;
        decoded.clear();
        CBase64Codec::Decode(message.Body(), &decoded);
        EXPECT_EQ(QString::fromUtf8(decoded),
                  field == std::string("body") ? QString::fromUtf8("髙橋様 ①\r\n")
                                               : QString::fromUtf8("明日の予約です。\r\n.5 mm\r\n"))
            << field;
    }

    // A body that already ends in CR LF gets no second one.
    CMailMessage plain;
    plain.SetBody("line\r\n");
    plain.BuildBody();
    EXPECT_EQ(plain.Body(), "line\r\n");
    plain.SetBody("line\n");
    plain.BuildBody();
    EXPECT_EQ(plain.Body(), "line\n\r\n");
}

TEST(MailMessageTest, ReferenceAddsTwoLinesOnceAndCcBccAppearOnlyWhenGiven) {
    CMimeMessage message = ReminderMessage();
    message.SetReference("<1.2@x.jp>");
    ASSERT_EQ(message.SetRecipients("", "hanako@example.jp", "staff@example.jp"), 1);
    Build(message);
    const auto lines = Lines(message.Header());
    EXPECT_EQ(lines[2], "Cc: hanako@example.jp");
    EXPECT_EQ(lines[3], "Bcc: staff@example.jp");
    EXPECT_EQ(lines[7], "References: <1.2@x.jp>");
    EXPECT_EQ(lines[8], "In-Reply-To: <1.2@x.jp>");
    EXPECT_EQ(message.Reference(), "");
    Build(message);
    EXPECT_EQ(CountOf(message.Header(), "References:"), 0);
}

TEST(MailMessageTest, JapaneseHeaderWordsBecomeEncodedWordsThatDecodeBack) {
    CMimeMessage message = ReminderMessage();
    message.SetSubject(S("ご予約のお知らせ"));
    message.SetFrom(S("山田 花子 <clinic@example.jp>"));
    Build(message);
    const auto lines = Lines(message.Header());

    const std::string& subject = lines[3];
    ASSERT_EQ(subject.rfind("Subject: =?ISO-2022-JP?B?", 0), 0u) << subject;
    EXPECT_EQ(CountOf(subject, "=?ISO-2022-JP?B?"), 1);
    const std::string jis = FirstWordJis(subject);
    EXPECT_EQ(jis.substr(0, 3), "\x1B$@");
    EXPECT_EQ(jis.substr(jis.size() - 3), "\x1B(B");

    // The blank between family and given name stays, inside the one word: readers drop
    // blanks between two adjacent encoded words.
    const std::string& from = lines[0];
    EXPECT_EQ(CountOf(from, "=?ISO-2022-JP?B?"), 1);
    EXPECT_EQ(from.substr(from.size() - 22), "?= <clinic@example.jp>");
    std::string name = FirstWordJis(from);
    CMailMessage::FromJis(name);
    EXPECT_EQ(name, S("山田 花子"));

    std::string header = message.Header();
    CMailMessage::DecodeHeaderText(header);
    EXPECT_NE(header.find("Subject: " + S("ご予約のお知らせ") + "\r\n"), std::string::npos);
    EXPECT_EQ(header.rfind("From: " + S("山田 花子 <clinic@example.jp>") + "\r\n", 0), 0u);

    // A word holding Japanese is encoded whole, digits and brackets included, so no
    // encoded word touches ASCII; blanks between such words go inside the word, plain
    // ASCII words stay outside, and ASCII alone is untouched.
    std::string mixed = S("予約(6/1) 5月13日 ") + "ok";
    CMailMessage::EncodeHeaderText(mixed);
    EXPECT_EQ(mixed.rfind("=?ISO-2022-JP?B?", 0), 0u) << mixed;
    EXPECT_EQ(CountOf(mixed, "=?ISO-2022-JP?B?"), 1);
    EXPECT_EQ(mixed.substr(mixed.size() - 5), "?= ok");
    CMailMessage::DecodeHeaderText(mixed);
    EXPECT_EQ(mixed, S("予約(6/1) 5月13日 ok"));

    // A long subject is folded into lines of at most 76 characters and words of at most
    // 75, each word a whole ISO-2022-JP text; decoding gives the subject back.
    std::string longSubject = S("【ご予約確認】");
    for (int i = 1; i <= 6; ++i) longSubject += S(" 5月1") + char('0' + i) + S("日(火) 10:00 調整");
    message.SetSubject(longSubject);
    Build(message);
    int words = 0;
    for (const std::string& line : Lines(message.Header())) {
        EXPECT_LE(line.size(), 76u) << line;
        for (size_t start = line.find("=?"), end; start != std::string::npos;
             start = line.find("=?", end)) {
            end = line.find("?=", start + 16) + 2;
            EXPECT_LE(end - start, 75u);
            EXPECT_TRUE(start == 0 || line[start - 1] == ' ') << line;
            EXPECT_TRUE(end == line.size() || line[end] == ' ') << line;
            const std::string jis = FirstWordJis(line.substr(start));
            const size_t lastEscape = std::min(jis.rfind('\x1B'), jis.size());
            EXPECT_TRUE(lastEscape == jis.size() || jis.substr(lastEscape, 3) == "\x1B(B");
            ++words;
        }
    }
    EXPECT_GE(words, 5);
    header = message.Header();
    CMailMessage::DecodeHeaderText(header);
    EXPECT_NE(header.find("\r\nSubject: " + longSubject + "\r\n"), std::string::npos) << header;

    // UTF-8 words decode too, for the copy of a header shown after sending.
    message.SetSubject(S("山﨑様 5月13日"));
    Build(message);
    header = message.Header();
    EXPECT_NE(header.find("Subject: =?UTF-8?B?"), std::string::npos);
    CMailMessage::DecodeHeaderText(header);
    EXPECT_NE(header.find("\r\nSubject: " + S("山﨑様 5月13日") + "\r\n"), std::string::npos);

    std::string ascii = "Subject: Re: (6/1) =?x?= 100%\r\n";
    std::string copy = ascii;
    CMailMessage::EncodeHeaderText(copy);
    EXPECT_EQ(copy, ascii);
    CMailMessage::DecodeHeaderText(copy);
    EXPECT_EQ(copy, ascii);
    std::string unfinished = "a =?ISO-2022-JP?B?GyRAJT4bKEI= b";
    copy = unfinished;
    CMailMessage::DecodeHeaderText(copy);
    EXPECT_EQ(copy, unfinished);
}

TEST(MailMessageTest, LineBreaksInsideValuesCannotStartHeaderLines) {
    CMimeMessage message = ReminderMessage();
    message.SetSubject("Hello\r\nBcc: victim@example.org");
    message.SetFrom("clinic@example.jp\nX-Evil: 1");
    message.SetMessageId("<1@x>\r\n\r\nbody");
    message.SetMailer("M\rX");
    message.SetReference("<r@x>\nX-Ref: 1");
    message.SetEnvelopeSender("clinic@example.jp\r\nRCPT TO:<x@y>");
    ASSERT_EQ(message.SetRecipients("\"A\nB\" <taro@example.jp\r\n>", "", ""), 1);
    Build(message);
    const auto lines = Lines(message.Header());
    ASSERT_EQ(lines.size(), 12u);  // 11 header lines and the empty line
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find('\r'), std::string::npos);
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
    for (const char* field : {"Bcc:", "X-Evil:", "X-Ref:", "body"}) {
        for (const std::string& line : lines) EXPECT_NE(line.rfind(field, 0), 0u) << line;
    }
    EXPECT_EQ(lines[1], "To: taro@example.jp,\"AB\" <taro@example.jp>");
    EXPECT_EQ(lines[3], "Subject: HelloBcc: victim@example.org");
    EXPECT_EQ(message.EnvelopeSender(), "clinic@example.jpRCPT TO:<x@y>");
}

TEST(MailMessageTest, DateHeaderCarriesTheRealOffsetInEnglish) {
    const std::time_t winter = 1736242200;  // 2025-01-07 09:30:00 UTC
    const std::time_t summer = 1751880600;  // 2025-07-07 09:30:00 UTC
    {
        ScopedTimeZone tz("JST-9");
        EXPECT_EQ(FormatMailDate(winter), "Tue, 07 Jan 2025 18:30:00 +0900");
    }
    {
        ScopedTimeZone tz("EST5EDT,M3.2.0,M11.1.0");
        EXPECT_EQ(FormatMailDate(winter), "Tue, 07 Jan 2025 04:30:00 -0500");
        EXPECT_EQ(FormatMailDate(summer), "Mon, 07 Jul 2025 05:30:00 -0400");
    }
    {
        ScopedTimeZone tz("NST3:30NDT,M3.2.0,M11.1.0");
        EXPECT_EQ(FormatMailDate(winter), "Tue, 07 Jan 2025 06:00:00 -0330");
    }
    {
        ScopedTimeZone tz("IST-5:30");
        EXPECT_EQ(FormatMailDate(winter), "Tue, 07 Jan 2025 15:00:00 +0530");
    }
    {
        ScopedTimeZone tz("UTC0");
        CMimeMessage message = ReminderMessage();
        Build(message);
        EXPECT_NE(message.Header().find("Date: " + FormatMailDate(message.Date()) + "\r\n"),
                  std::string::npos);
        EXPECT_NE(message.Header().find(" +0000\r\n"), std::string::npos);
    }
}

class AddressListTest : public ::testing::Test {
protected:
    void SetUp() override { CMessageService::ClearHistory(); }
};

TEST_F(AddressListTest, ListsAreNormalisedSplitAndTrimmed) {
    CMailMessage message;
    ASSERT_EQ(message.SetRecipients(S("山田 太郎 <taro@example.jp>,, ,jiro@example.jp,"),
                                    "a@example.jp  ,  b@example.jp", "c@example.jp , "),
              1);
    std::string address = "unchanged", name = "unchanged";
    ASSERT_EQ(message.GetAddressCount(kAddressTo), 2);
    ASSERT_EQ(message.GetAddress(kAddressTo, 0, &address, &name), 1);
    EXPECT_EQ(address, "taro@example.jp");
    EXPECT_EQ(name, S("山田 太郎"));  // To names stay as given until the header is built
    ASSERT_EQ(message.GetAddress(kAddressTo, 1, &address, &name), 1);
    EXPECT_EQ(address, "jiro@example.jp");
    EXPECT_EQ(name, "");

    ASSERT_EQ(message.GetAddressCount(kAddressCc), 2);
    message.GetAddress(kAddressCc, 0, &address, nullptr);
    EXPECT_EQ(address, "a@example.jp");
    message.GetAddress(kAddressCc, 1, &address, nullptr);
    EXPECT_EQ(address, "b@example.jp");
    EXPECT_EQ(message.GetAddressCount(kAddressBcc), 1);

    address = name = "unchanged";
    EXPECT_EQ(message.GetAddress(kAddressCc, 2, &address, &name), 0);
    EXPECT_EQ(message.GetAddress(kAddressCc, -1, &address, &name), 0);
    EXPECT_EQ(message.GetAddress(7, 0, &address, &name), 0);
    EXPECT_EQ(address, "unchanged");
    EXPECT_EQ(name, "unchanged");
    EXPECT_TRUE(ShownMessages().isEmpty());
}

TEST_F(AddressListTest, CcNamesAreEncodedAndBadItemsShowTheirMessage) {
    CMailMessage message;
    ASSERT_EQ(message.SetRecipients("", S("受付 <desk@example.jp>"), ""), 1);
    std::string name;
    message.GetAddress(kAddressCc, 0, nullptr, &name);
    EXPECT_EQ(name.rfind("=?ISO-2022-JP?B?", 0), 0u);

    // Without "@" a Cc item is refused; the entries before it stay.
    EXPECT_EQ(message.SetRecipients("", "ok@example.jp, nobody", ""), 0);
    EXPECT_EQ(message.GetAddressCount(kAddressCc), 2);
    // A double-byte character whose second byte is "@" (ァ) is no at sign.
    EXPECT_EQ(message.AddAddresses(kAddressBcc, S("ァ"), false), 0);
    // To takes what Cc refuses.
    EXPECT_EQ(message.SetRecipients("nobody", "", ""), 1);
    EXPECT_EQ(ShownMessages(), QStringList({QString::fromUtf8("メールアドレスが不正です\nnobody"),
                                            QString::fromUtf8("メールアドレスが不正です\nァ")}));

    CMessageService::ClearHistory();
    const QString angleMessage =
        QString::fromUtf8("メールアドレスの < と > の関係が正しくありません");
    EXPECT_EQ(message.SetRecipients("Taro <taro@example.jp", "", ""), 0);
    EXPECT_EQ(message.SetRecipients("Taro >taro@example.jp<", "", ""), 0);
    EXPECT_EQ(message.SetRecipients("", "", "x@example.jp, Taro <taro@example.jp"), 0);
    EXPECT_EQ(ShownMessages(), QStringList({angleMessage, angleMessage, angleMessage}));
    EXPECT_EQ(message.GetAddressCount(kAddressBcc), 1);
}

TEST(Base64Test, EncodesAndDecodesUntilTheFirstInvalidByte) {
    const char* vectors[][2] = {{"", ""},
                                {"f", "Zg=="},
                                {"fo", "Zm8="},
                                {"foo", "Zm9v"},
                                {"foob", "Zm9vYg=="},
                                {"fooba", "Zm9vYmE="},
                                {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(CBase64Codec::Encode(std::string_view(plain)), encoded);
        std::string decoded;
        EXPECT_EQ(CBase64Codec::Decode(encoded, &decoded), std::string_view(plain).size());
        EXPECT_EQ(decoded, plain);
    }
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    std::string decoded;
    CMailMessage::Base64Decode(CMailMessage::Base64Encode(all.data(), all.size()), &decoded);
    EXPECT_TRUE(decoded == all);

    // A line break ends the text: only the first line is decoded.
    decoded.clear();
    EXPECT_EQ(CMailMessage::Base64Decode("Zm9v\r\nYmFy", &decoded), 3);
    EXPECT_EQ(decoded, "foo");
    // Bytes above 127 are invalid, not the letters of their low seven bits (0xC1 is no "A").
    decoded.clear();
    EXPECT_EQ(CBase64Codec::Decode("Zm9v\xC1\xC1\xC1\xC1", &decoded), 3u);
    EXPECT_EQ(decoded, "foo");
}

TEST(MimeMessageTest, FileLinesAreSeventyTwoCharactersAndAFullLastBlockGetsAnEmptyLine) {
    EXPECT_EQ(FilePartLines(""), "\r\n\r\n");
    const std::string exact(108, 'x');
    const auto lines = Lines(FilePartLines(exact));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].size(), 72u);
    EXPECT_EQ(lines[1].size(), 72u);
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "");
}

class MultipartTest : public ::testing::Test {
protected:
    std::string WriteFile(const std::string& name, const std::string& bytes) {
        const std::string path = (m_dir.path() + "/").toStdString() + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string Attachment() const {
        std::string bytes;
        for (int i = 0; i < 54 * 3 + 10; ++i) bytes += static_cast<char>(i * 7 + 3);
        return bytes;
    }
    QTemporaryDir m_dir;
};

TEST_F(MultipartTest, TextAndFileLaidOutBetweenBoundaries) {
    const std::string bytes = Attachment();
    const std::string path = WriteFile("xray 1.bin", bytes);
    CMimeMessage message = ReminderMessage();
    message.SetAttachmentCount(1);
    message.AddPart("  " + path + " \t", kFilePartKind, "", 0, 0);
    Build(message);

    const std::string& boundary = message.Boundary();
    EXPECT_EQ(boundary.rfind("MM_Boundary_", 0), 0u);
    EXPECT_EQ(boundary.size(), 12u + 14u);
    EXPECT_NE(
        message.Header().find("MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=" +
                              boundary + "\r\n\r\n"),
        std::string::npos);
    EXPECT_EQ(message.Header().find("charset"), std::string::npos);

    const auto lines = Lines(message.Body());
    size_t i = 0;
    ASSERT_GE(lines.size(), 19u);
    EXPECT_EQ(lines[i++], "This is a multi-part message in MIME format.");
    EXPECT_EQ(lines[i++], "");
    EXPECT_EQ(lines[i++], "--" + boundary);
    EXPECT_EQ(lines[i++], "Content-Type: text/plain; charset=ISO-2022-JP");
    EXPECT_EQ(lines[i++], "Content-Transfer-Encoding: 7bit");
    EXPECT_EQ(lines[i++], "");
    EXPECT_EQ(lines[i++], "\x1B$@L@F|$NM=Ls$G$9!#\x1B(B");
    EXPECT_EQ(lines[i++], ".5 mm");
    EXPECT_EQ(lines[i++], "--" + boundary);
    EXPECT_EQ(lines[i++], "Content-Type: application/octet-stream; file=\"xray 1.bin\"");
    EXPECT_EQ(lines[i++], "Content-Transfer-Encoding: base64");
    EXPECT_EQ(lines[i++], "Content-Disposition: attachment; filename=\"xray 1.bin\"");
    EXPECT_EQ(lines[i++], "");
    std::string decoded;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
        EXPECT_LE(lines[i].size(), 72u);
        CBase64Codec::Decode(lines[i], &decoded);
    }
    EXPECT_TRUE(decoded == bytes);
    ASSERT_EQ(i + 2, lines.size());
    EXPECT_EQ(lines[i + 1], "--" + boundary + "--");
    EXPECT_EQ(message.Body().substr(message.Body().size() - 2), "\r\n");
}

TEST_F(MultipartTest, UnreadableFileGivesNoPartAndCopiesKeepTheParts) {
    CMimeMessage message = ReminderMessage();
    message.SetAttachmentCount(2);
    message.AddPart(m_dir.path().toStdString() + "/missing.pdf", kFilePartKind, "", 0, 0);
    message.AddPart(WriteFile("a.txt", "abc"), kFilePartKind, "", 0, 0);
    message.AddPart("\x1B$@F|\x1B(B", kTextPartKind, "", 0, 0);
    ASSERT_EQ(message.Parts().size(), 3u);
    EXPECT_EQ(message.Parts().front().EncoderKind, kTextPartKind);  // text parts go first

    CMimeMessage copy;
    copy = message;
    Build(copy);
    const std::string& body = copy.Body();
    EXPECT_EQ(CountOf(body, "--" + copy.Boundary() + "\r\n"), 3);  // two texts and a.txt
    EXPECT_EQ(body.find("missing.pdf"), std::string::npos);
    EXPECT_NE(body.find("filename=\"a.txt\"\r\n\r\nYWJj\r\n"), std::string::npos);
    EXPECT_EQ(copy.GetAddressCount(kAddressTo), 1);
    EXPECT_EQ(message.Body(), S("明日の予約です。\r\n.5 mm"));  // the original is not built
}

// A standard mail parser reads the built messages as they were meant: subject, names, body
// text and an attachment with a Japanese file name come back exactly as typed, also from
// strict readers (the default policy, and decode_header with make_header), whatever the
// subject's length and whatever a sender's name holds.
TEST_F(MultipartTest, PythonMailParserReadsTheBuiltMessage) {
    if (!QFile::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
    const std::string bytes = Attachment();
    CMimeMessage message = ReminderMessage();
    message.SetMessageId("<1700000000.0042@mail.example.jp>");
    message.SetSubject(S("【確認】山田 太郎 様 6/1 ご予約"));
    message.SetFrom(S("さくら歯科 受付 <clinic@example.jp>"));
    ASSERT_EQ(message.SetRecipients(S("山田 太郎 <taro@example.jp>"), S("ｻｸﾗ <cc@example.jp>"), ""),
              1);
    message.SetBody(S("山田 様\r\n髙橋先生の診察は 10:00 です。\r\n.\r\n"));
    message.SetAttachmentCount(1);
    message.AddPart(S(WriteFile("地図.bin", bytes).c_str()), kFilePartKind, "", 0, 0);
    Build(message);
    QStringList files = {
        QString::fromStdString(WriteFile("message.eml", message.Header() + message.Body()))};

    // Subjects and sender names as clinics type them; the third goes in UTF-8.
    std::string longSubject;
    for (int i = 1; i <= 5; ++i) longSubject += S("5月1") + char('0' + i) + S("日(火)10時 ");
    longSubject += S("のご予約を承りました。ご来院をお待ちしております");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {longSubject, S("さくら歯科, 受付")},
        {S("5月13日(火)の予約"), "Sakura, \"Dental\" \\ Clinic"},
        {S("山﨑様 ① 髙橋 5月13日"), S("山﨑歯科, 本院 \"受付\"")},
        {"Reminder: your appointment on 13 May at 10:00 with Dr. Sakura at the main clinic, "
         "please come ten minutes early",
         "Dr. Sakura"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        CMimeMessage single = ReminderMessage();
        single.SetMessageId("<1700000000.0042@mail.example.jp>");
        single.SetSubject(cases[i].first);
        single.SetFrom(cases[i].second + " <clinic@example.jp>");
        Build(single);
        for (const std::string& line : Lines(single.Header())) EXPECT_LE(line.size(), 76u) << line;
        files << QString::fromStdString(
            WriteFile("header" + std::to_string(i) + ".eml", single.Header() + single.Body()));
    }

    const char* script = R"(
import email, email.policy, json, re, sys
from email.header import decode_header, make_header
out = []
for path in sys.argv[1:]:
    raw = open(path, 'rb').read()
    m = email.message_from_bytes(raw, policy=email.policy.default)
    # The older interface leaves the folding in; a reader unfolds before decoding.
    subject = re.sub(r'\r?\n(?=[ \t])', '', email.message_from_bytes(raw)['Subject'])
    defects = [type(d).__name__ for d in m.defects]
    for name, value in m.items():
        defects += [name + ': ' + type(d).__name__ for d in getattr(value, 'defects', ())]
    out.append({'subject': str(m['Subject']),
                'decoded_subject': str(make_header(decode_header(subject))),
                'from': [[a.display_name, a.addr_spec] for a in m['From'].addresses],
                'to': [a.display_name for a in m['To'].addresses],
                'cc': [a.display_name for a in m['Cc'].addresses] if m['Cc'] else [],
                'body': m.get_body(('plain',)).get_content(),
                'files': [[p.get_filename(), p.get_content().hex()] for p in m.iter_attachments()],
                'defects': defects})
sys.stdout.buffer.write(json.dumps(out, ensure_ascii=False).encode('utf-8'))
)";
    QProcess python;
    python.start("/usr/bin/python3", QStringList{"-c", script} + files);
    ASSERT_TRUE(python.waitForFinished(30000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QJsonArray out = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    ASSERT_EQ(out.size(), 1 + qsizetype(cases.size()));

    const QJsonObject first = out[0].toObject();
    EXPECT_EQ(first["subject"].toString(), QString::fromUtf8("【確認】山田 太郎 様 6/1 ご予約"));
    EXPECT_EQ(first["from"][0][0].toString(), QString::fromUtf8("さくら歯科 受付"));
    EXPECT_EQ(first["to"][1].toString(), QString::fromUtf8("山田 太郎"));
    EXPECT_EQ(first["cc"][0].toString(), QString::fromUtf8("ｻｸﾗ"));
    EXPECT_EQ(first["body"].toString(),
              QString::fromUtf8("山田 様\r\n髙橋先生の診察は 10:00 です。\r\n.\r\n"));
    EXPECT_EQ(first["files"][0][0].toString(), QString::fromUtf8("地図.bin"));
    EXPECT_EQ(first["files"][0][1].toString().toStdString(),
              QByteArray::fromStdString(bytes).toHex().toStdString());
    EXPECT_TRUE(first["defects"].toArray().isEmpty());

    for (size_t i = 0; i < cases.size(); ++i) {
        const QJsonObject got = out[qsizetype(i) + 1].toObject();
        const QString subject = Cp932ToQString(cases[i].first);
        EXPECT_EQ(got["subject"].toString(), subject) << i;
        EXPECT_EQ(got["decoded_subject"].toString(), subject) << i;
        // One mailbox, whatever the name holds.
        ASSERT_EQ(got["from"].toArray().size(), 1) << i;
        EXPECT_EQ(got["from"][0][0].toString(), Cp932ToQString(cases[i].second)) << i;
        EXPECT_EQ(got["from"][0][1].toString(), "clinic@example.jp") << i;
        EXPECT_EQ(got["body"].toString(), QString::fromUtf8("明日の予約です。\r\n.5 mm\r\n")) << i;
        EXPECT_TRUE(got["defects"].toArray().isEmpty())
            << i << QJsonDocument(got["defects"].toArray()).toJson().toStdString();
    }
}

}  // namespace
}  // namespace velo::mail
