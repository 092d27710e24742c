// Tests of the reminder postcards: which patients get a card and which reservation it
// names, the cards printed to PDF and read back with poppler's tools (page size, texts,
// and where the vertical and horizontal texts stand), and the preview's refusals.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <map>

#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/postcard/postcardlayout.h"
#include "suite/postcard/postcardview.h"
#include "suite/testsupport/application.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;

// A word of `pdftotext -bbox`: its text and its box in points from the top left.
struct Word {
    QString text;
    double x, y;
};

class PostcardTest : public DbFolderTest {
protected:
    void SetUp() override {
        EnsureQApplication("postcard_test");
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        CDate::SetTodayForTesting(2026, 12, 7);
        CMessageService::ClearHistory();
        ASSERT_TRUE(CVeloSubTools::SetGlobalSettingString("GLOBAL", "ClinicName",
                                                          QStringLiteral("さくら矯正歯科")));
        ASSERT_TRUE(CVeloSubTools::SetGlobalSettingString("GLOBAL", "ClinicAddress",
                                                          QStringLiteral("東京都港区南青山2-3-4")));
        ASSERT_TRUE(CVeloSubTools::SetGlobalSettingString("GLOBAL", "ClinicTel",
                                                          QStringLiteral("03-1234-5678")));

        AddPatient("0000000001", "山田　太郎", "150-0001", "東京都渋谷区神宮前1-2-3",
                   "コーポ青山101号室");
        AddPatient("0000000002", "佐藤花子", "106－0032", "東京都港区六本木6-1", "");
        AddPatient("0000000003", "鈴木一郎", "1000001", "東京都千代田区", "", 1);
        // Past, came, cancelled, then the booked one that counts, then a later one.
        AddReservation("0000000101", "0000000001", "20261206", "0900", 0);
        AddReservation("0000000102", "0000000001", "20261207", "1000", 1);
        AddReservation("0000000103", "0000000001", "20261208", "0900", 2);
        AddReservation("0000000104", "0000000001", "20261210", "0900", 0);
        AddReservation("0000000105", "0000000001", "20261209", "1430", 0);
        // Patient 2 has only a past booking; the next patient's future one is not theirs.
        AddReservation("0000000106", "0000000002", "20261130", "1000", 0);
        AddReservation("0000000107", "0000000003", "20261220", "1000", 0);
    }
    void TearDown() override {
        CPostcardView::SetPreviewHookForTesting(nullptr);
        CDate::SetTodayForTesting(0, 0, 0);
    }

    void AddPatient(const char* id, const char* name, const char* zip, const char* address1,
                    const char* address2, uint8_t inactive = 0) {
        CPatientDB patients;
        ASSERT_EQ(patients.Open(m_folder), 0);
        SetField(patients.m_Data.PatientID, id);
        SetField(patients.m_Data.Patient2ID, id);
        SetCp932Field(patients.m_Data.Name, sizeof patients.m_Data.Name, QString::fromUtf8(name));
        SetCp932Field(patients.m_Data.ZipCode, sizeof patients.m_Data.ZipCode,
                      QString::fromUtf8(zip));
        SetCp932Field(patients.m_Data.Address1, sizeof patients.m_Data.Address1,
                      QString::fromUtf8(address1));
        SetCp932Field(patients.m_Data.Address2, sizeof patients.m_Data.Address2,
                      QString::fromUtf8(address2));
        patients.m_Data.InactiveFlag = inactive;
        ASSERT_EQ(patients.Insert(), 0);
    }

    void AddReservation(const char* no, const char* patientId, const char* day, const char* start,
                        uint8_t status) {
        CReservationDB reservations;
        ASSERT_EQ(reservations.Open(m_folder), 0);
        tagRESERVATIONDB& r = reservations.m_Data;
        SetField(r.ReservationNo, no);
        SetField(r.PatientID, patientId);
        SetField(r.ResDate, day);
        SetField(r.StartTime, start);
        r.Status = status;
        ASSERT_EQ(reservations.Insert(), 0);
    }

    std::vector<CPostcardAddressee> Cards(const std::vector<std::string>& ids) {
        std::vector<CPostcardAddressee> cards;
        EXPECT_EQ(ReadPostcardAddressees(&m_db, ids, &cards), 0);
        return cards;
    }

    // Prints the cards of patients 1 and 2 and returns the PDF's path.
    QString Print(int mode) {
        const QString path = m_out.filePath(QStringLiteral("cards%1.pdf").arg(mode));
        std::string error;
        EXPECT_TRUE(PrintPostcardsToPdf(path.toStdString(), Cards({"0000000001", "0000000002"}),
                                        ReadPostcardSender(), mode, &error))
            << error;
        return path;
    }

