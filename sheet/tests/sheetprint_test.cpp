// Tests of printing the day and week grids: the page's extent and orientation rules, and
// real PDFs of the sheet and the book read back by their text (pdftotext), their page size
// (pdfinfo) and their colours (pdftoppm), so the check is what lands on paper.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include "sheet/daysheetview.h"
#include "sheet/sheetprint.h"
#include "sheet/tests/sheetfixture.h"
#include "sheet/weeksheetview.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"

namespace velo::sheet {
namespace {

constexpr uint32_t kTypeColour = 0x40A060;  // 0x00BBGGRR
constexpr uint32_t kClosedColour = 0xE0D0F0;
const char* const kMonday = "20261207";
const char* const kSunday = "20261206";

ScrollRanges Ranges(int horizontalMax, int verticalMax) {
    ScrollRanges r;
    r.horizontal.max = horizontalMax;
    r.vertical.max = verticalMax;
    return r;
}

TEST(SheetPrintLayout, ExtentsOrientationAndScale) {
    EXPECT_EQ(DayPrintExtent(Ranges(500, 800)), QSize(540, 940));
    // Taller than four times the width gets 100 more pixels; exactly four times does not.
    EXPECT_EQ(DayPrintExtent(Ranges(160, 660)), QSize(200, 800));
    EXPECT_EQ(DayPrintExtent(Ranges(160, 661)), QSize(200, 901));
    EXPECT_EQ(WeekPrintExtent(Ranges(1000, 400)), QSize(1040, 460));

    EXPECT_TRUE(WeekPrintsLandscape(Ranges(1000, 400)));
    EXPECT_TRUE(WeekPrintsLandscape(Ranges(400, 400)));
    EXPECT_FALSE(WeekPrintsLandscape(Ranges(400, 401)));

    // The smaller factor wins, so the whole extent fits on both axes.
    EXPECT_DOUBLE_EQ(PrintScale(QSizeF(2000, 3000), QSize(1000, 1000)), 2.0);
    EXPECT_DOUBLE_EQ(PrintScale(QSizeF(2000, 3000), QSize(500, 3000)), 1.0);
}

class SheetPrintTest : public SheetAppTest {
protected:
    SheetPrintTest() : SheetAppTest("sheetprint_test", "sheetprinttest") {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(SheetAppTest::SetUp());
        ASSERT_TRUE(m_out.isValid());
        ASSERT_NO_FATAL_FAILURE(OpenMondayToSaturday());
        ASSERT_TRUE(CGlobalSettings::SetInt(QStringLiteral("GLOBAL"),
                                            QStringLiteral("VeloColorOff"), int(kClosedColour)));
        AddCategory("0", "01", "定期検診", kTypeColour);
        AddCategory("1", "01", "ユニット1");
        AddCategory("1", "02", "ユニット2");
        AddDoctor("01", "医師A");
        AddPatient("0000000001", "山田", "", "C001");
        AddPatient("0000000002", "鈴木", "", "C002");
    }
    void AddReservation(const char* no, const char* patient, const char* date, const char* start,
                        const char* end, const char* unit = "01") {
        Insert<CReservationDB>([&](tagRESERVATIONDB& r) {
            SetField(r.ReservationNo, no);
            SetField(r.PatientID, patient);
            SetField(r.ResDate, date);
            SetField(r.StartTime, start);
            SetField(r.EndTime, end);
            SetField(r.UnitCode, unit);
            SetField(r.DoctorCode, "01");
            SetField(r.ResTypeCode, "01");
        });
    }
    static void SetPrintDataMust(int value) {
        ASSERT_TRUE(CGlobalSettings::SetInt(QStringLiteral("GLOBAL"),
                                            QStringLiteral("PrintDataMust"), value));
    }

    QString OutPath(const char* name) const { return m_out.filePath(QString::fromLatin1(name)); }

