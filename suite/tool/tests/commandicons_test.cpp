// Tests of the command and message icons compiled into the Tool library.
#include "suite/tool/commandicons.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

namespace {

int InkedPixels(const QImage& image) {
    int inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) inked += qAlpha(image.pixel(x, y)) > 0;
    }
    return inked;
}

// Ink on the image's outer ring means the drawing did not fit its cell and was cut off.
int InkedBorderPixels(const QImage& image) {
    int inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool border =
                x == 0 || y == 0 || x == image.width() - 1 || y == image.height() - 1;
            inked += border && qAlpha(image.pixel(x, y)) > 0;
        }
    }
    return inked;
}

class CommandIconsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "commandicons_test";
        static char* argv[] = {name, nullptr};
        if (QGuiApplication::instance() == nullptr) new QGuiApplication(argc, argv);
    }
};

TEST_F(CommandIconsTest, EveryImageFillsItsCellAtOneAndTwoTimesWithoutBeingCutOff) {
    const struct {
        const char* folder;
        int cell;
        int fewest;  // images at one times
    } kSets[] = {{":/velo/icons", kCommandIconSize, 30},
                 {":/velo/icons/message", kMessageIconSize, 4}};
    for (const auto& set : kSets) {
        int drawings = 0;
        QDirIterator images(QString::fromUtf8(set.folder), QDir::Files);
        while (images.hasNext()) {
            const QString file = images.next();
            if (file.contains(QLatin1String("@2x"))) continue;
            ++drawings;
            SCOPED_TRACE(file.toStdString());
            const QImage single(file);
            const QImage dense(
                QString(file).replace(QLatin1String(".png"), QLatin1String("@2x.png")));
            ASSERT_EQ(single.size(), QSize(set.cell, set.cell));
            ASSERT_EQ(dense.size(), QSize(2 * set.cell, 2 * set.cell));
            // More drawn than one line across the cell, and the same drawing at both sizes.
            EXPECT_GT(InkedPixels(single), set.cell);
            EXPECT_GT(InkedPixels(dense), 4 * InkedPixels(single) / 2);
            EXPECT_EQ(InkedBorderPixels(single), 0);
            EXPECT_EQ(InkedBorderPixels(dense), 0);
        }
        EXPECT_GE(drawings, set.fewest) << set.folder;
    }
}

TEST_F(CommandIconsTest, AnIconPicksTheImageOfTheScreensPixelRatio) {
    const QIcon print = CommandIcon("document-print");
    ASSERT_FALSE(print.isNull());
    const QSize cell(kCommandIconSize, kCommandIconSize);
    const QPixmap single = print.pixmap(cell, 1.0);
    const QPixmap dense = print.pixmap(cell, 2.0);
    EXPECT_EQ(single.size(), cell);
    EXPECT_EQ(dense.size(), cell * 2);
    EXPECT_EQ(dense.devicePixelRatio(), 2.0);
    EXPECT_EQ(single.toImage().convertToFormat(QImage::Format_ARGB32),
              QImage(CommandIconFile("document-print")).convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(dense.toImage().convertToFormat(QImage::Format_ARGB32),
              QImage(QStringLiteral(":/velo/icons/document-print@2x.png"))
                  .convertToFormat(QImage::Format_ARGB32));

    EXPECT_TRUE(CommandIcon("no-such-icon").isNull());
    EXPECT_EQ(MessageIcon("dialog-question")
                  .pixmap(QSize(kMessageIconSize, kMessageIconSize), 2.0)
                  .size(),
              QSize(2 * kMessageIconSize, 2 * kMessageIconSize));
    EXPECT_TRUE(MessageIcon("document-print").isNull());
}

}  // namespace