    // The output of a poppler tool, or "" (and the test skipped) when it is not installed.
    static QString Run(const QString& tool, const QStringList& args) {
        const QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty()) return QString();
        QProcess process;
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(30000));
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    // Words of one page with their top-left corners.
    static std::vector<Word> Words(const QString& pdf, int page) {
        const QString html =
            Run(QStringLiteral("pdftotext"),
                {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page),
                 QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
        static const QRegularExpression word(
            QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>"));
        std::vector<Word> words;
        for (const auto& m : word.globalMatch(html)) {
            words.push_back({m.captured(3), m.captured(1).toDouble(), m.captured(2).toDouble()});
        }
        return words;
    }

    static const Word* Find(const std::vector<Word>& words, const QString& text) {
        for (const Word& w : words) {
            if (w.text == text) return &w;
        }
        return nullptr;
    }

    QTemporaryDir m_out;
};

TEST_F(PostcardTest, OneCardPerKnownPatientWithTheNextBookedReservation) {
    const std::vector<CPostcardAddressee> cards =
        Cards({"0000000002", "0000000009", "0000000001", "0000000002", "0000000003"});
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0].patientId, "0000000002");
    EXPECT_EQ(cards[0].zipDigits, "1060032");
    EXPECT_FALSE(cards[0].HasReservation());
    EXPECT_EQ(cards[1].name, QStringLiteral("山田　太郎"));
    EXPECT_EQ(cards[1].zipDigits, "1500001");
    EXPECT_EQ(cards[1].address2, QStringLiteral("コーポ青山101号室"));
    EXPECT_EQ(cards[1].reservationDate, QStringLiteral("2026年12月9日（水）"));
    EXPECT_EQ(cards[1].reservationTime, QStringLiteral("14時30分"));

    // A booking later today still counts as the next one.
    AddReservation("0000000108", "0000000002", "20261207", "1800", 0);
    EXPECT_EQ(Cards({"0000000002"})[0].reservationTime, QStringLiteral("18時00分"));

    EXPECT_EQ(ZipDigits(QStringLiteral("〒150-0001")), "1500001");
    EXPECT_EQ(ZipDigits(QStringLiteral("123456789")), "1234567");
}