    static QString Run(const QString& program, const QStringList& args) {
        QProcess process;
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(20000)) << program.toStdString() << " did not run";
        return QString::fromUtf8(process.readAllStandardOutput());
    }
    // The page's text, lines trimmed, empty lines dropped. The font draws the wave dash and
    // the full-width tilde with one glyph, which pdftotext reads back as the wave dash.
    static QStringList PdfLines(const QString& pdf) {
        QStringList lines;
        for (const QString& line : Run(QStringLiteral("pdftotext"),
                                           {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
                                       .split(u'\n')) {
            if (!line.trimmed().isEmpty()) {
                lines << line.trimmed().replace(QChar(0x301C), QChar(0xFF5E));
            }
        }
        return lines;
    }
    static QString PdfPageSize(const QString& pdf) {
        for (const QString& line : Run(QStringLiteral("pdfinfo"), {pdf}).split(u'\n')) {
            if (line.startsWith(QStringLiteral("Page size:"))) return line.simplified();
        }
        return QString();
    }
    static int PdfPages(const QString& pdf) {
        for (const QString& line : Run(QStringLiteral("pdfinfo"), {pdf}).split(u'\n')) {
            if (line.startsWith(QStringLiteral("Pages:"))) return line.mid(6).trimmed().toInt();
        }
        return 0;
    }
    // Pixels of the rendered page within a small distance of a 0x00BBGGRR colour.
    int CountColour(const QString& pdf, uint32_t bgr) const {
        const QString prefix = pdf + QStringLiteral(".page");
        Run(QStringLiteral("pdftoppm"),
            {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("40"),
             QStringLiteral("-singlefile"), pdf, prefix});
        const QImage image(prefix + QStringLiteral(".png"));
        EXPECT_FALSE(image.isNull());
        const QColor want(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (std::abs(c.red() - want.red()) + std::abs(c.green() - want.green()) +
                        std::abs(c.blue() - want.blue()) < 12) {
                    ++count;
                }
            }
        }
        return count;
    }

    QTemporaryDir m_out;
};

const QString kA4Portrait = QStringLiteral("Page size: 595 x 842 pts (A4)");
const QString kA4Landscape = QStringLiteral("Page size: 842 x 595 pts (A4)");

TEST_F(SheetPrintTest, DaySheetHasTitleBarsCountAndPrintingTime) {
    SetPrintDataMust(1);
    AddReservation("0000000001", "0000000001", kMonday, "0930", "1000");
    AddReservation("0000000002", "0000000002", kMonday, "1000", "1030", "02");
    AddReservation("0000000003", "", kMonday, "1100", "1200");  // blocked time: not counted
    CDaySheetView view(&m_db);
    view.SetDate(kMonday);
    view.SetLayoutMode(0);
    view.resize(300, 200);  // the page holds the whole grid however small the window

    const QString pdf = OutPath("day.pdf");
    QString error;
    const QDateTime before = QDateTime::currentDateTime();
    ASSERT_TRUE(PrintSheetViewToPdf(&view, PrintVariant::Sheet, pdf, &error))
        << error.toStdString();
    EXPECT_EQ(PdfPageSize(pdf), kA4Portrait);
    EXPECT_EQ(PdfPages(pdf), 1);
    const QStringList lines = PdfLines(pdf);
    const QString text = lines.join(u'\n');
    EXPECT_TRUE(lines.value(0).startsWith(QStringLiteral("2026年12月 7日(月)の予約")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("山田"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("鈴木")));
    EXPECT_TRUE(text.contains(QStringLiteral("ユニット2")));
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[lines.size() - 2], QStringLiteral("予約件数：2件"));
    const QString stamp = lines.last();
    ASSERT_TRUE(stamp.startsWith(QStringLiteral("印刷日時："))) << stamp.toStdString();
    const QDateTime printed =
        QDateTime::fromString(stamp.mid(5), QStringLiteral("yyyy年MM月dd日HH時mm分"));
    ASSERT_TRUE(printed.isValid()) << stamp.toStdString();
    EXPECT_LE(std::abs(printed.secsTo(before)), 120);
    EXPECT_GT(CountColour(pdf, kTypeColour), 0);
}

TEST_F(SheetPrintTest, PrintDataMustZeroEndsWithTheCountLine) {
    SetPrintDataMust(0);
    AddReservation("0000000001", "0000000001", kMonday, "0930", "1000");
    CDaySheetView view(&m_db);
    view.SetDate(kMonday);
    view.SetLayoutMode(0);
    const QString pdf = OutPath("day0.pdf");
    ASSERT_TRUE(PrintSheetViewToPdf(&view, PrintVariant::Sheet, pdf));
    const QStringList lines = PdfLines(pdf);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), QStringLiteral("予約件数：1件"));
    EXPECT_FALSE(lines.join(u'\n').contains(QStringLiteral("印刷日時")));
}

