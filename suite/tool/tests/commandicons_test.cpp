// Tests of the command and message icons compiled into the Tool library.
#include "suite/tool/commandicons.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QImage>

namespace {

struct Ink {
    int all = 0;
    int border = 0;  // on the outer ring: the drawing did not fit its cell and was cut off
};

Ink InkOf(const QImage& image) {
    Ink ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) == 0) continue;
            ++ink.all;
            ink.border += x == 0 || y == 0 || x == image.width() - 1 || y == image.height() - 1;
        }
    }
    return ink;
}

TEST(CommandIconsTest, EveryImageFillsItsCellAtOneAndTwoTimesWithoutBeingCutOff) {
    int argc = 1;
    char name[] = "commandicons_test";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
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
            EXPECT_GT(InkOf(single).all, set.cell);
            EXPECT_GT(InkOf(dense).all, 2 * InkOf(single).all);
            EXPECT_EQ(InkOf(single).border, 0);
            EXPECT_EQ(InkOf(dense).border, 0);
        }
        EXPECT_GE(drawings, set.fewest) << set.folder;
    }

    const QPixmap question =
        MessageIcon("dialog-question").pixmap(QSize(kMessageIconSize, kMessageIconSize), 2.0);
    EXPECT_EQ(question.size(), QSize(2 * kMessageIconSize, 2 * kMessageIconSize));
    EXPECT_TRUE(CommandIcon("no-such-icon").isNull());
    EXPECT_TRUE(MessageIcon("document-print").isNull());
}

}  // namespace