TEST_F(PostcardTest, PdfHoldsOnePostcardSizedPagePerPatient) {
    const QString pdf = Print(kPostcardVertical);
    const QString info = Run(QStringLiteral("pdfinfo"), {pdf});
    if (info.isEmpty()) GTEST_SKIP() << "poppler-utils are not installed";
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))))
        << info.toStdString();
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts")).match(info);
    ASSERT_TRUE(size.hasMatch()) << info.toStdString();
    EXPECT_NEAR(size.captured(1).toDouble(), kPostcardWidthMm * kPointsPerMm, 1.0);
    EXPECT_NEAR(size.captured(2).toDouble(), kPostcardHeightMm * kPointsPerMm, 1.0);

    // In reading order the vertical lines come out one character per line.
    QString text = Run(QStringLiteral("pdftotext"),
                       {QStringLiteral("-raw"), QStringLiteral("-f"), QStringLiteral("1"),
                        QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    EXPECT_TRUE(text.startsWith(QStringLiteral("1500001"))) << text.toStdString();
    for (const char* expected : {"東京都渋谷区神宮前１－２－３", "コーポ青山１０１号室",
                                 "山田太郎様", "さくら矯正歯科", "ご予約のお知らせ"}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    }
}

TEST_F(PostcardTest, VerticalCardStacksTheNameAndPutsTheZipInItsBoxes) {
    const std::vector<Word> words = Words(Print(kPostcardVertical), 1);
    if (words.empty()) GTEST_SKIP() << "poppler-utils are not installed";
    // The name reads downwards in one column, "様" below it, near the middle of the card.
    const Word* honorific = Find(words, QStringLiteral("様"));
    ASSERT_NE(honorific, nullptr);
    EXPECT_NEAR(honorific->x / kPointsPerMm, 50, 10);
    double lastY = 0;
    for (QChar c : QStringLiteral("山田太郎")) {
        const Word* inColumn = nullptr;
        for (const Word& w : words) {
            if (w.text == QString(c) && std::fabs(w.x - honorific->x) < 1.0) inColumn = &w;
        }
        ASSERT_NE(inColumn, nullptr) << QString(c).toStdString();
        EXPECT_GT(inColumn->y, lastY) << QString(c).toStdString();
        lastY = inColumn->y;
    }
    EXPECT_GT(honorific->y, lastY);

    // The seven digits left to right along the top right, the first box at 44 mm.
    double lastX = 0;
    int digits = 0;
    for (const Word& w : words) {
        if (w.y / kPointsPerMm > 25 || w.text.size() != 1 || !w.text[0].isDigit()) continue;
        EXPECT_GT(w.x, lastX);
        lastX = w.x;
        ++digits;
    }
    EXPECT_EQ(digits, 7);
    EXPECT_GT(lastX / kPointsPerMm, 86);

    // The clinic is the sender at the lower left.
    const Word* clinic = Find(words, QStringLiteral("さ"));
    ASSERT_NE(clinic, nullptr);
    EXPECT_LT(clinic->x / kPointsPerMm, 40);
    EXPECT_GT(clinic->y / kPointsPerMm, 85);
}

TEST_F(PostcardTest, LongVerticalAddressWrapsIntoTheNextColumnOnTheCard) {
    AddPatient("0000000004", "高橋", "0600001",
               "北海道札幌市中央区北一条西二丁目一番地札幌市役所本庁舎内十二階東側", "");
    const QString path = m_out.filePath(QStringLiteral("long.pdf"));
    ASSERT_TRUE(PrintPostcardsToPdf(path.toStdString(), Cards({"0000000004"}), ReadPostcardSender(),
                                    kPostcardVertical));
    const std::vector<Word> words = Words(path, 1);
    if (words.empty()) GTEST_SKIP() << "poppler-utils are not installed";
    const Word* first = Find(words, QStringLiteral("道"));
    const Word* last = Find(words, QStringLiteral("側"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(last, nullptr);
    // The wrapped column starts again at the top, to the left of the first.
    EXPECT_LT(last->x, first->x - 10);
    EXPECT_GT(last->x / kPointsPerMm, 60);
    EXPECT_LT(last->y / kPointsPerMm, 128);
}

TEST_F(PostcardTest, HorizontalCardWritesLinesLeftToRight) {
    const QString pdf = Print(kPostcardHorizontal);
    const std::vector<Word> words = Words(pdf, 1);
    if (words.empty()) GTEST_SKIP() << "poppler-utils are not installed";
    const Word* name = Find(words, QStringLiteral("山田"));
    const Word* honorific = Find(words, QStringLiteral("様"));
    ASSERT_NE(name, nullptr);
    ASSERT_NE(honorific, nullptr);
    EXPECT_NEAR(honorific->y, name->y, 1.0);
    EXPECT_GT(honorific->x, name->x);
    const QString text = Run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    EXPECT_TRUE(text.contains(QStringLiteral("2026年12月9日（水）"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("14時30分からです。")));
    EXPECT_TRUE(text.contains(QStringLiteral("TEL 03-1234-5678")));
    // The patient without a booking gets the reminder without a day.
    const QString second =
        Run(QStringLiteral("pdftotext"),
            {QStringLiteral("-f"), QStringLiteral("2"), pdf, QStringLiteral("-")});
    EXPECT_TRUE(second.contains(QStringLiteral("佐藤花子")));
    EXPECT_FALSE(second.contains(QStringLiteral("次回のご予約は")));
}

TEST_F(PostcardTest, PreviewGetsTheCardsAndNothingToPrintIsTold) {
    int calls = 0;
    std::vector<std::string> shown;
    int shownMode = -1;
    CPostcardView::SetPreviewHookForTesting(
        [&](const std::vector<CPostcardAddressee>& cards, const CPostcardSender& sender, int mode) {
            ++calls;
            for (const CPostcardAddressee& c : cards) shown.push_back(c.patientId);
            shownMode = mode;
            EXPECT_EQ(sender.name, QStringLiteral("さくら矯正歯科"));
        });
    EXPECT_EQ(CPostcardView::DoPreview(&m_db, {}, 0), 0);
    EXPECT_EQ(CPostcardView::DoPreview(&m_db, {"0000000009", "0000000003"}, 0), 0);
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(CMessageService::History().size(), 2);
    EXPECT_EQ(CMessageService::History()[0].text,
              QStringLiteral("はがきを印刷する患者がいません。"));

    EXPECT_EQ(CPostcardView::DoPreview(&m_db, {"0000000001", "0000000002"}, 1), 2);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(shown, (std::vector<std::string>{"0000000001", "0000000002"}));
    EXPECT_EQ(shownMode, 1);
    EXPECT_EQ(CMessageService::History().size(), 2);
}

}  // namespace
