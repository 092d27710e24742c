// Tests of the display items: the item files (missing, short, broken, round trip), the
// dialog's rows, the balloon and bar texts, and the selection dialog's buttons and OK.
#include "sheet/displayitems.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <fstream>
#include <string>

#include "sheet/displayitemdlg.h"
#include "sheet/sheetsettings.h"
#include "suite/text/cp932.h"
#include "suite/text/hostprofile.h"
#include "suite/testsupport/application.h"

using namespace velo::sheet;

namespace {

std::string Entry(int32_t index, uint8_t shown) {
    DisplayItemRecord record{};
    record.index = index;
    record.shown = shown;
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

void WriteRaw(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string ReadRaw(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

std::vector<int> Indices(const DisplayItemTable& table) {
    std::vector<int> indices;
    for (const DisplayItem& item : table.items) indices.push_back(item.index);
    return indices;
}

std::vector<int> ShownIndices(const DisplayItemTable& table) {
    std::vector<int> indices;
    for (const DisplayItem& item : table.items)
        if (item.shown) indices.push_back(item.index);
    return indices;
}

class DisplayItemFileTest : public ::testing::Test {
protected:
    std::string PathOf(const char* name) const {
        return m_dir.filePath(QString::fromLatin1(name)).toStdString();
    }
    QTemporaryDir m_dir;
};

TEST_F(DisplayItemFileTest, MissingOrUnusableFilesGiveTheModesDefaults) {
    const std::string missing = PathOf("TimeBarItem.conf");
    DisplayItemTable untouched{{{3, true}}};
    EXPECT_EQ(ReadDisplayItemFile(missing, &untouched), 12);
    EXPECT_EQ(Indices(untouched), std::vector<int>{3});

    // Without a file the bars show only the name, the type and the treatment.
    const DisplayItemTable bar = LoadDisplayItems(kBarItems, missing);
    ASSERT_EQ(bar.items.size(), size_t(kDisplayItemCount));
    EXPECT_EQ(ShownIndices(bar), (std::vector<int>{0, 4, 7}));
    EXPECT_EQ(ShownIndices(LoadDisplayItems(kBalloonItems, missing)),
              (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));

    // An empty file, one shorter than an entry and one naming no catalogue item hold nothing
    // usable: defaults, not an empty balloon.
    for (const std::string& bytes :
         {std::string(), std::string(7, '\0'), Entry(30, 1) + Entry(-1, 1)}) {
        const std::string path = PathOf("resitem.conf");
        WriteRaw(path, bytes);
        EXPECT_EQ(ReadDisplayItemFile(path, nullptr), 2) << bytes.size();
        EXPECT_EQ(ShownIndices(LoadDisplayItems(kBalloonItems, path)).size(), 8u) << bytes.size();
    }
}

TEST_F(DisplayItemFileTest, ReadsEntriesInFileOrderAndDropsWhatCannotBeShown) {
    const std::string path = PathOf("resitem.conf");
    // Index 40 and the repeat of 7 are dropped, the shown byte counts when not zero, and the
    // three stray bytes at the end are not an entry.
    WriteRaw(path, Entry(7, 1) + Entry(40, 1) + Entry(2, 0) + Entry(7, 0) + Entry(29, 2) + "abc");
    DisplayItemTable table;
    ASSERT_EQ(ReadDisplayItemFile(path, &table), 0);
    ASSERT_EQ(Indices(table), (std::vector<int>{7, 2, 29}));
    EXPECT_TRUE(table.items[0].shown);
    EXPECT_FALSE(table.items[1].shown);
    EXPECT_TRUE(table.items[2].shown);

    // No more than 30 entries are taken, even from a longer file.
    std::string many;
    for (int round = 0; round < 2; ++round)
        for (int i = kDisplayItemCount - 1; i >= 0; --i) many += Entry(i, 1);
    WriteRaw(path, many);
    ASSERT_EQ(ReadDisplayItemFile(path, &table), 0);
    EXPECT_EQ(table.items.size(), size_t(kDisplayItemCount));
    EXPECT_EQ(table.items.front().index, 29);
    EXPECT_EQ(table.items.back().index, 0);
}

TEST_F(DisplayItemFileTest, WritesEightByteEntriesAndReadsThemBack) {
    const std::string path = PathOf("TimeBarItem.conf");
    DisplayItemTable table = DefaultDisplayItems(kBarItems);
    std::swap(table.items[0], table.items[7]);  // the treatment first
    table.items.push_back({31, true});          // not a catalogue item: never written
    std::string error;
    ASSERT_TRUE(WriteDisplayItemFile(path, table, &error)) << error;

    const std::string bytes = ReadRaw(path);
    ASSERT_EQ(bytes.size(), size_t(kDisplayItemCount) * 8);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x07\0\0\0\x01\0\0\0", 8));
    EXPECT_EQ(bytes.substr(8, 8), std::string("\x01\0\0\0\0\0\0\0", 8));

    DisplayItemTable back;
    ASSERT_EQ(ReadDisplayItemFile(path, &back), 0);
    table.items.pop_back();
    ASSERT_EQ(back.items.size(), table.items.size());
    for (size_t i = 0; i < back.items.size(); ++i) {
        EXPECT_EQ(back.items[i].index, table.items[i].index) << i;
        EXPECT_EQ(back.items[i].shown, table.items[i].shown) << i;
    }

    // A folder that does not exist cannot take the file: false with a reason.
    EXPECT_FALSE(WriteDisplayItemFile(PathOf("no/such/folder/x.conf"), table, &error));
    EXPECT_FALSE(error.empty());
}

TEST(DisplayItemRows, FileEntriesFirstThenTheMissingItemsWithDefaults) {
    DisplayItemTable fromFile;
    for (int i = 7; i >= 0; --i) fromFile.items.push_back({i, i == 5});
    const DisplayItemTable rows = CompleteDisplayItems(kBarItems, fromFile);
    ASSERT_EQ(rows.items.size(), size_t(kDisplayItemCount));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(rows.items[i].index, 7 - i);
    for (int i = 8; i < kDisplayItemCount; ++i) {
        EXPECT_EQ(rows.items[i].index, i);
        EXPECT_EQ(rows.items[i].shown, DisplayItemDefaultShown(kBarItems, i)) << i;
    }
    EXPECT_EQ(ShownIndices(rows), std::vector<int>{5});

    // Entries that are not the first indices still leave every item exactly once.
    const DisplayItemTable sparse =
        CompleteDisplayItems(kBalloonItems, DisplayItemTable{{{20, true}, {21, false}}});
    std::vector<int> expected{20, 21};
    for (int i = 0; i < kDisplayItemCount; ++i)
        if (i != 20 && i != 21) expected.push_back(i);
    EXPECT_EQ(Indices(sparse), expected);
}

TEST(DisplayItemCatalogue, BalloonLabelsAreThirteenBytesAndAColon) {
    for (int i = 0; i < kDisplayItemCount; ++i) {
        const std::string label = QStringToCp932(QString::fromUtf8(DisplayItemLabel(i)));
        if (IsFreeTableItem(i)) {
            EXPECT_EQ(QString::fromUtf8(DisplayItemLabel(i)),
                      QStringLiteral("自由テーブル%1").arg(i - 24));
            continue;
        }
        EXPECT_EQ(label.size(), 15u) << i;
        EXPECT_EQ(label.substr(13), QStringToCp932(QStringLiteral("："))) << i;
        // The label starts with the item's own word where the catalogue name is that word.
        const QString name = QString::fromUtf8(DisplayItemName(i));
        if (i != kItemName) {
            EXPECT_TRUE(QString::fromUtf8(DisplayItemLabel(i)).startsWith(name)) << i;
        }
    }
    EXPECT_STREQ(DisplayItemLabel(0), "氏名　　　　 ：");
    EXPECT_STREQ(DisplayItemName(0), "患者ＩＤ、氏名");
    EXPECT_STREQ(DisplayItemName(24), "予約方法");
    EXPECT_STREQ(DisplayItemLabel(30), "");
    EXPECT_STREQ(DisplayItemName(-1), "");
}

TEST(DisplayItemCatalogue, FreeTableTitlesTakeTheTablesNamesUnlessEmpty) {
    const QStringList names{QStringLiteral("紹介元"), QString(), QStringLiteral("c")};
    EXPECT_EQ(DisplayItemTitle(25, names), QStringLiteral("紹介元"));
    EXPECT_EQ(DisplayItemTitle(26, names), QStringLiteral("自由テーブル2"));
    EXPECT_EQ(DisplayItemTitle(29, names), QStringLiteral("自由テーブル5"));
    EXPECT_EQ(DisplayItemTitle(7, names), QStringLiteral("処置"));
}

class DisplayTextTest : public ::testing::Test {
protected:
    QString m_values[kDisplayItemCount];
};

TEST_F(DisplayTextTest, KanaIsAddedOnlyWhenAskedForAndPresent) {
    m_values[0] = QStringLiteral("[0012] 山田 太郎$KANAﾔﾏﾀﾞ ﾀﾛｳ");
    m_values[4] = QStringLiteral("矯正");
    m_values[20] = QStringLiteral("山田 花子$KANA");
    const DisplayItemTable table{{{0, true}, {20, true}, {4, true}}};
    EXPECT_EQ(BarText(m_values, table, true),
              QStringLiteral("[0012] 山田 太郎(ﾔﾏﾀﾞ ﾀﾛｳ)\n山田 花子\n矯正"));
    EXPECT_EQ(BarText(m_values, table, false), QStringLiteral("[0012] 山田 太郎\n山田 花子\n矯正"));
    EXPECT_EQ(BalloonText(m_values, table, true, {}),
              QStringLiteral("氏名　　　　 ：[0012] 山田 太郎(ﾔﾏﾀﾞ ﾀﾛｳ)\n保護者氏名　 ：山田 花子\n"
                             "予約種類　　 ：矯正"));
}

TEST_F(DisplayTextTest, OnlyShownItemsWithValuesInTableOrderWithoutTrailingLineFeeds) {
    m_values[0] = QStringLiteral("予約不可設定\n");
    m_values[1] = QStringLiteral("2026/12/08 09:00-09:30 (30分間)");
    m_values[4] = QStringLiteral("矯正");
    m_values[7] = QString();  // shown but empty: no line
    m_values[13] = QStringLiteral("〒100 東京都");
    const DisplayItemTable table{{{7, true}, {13, false}, {4, true}, {1, true}, {0, true}}};
    EXPECT_EQ(BarText(m_values, table, false),
              QStringLiteral("矯正\n2026/12/08 09:00-09:30 (30分間)\n予約不可設定"));
    EXPECT_EQ(BalloonText(m_values, table, false, {}),
              QStringLiteral("予約種類　　 ：矯正\n予約時間　　 ：2026/12/08 09:00-09:30 (30分間)\n"
                             "氏名　　　　 ：予約不可設定"));
    EXPECT_EQ(BarText(m_values, DisplayItemTable{}, false), QString());
    EXPECT_EQ(BarText(m_values, DisplayItemTable{{{-4, true}, {99, true}}}, false), QString());
}

TEST_F(DisplayTextTest, FreeTableLabelsAreCutToThirteenBytesWithoutSplittingACharacter) {
    // Short names are padded with blanks to 13 bytes.
    EXPECT_EQ(FreeTableBalloonLabel(QStringLiteral("紹介元")), QStringLiteral("紹介元       ："));
    // 7 double-byte characters: the 13th byte would split the 7th, so 12 bytes and a blank.
    EXPECT_EQ(FreeTableBalloonLabel(QStringLiteral("一二三四五六七")),
              QStringLiteral("一二三四五六 ："));
    // One single-byte character first: the 7th double-byte character ends at byte 13.
    EXPECT_EQ(FreeTableBalloonLabel(QStringLiteral("A一二三四五六七")),
              QStringLiteral("A一二三四五六："));
    EXPECT_EQ(FreeTableBalloonLabel(QStringLiteral("abcdefghijklmnop")),
              QStringLiteral("abcdefghijklm："));
    for (const QString& name :
         {QStringLiteral("一二三四五六七"), QStringLiteral("ｶﾅ一二三四五六七")}) {
        const std::string bytes = QStringToCp932(FreeTableBalloonLabel(name));
        EXPECT_EQ(bytes.size(), 15u);
    }

    m_values[25] = QStringLiteral("A");
    m_values[27] = QStringLiteral("C");
    m_values[29] = QStringLiteral("E");
    const QStringList names{QStringLiteral("紹介元"), QStringLiteral("x"), QString(),
                            QStringLiteral("y"), QStringLiteral("一二三四五六七")};
    const DisplayItemTable table{{{29, true}, {25, true}, {27, true}}};
    EXPECT_EQ(BalloonText(m_values, table, false, names),
              QStringLiteral("一二三四五六 ：E\n紹介元       ：A\n自由テーブル3：C"));
}

// ---- The dialog --------------------------------------------------------------------

class DisplayItemDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        EnsureQApplication("displayitems_test");
    }
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ::setenv("XDG_CONFIG_HOME",
                 m_dir.filePath(QStringLiteral("config")).toLocal8Bit().constData(), 1);
        CHostProfile::SetProgramName(QStringLiteral("displayitems_test"));
    }
    std::string PathOf(const char* name) const {
        return m_dir.filePath(QString::fromLatin1(name)).toStdString();
    }

    template <typename T>
    static T* Control(CDisplayItemDlg& dialog, int id) {
        return dialog.findChild<T*>(QString::number(id));
    }
    static void Click(CDisplayItemDlg& dialog, int id) {
        QPushButton* button = Control<QPushButton>(dialog, id);
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }
    static void SelectRow(CDisplayItemDlg& dialog, int row) {
        QTreeWidget* list = Control<QTreeWidget>(dialog, CDisplayItemDlg::kIdList);
        list->setCurrentItem(list->topLevelItem(row));
    }
    static int SelectedRow(CDisplayItemDlg& dialog) {
        QTreeWidget* list = Control<QTreeWidget>(dialog, CDisplayItemDlg::kIdList);
        const QList<QTreeWidgetItem*> selected = list->selectedItems();
        return selected.size() == 1 ? list->indexOfTopLevelItem(selected.front()) : -1;
    }

    QTemporaryDir m_dir;
};

TEST_F(DisplayItemDlgTest, ShowsTheFileThenTheRestWithFreeTableNames) {
    const std::string path = PathOf("TimeBarItem.conf");
    WriteRaw(path, Entry(25, 1) + Entry(7, 0));
    CDisplayItemDlg dialog(kBarItems, true, {QStringLiteral("紹介元")});
    dialog.SetFilePath(path);
    dialog.show();
    QApplication::processEvents();

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("予約情報の表示･非表示設定"));
    EXPECT_TRUE(Control<QCheckBox>(dialog, CDisplayItemDlg::kIdKana)->isChecked());
    QTreeWidget* list = Control<QTreeWidget>(dialog, CDisplayItemDlg::kIdList);
    ASSERT_EQ(list->topLevelItemCount(), kDisplayItemCount);
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("紹介元"));
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(list->topLevelItem(1)->text(0), QStringLiteral("処置"));
    EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(list->topLevelItem(2)->text(0), QStringLiteral("患者ＩＤ、氏名"));
    EXPECT_EQ(list->topLevelItem(2)->checkState(0), Qt::Checked);
    EXPECT_EQ(list->topLevelItem(29)->text(0), QStringLiteral("自由テーブル5"));

    CDisplayItemDlg balloon(kBalloonItems, false, {});
    EXPECT_EQ(balloon.windowTitle(), QStringLiteral("予約の吹き出し情報の表示･非表示設定"));
    EXPECT_FALSE(Control<QCheckBox>(balloon, CDisplayItemDlg::kIdKana)->isChecked());
}