TEST_F(SheetPrintTest, DayBookOfADayOffHasClosedCellsAndNoBars) {
    SetPrintDataMust(1);
    AddReservation("0000000001", "0000000001", kSunday, "0930", "1000");
    CDaySheetView view(&m_db);
    view.SetDate(kSunday);
    view.SetLayoutMode(0);
    ASSERT_EQ(view.Data().bars.size(), 1u);

    const QString book = OutPath("book.pdf");
    ASSERT_TRUE(PrintSheetViewToPdf(&view, PrintVariant::Book, book));
    EXPECT_EQ(PdfPageSize(book), kA4Portrait);
    const QString text = PdfLines(book).join(u'\n');
    EXPECT_TRUE(text.startsWith(QStringLiteral("2026年12月 6日(日)の予約"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("ユニット1")));
    EXPECT_FALSE(text.contains(QStringLiteral("山田")));
    EXPECT_FALSE(text.contains(QStringLiteral("予約件数")));
    EXPECT_FALSE(text.contains(QStringLiteral("印刷日時")));
    EXPECT_GT(CountColour(book, kClosedColour), 1000);
    EXPECT_EQ(CountColour(book, kTypeColour), 0);

    // The same day as a sheet does carry the bar: the book's lack of it is the variant's.
    const QString sheet = OutPath("sheet.pdf");
    ASSERT_TRUE(PrintSheetViewToPdf(&view, PrintVariant::Sheet, sheet));
    EXPECT_TRUE(PdfLines(sheet).join(u'\n').contains(QStringLiteral("山田")));
    EXPECT_GT(CountColour(sheet, kTypeColour), 0);
}

TEST_F(SheetPrintTest, WeekOrientationFollowsTheGridsShape) {
    SetPrintDataMust(1);
    AddReservation("0000000001", "0000000001", kMonday, "0930", "1000");
    AddReservation("0000000002", "0000000002", "20261209", "1000", "1030");
    AddReservation("0000000003", "", "20261210", "1000", "1030");  // blocked time
    {
        CWeekSheetView view(&m_db);
        view.SetDates(kMonday, kSunday);
        view.SetLayoutMode(0);
        const QString pdf = OutPath("week.pdf");
        ASSERT_TRUE(PrintSheetViewToPdf(&view, PrintVariant::Sheet, pdf));
        EXPECT_EQ(PdfPageSize(pdf), kA4Landscape);
        const QStringList lines = PdfLines(pdf);
        const QString text = lines.join(u'\n');
        EXPECT_TRUE(text.startsWith(QStringLiteral("2026年12月06日 ～ 2026年12月12日の予約")))
            << text.toStdString();
        EXPECT_EQ(lines.last(), QStringLiteral("予約件数： 2件"));
        EXPECT_FALSE(text.contains(QStringLiteral("印刷日時")));

        const QString book = OutPath("weekbook.pdf");
        ASSERT_TRUE(PrintSheetViewToPdf(&view, PrintVariant::Book, book));
        const QString bookText = PdfLines(book).join(u'\n');
        EXPECT_FALSE(bookText.contains(QStringLiteral("予約件数")));
        EXPECT_FALSE(bookText.contains(QStringLiteral("山田")));
    }

    // Enough units make the seven day blocks higher than the day is wide.
    for (int i = 3; i <= 16; ++i) {
        const QByteArray code = QByteArray::number(i).rightJustified(2, '0');
        AddCategory("1", code.constData(), "追加ユニット");
    }
    CWeekSheetView view(&m_db);
    view.SetDates(kMonday, kSunday);
    view.SetLayoutMode(0);
    ASSERT_GT(view.FullScrollRanges().vertical.max, view.FullScrollRanges().horizontal.max);
    const QString pdf = OutPath("weektall.pdf");
    ASSERT_TRUE(PrintSheetViewToPdf(&view, PrintVariant::Sheet, pdf));
    EXPECT_EQ(PdfPageSize(pdf), kA4Portrait);
}

TEST_F(SheetPrintTest, PrintDialogCancelPrintsNothingAndOkPrints) {
    CDaySheetView view(&m_db);
    view.SetDate(kMonday);
    view.SetLayoutMode(0);
    const QString pdf = OutPath("dialog.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);

    int asked = 0;
    CMessageService::SetScript([&asked](const CMessageService::Request& request) {
        if (request.kind == CMessageService::EKind::Print) ++asked;
        return int(CMessageService::IDCANCEL);
    });
    EXPECT_FALSE(PrintSheetView(&view, PrintVariant::Sheet, nullptr, &printer));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(QFile::exists(pdf));

    CMessageService::SetScript([](const CMessageService::Request&) {
        return int(CMessageService::IDOK);
    });
    ASSERT_TRUE(PrintSheetView(&view, PrintVariant::Book, nullptr, &printer));
    EXPECT_EQ(printer.fromPage(), 1);
    EXPECT_EQ(printer.toPage(), 1);
    EXPECT_EQ(PdfPageSize(pdf), kA4Portrait);
    EXPECT_EQ(PdfPages(pdf), 1);
    EXPECT_TRUE(PdfLines(pdf).join(u'\n').contains(QStringLiteral("2026年12月 7日(月)の予約")));
}

TEST_F(SheetPrintTest, UnwritablePdfPathIsReported) {
    CDaySheetView view(&m_db);
    view.SetDate(kMonday);
    view.SetLayoutMode(0);
    QString error;
    EXPECT_FALSE(PrintSheetViewToPdf(&view, PrintVariant::Sheet,
                                     OutPath("missing/folder/day.pdf"), &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace velo::sheet
