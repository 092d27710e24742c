// Tests of CTools' formatting helpers, colour references and clipped text drawing.
#include "suite/tool/tools.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <climits>

namespace {

TEST(ToolsTest, NumericFormat) {
    EXPECT_EQ(CTools::NumericFormat(0), "0");
    EXPECT_EQ(CTools::NumericFormat(999), "999");
    EXPECT_EQ(CTools::NumericFormat(1000), "1,000");
    EXPECT_EQ(CTools::NumericFormat(1234567), "1,234,567");
    EXPECT_EQ(CTools::NumericFormat(-1234), "-1,234");
    EXPECT_EQ(CTools::NumericFormat(-100), "-100");
    EXPECT_EQ(CTools::NumericFormat(LLONG_MIN), "-9,223,372,036,854,775,808");
}

TEST(ToolsTest, MakeDate) {
    EXPECT_EQ(CTools::MakeDate("20261207"), QStringLiteral("2026/12/07(月)"));
    EXPECT_EQ(CTools::MakeDate("20261206"), QStringLiteral("2026/12/06(日)"));
    EXPECT_EQ(CTools::MakeDate("20261212"), QStringLiteral("2026/12/12(土)"));
    EXPECT_EQ(CTools::MakeDate("20261232"), "");
    EXPECT_EQ(CTools::MakeDate(""), "");
    EXPECT_EQ(CTools::MakeDate(nullptr), "");
}

TEST(ToolsTest, CaclAge) {
    auto age = [](const char* birth, const char* date) {
        int y = -1, m = -1;
        CTools::CaclAge(birth, date, &y, &m);
        return y * 100 + m;
    };
    EXPECT_EQ(age("20000115", "20260115"), 2600);
    EXPECT_EQ(age("20000115", "20260114"), 2511);
    EXPECT_EQ(age("20000115", "20260314"), 2601);
    EXPECT_EQ(age("20000115", "20000115"), 0);
    EXPECT_EQ(age("20260116", "20260115"), 0);  // born after the date
    EXPECT_EQ(age("bad", "20260115"), 0);
    // A 29 February birthday is reached on 28 February in common years.
    EXPECT_EQ(age("20000229", "20010227"), 11);
    EXPECT_EQ(age("20000229", "20010228"), 100);
    EXPECT_EQ(age("20000229", "20040229"), 400);
    // The 31st counts as reached on a shorter month's last day.
    EXPECT_EQ(age("20260131", "20260228"), 1);
    EXPECT_EQ(age("20260131", "20260227"), 0);
}

TEST(ToolsTest, LastDelimAddAndColours) {
    EXPECT_EQ(CTools::LastDelimAdd(""), "");
    EXPECT_EQ(CTools::LastDelimAdd("/data"), "/data/");
    EXPECT_EQ(CTools::LastDelimAdd("/data/"), "/data/");

    const QColor c = CTools::ColorFromRef(0xAAAAFF);  // 0x00BBGGRR
    EXPECT_EQ(c.red(), 0xFF);
    EXPECT_EQ(c.green(), 0xAA);
    EXPECT_EQ(c.blue(), 0xAA);
    EXPECT_EQ(CTools::RefFromColor(QColor(0x12, 0x34, 0x56)), 0x563412u);
    EXPECT_EQ(CTools::RefFromColor(CTools::ColorFromRef(0x0080FF)), 0x0080FFu);
}

// Counts pixels outside `inside` that differ from white.
int PaintedOutside(const QImage& image, const QRect& inside) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!inside.contains(x, y) && image.pixel(x, y) != qRgb(255, 255, 255)) ++count;
        }
    }
    return count;
}

TEST(ToolsTest, TextStaysInsideItsRectangle) {
    int argc = 1;
    char name[] = "tools_test";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    const QString longText = QStringLiteral("山田太郎 やまだたろう 本日の予約は十時からです ") +
                             QStringLiteral("W").repeated(40);
    const QRect rect(20, 20, 60, 16);
    for (bool wrap : {false, true}) {
        QImage image(120, 80, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setPen(Qt::black);
            if (wrap) {
                CTools::Rect_Text_LF(painter, rect, longText, Qt::AlignLeft | Qt::AlignTop);
            } else {
                CTools::Rect_Text(painter, rect, longText, Qt::AlignLeft | Qt::AlignVCenter);
            }
            // The painter's own clip is restored afterwards.
            EXPECT_FALSE(painter.hasClipping());
        }
        EXPECT_EQ(PaintedOutside(image, rect), 0) << "wrap " << wrap;
        EXPECT_GT(PaintedOutside(image, QRect()), 0) << "something was drawn";
    }
}

}  // namespace