TEST_F(DisplayItemDlgTest, MovesTheSelectedRowAndKeepsItSelected) {
    CDisplayItemDlg dialog(kBarItems, false, {});
    dialog.SetFilePath(PathOf("missing.conf"));
    dialog.show();
    QApplication::processEvents();
    QPushButton* up = Control<QPushButton>(dialog, CDisplayItemDlg::kIdMoveUp);
    QPushButton* down = Control<QPushButton>(dialog, CDisplayItemDlg::kIdMoveDown);
    EXPECT_FALSE(up->isEnabled());
    EXPECT_FALSE(down->isEnabled());

    SelectRow(dialog, 7);  // "処置", checked by default
    EXPECT_TRUE(up->isEnabled());
    for (int i = 0; i < 9; ++i) Click(dialog, CDisplayItemDlg::kIdMoveUp);  // two beyond the top
    EXPECT_EQ(SelectedRow(dialog), 0);
    std::vector<int> expected{7, 0, 1, 2, 3, 4, 5, 6};
    for (int i = 8; i < kDisplayItemCount; ++i) expected.push_back(i);
    EXPECT_EQ(Indices(dialog.Rows()), expected);
    EXPECT_TRUE(dialog.Rows().items[0].shown);

    SelectRow(dialog, 28);
    Click(dialog, CDisplayItemDlg::kIdMoveDown);
    Click(dialog, CDisplayItemDlg::kIdMoveDown);  // already last: stays
    EXPECT_EQ(SelectedRow(dialog), 29);
    EXPECT_EQ(dialog.Rows().items[28].index, 29);
    EXPECT_EQ(dialog.Rows().items[29].index, 28);

    // Saving writes the treatment as the first entry and the kana choice to the profile.
    Control<QCheckBox>(dialog, CDisplayItemDlg::kIdKana)->setChecked(true);
    const std::string path = PathOf("TimeBarItem.conf");
    dialog.SetFilePath(path);  // reloads from the (missing) file: defaults again
    SelectRow(dialog, 7);
    for (int i = 0; i < 7; ++i) Click(dialog, CDisplayItemDlg::kIdMoveUp);
    Click(dialog, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const std::string bytes = ReadRaw(path);
    ASSERT_EQ(bytes.size(), size_t(kDisplayItemCount) * 8);
    EXPECT_EQ(bytes.substr(0, 8), Entry(7, 1));
    EXPECT_TRUE(ReadHostSheetProfile().timeKana);
    EXPECT_FALSE(ReadHostSheetProfile().tipKana);
}

TEST_F(DisplayItemDlgTest, CheckAllClearAllAndResetToDefaults) {
    const std::string path = PathOf("resitem.conf");
    WriteRaw(path, Entry(13, 1) + Entry(0, 0));
    CDisplayItemDlg dialog(kBalloonItems, false, {});
    dialog.SetFilePath(path);

    Click(dialog, CDisplayItemDlg::kIdCheckAll);
    EXPECT_EQ(ShownIndices(dialog.Rows()).size(), size_t(kDisplayItemCount));
    Click(dialog, CDisplayItemDlg::kIdClearAll);
    EXPECT_TRUE(ShownIndices(dialog.Rows()).empty());

    SelectRow(dialog, 3);
    Click(dialog, CDisplayItemDlg::kIdReset);
    const DisplayItemTable defaults = DefaultDisplayItems(kBalloonItems);
    EXPECT_EQ(Indices(dialog.Rows()), Indices(defaults));
    EXPECT_EQ(ShownIndices(dialog.Rows()), ShownIndices(defaults));
    EXPECT_FALSE(Control<QPushButton>(dialog, CDisplayItemDlg::kIdMoveUp)->isEnabled());

    // Cancel leaves the file as it was.
    const std::string before = ReadRaw(path);
    Click(dialog, 2);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(ReadRaw(path), before);
}

TEST_F(DisplayItemDlgTest, AFileThatCannotBeWrittenKeepsTheDialogOpen) {
    // A folder that cannot be made: its parent is a file.
    WriteRaw(PathOf("blocker"), "x");
    CDisplayItemDlg dialog(kBalloonItems, true, {});
    dialog.SetFilePath(PathOf("blocker/folder/resitem.conf"));
    dialog.show();
    Click(dialog, 1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(ReadHostSheetProfile().tipKana);

    // A missing folder is made: an installed suite keeps the file in the user's
    // configuration folder, which need not exist before the first save.
    dialog.SetFilePath(PathOf("home/.config/velo/resitem.conf"));
    Click(dialog, 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(ReadRaw(PathOf("home/.config/velo/resitem.conf")).empty());
}

}  // namespace
