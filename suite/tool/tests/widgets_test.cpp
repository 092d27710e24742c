// Widget tests (offscreen) of the image button, the report list, the edit field's input
// modes, toolbar labelling from the string table, the scripted message service, and when the
// change watch of a window hands changes over.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QPrintDialog>
#include <QPrinter>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <fstream>

#include "suite/testsupport/application.h"
#include "suite/tool/buttonex.h"
#include "suite/tool/commandicons.h"
#include "suite/tool/editex.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/qttexts.h"
#include "suite/tool/strings.h"
#include "suite/tool/tablewatcher.h"
#include "suite/tool/tools.h"
#include "suite/tool/xlistctrl.h"

namespace {

class WidgetsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        EnsureQApplication("widgets_test");
    }
    void TearDown() override {
        CMessageService::SetScript(nullptr);
        CMessageService::SetPathScript(nullptr);
        CMessageService::ClearHistory();
    }
};

QImage Filled(QColor color) {
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

TEST_F(WidgetsTest, ButtonClicksOnlyWhenReleasedOnIt) {
    CButtonEx button;
    const QImage normal = Filled(Qt::white);
    const QImage pressed = Filled(Qt::gray);
    const QImage current = Filled(Qt::blue);
    button.SetImage(normal, pressed, current);
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    EXPECT_EQ(button.size(), QSize(40, 30));
    QSignalSpy clicks(&button, &QAbstractButton::clicked);

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(button.ShownImage(), pressed);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(button.ShownImage(), normal);

    // Pressed on it, released outside: no click.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_EQ(clicks.count(), 1);

    button.SetPushed(true);
    EXPECT_EQ(button.ShownImage(), current);
    const QImage grabbed = button.grab().toImage();
    EXPECT_EQ(QColor(grabbed.pixel(5, 5)), QColor(Qt::blue));
    button.SetPushed(false);
    EXPECT_EQ(button.ShownImage(), normal);
}

TEST_F(WidgetsTest, ReportListRowsColumnsDataAndChecks) {
    CXListCtrl list;
    EXPECT_EQ(list.InsertColumn(0, "ID", 80), 0);
    EXPECT_EQ(list.InsertColumn(1, "Name", 120), 1);
    EXPECT_EQ(list.GetSelIndex(), -1);
    EXPECT_EQ(list.InsertItem(0, "0000000002"), 0);
    EXPECT_EQ(list.InsertItem(0, "0000000001"), 0);
    EXPECT_EQ(list.InsertItem(99, "0000000003"), 2);
    ASSERT_EQ(list.GetItemCount(), 3);
    EXPECT_TRUE(list.SetItemText(1, 1, QStringLiteral("山田")));
    EXPECT_FALSE(list.SetItemText(5, 1, "x"));
    EXPECT_FALSE(list.SetItemText(1, 2, "x"));
    EXPECT_EQ(list.GetItemText(0, 0), "0000000001");
    EXPECT_EQ(list.GetItemText(1, 1), QStringLiteral("山田"));
    EXPECT_EQ(list.GetItemText(9, 0), "");

    // A column inserted in front moves the cells right.
    EXPECT_EQ(list.InsertColumn(0, "No", 40), 0);
    EXPECT_EQ(list.headerItem()->text(1), "ID");
    EXPECT_EQ(list.GetItemText(1, 1), "0000000002");
    EXPECT_EQ(list.GetItemText(1, 2), QStringLiteral("山田"));
    EXPECT_EQ(list.columnWidth(2), 120);

    int entry = 42;
    EXPECT_TRUE(list.SetItemData(2, reinterpret_cast<quintptr>(&entry)));
    EXPECT_EQ(reinterpret_cast<int*>(list.GetItemData(2)), &entry);
    EXPECT_EQ(list.GetItemData(0), 0u);

    list.SetSelIndex(2);
    EXPECT_EQ(list.GetSelIndex(), 2);
    list.SetSelIndex(1);
    EXPECT_EQ(list.GetSelIndex(), 1);
    EXPECT_EQ(list.selectedItems().size(), 1);

    EXPECT_FALSE(list.GetCheck(0));
    EXPECT_TRUE(list.SetCheck(0, true));
    EXPECT_TRUE(list.GetCheck(0));
    EXPECT_TRUE(list.SetCheck(0, false));
    EXPECT_FALSE(list.GetCheck(0));

    EXPECT_TRUE(list.DeleteItem(0));
    EXPECT_EQ(list.GetItemCount(), 2);
    list.DeleteAllItems();
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(list.GetSelIndex(), -1);
    EXPECT_EQ(list.GetColumnCount(), 3);
}

TEST_F(WidgetsTest, EditModesMapToHints) {
    CEditEx edit;
    edit.SetIMEModes(CEditEx::kImeOff);
    EXPECT_EQ(edit.GetIMEMode(), 0);
    EXPECT_TRUE(edit.inputMethodHints() & Qt::ImhLatinOnly);
    edit.SetIMEModes(CEditEx::kImeKana);
    EXPECT_EQ(edit.GetIMEMode(), 2);
    EXPECT_FALSE(edit.inputMethodHints() & Qt::ImhLatinOnly);
    EXPECT_EQ(edit.locale().language(), QLocale::Japanese);
    edit.SetIMEModes(CEditEx::kImeHiragana);
    EXPECT_EQ(edit.inputMethodHints(), Qt::ImhNone);
}

TEST_F(WidgetsTest, ToolbarTakesCaptionsAndTooltipsFromStrings) {
    RegisterStrings({{31001, "日表示に切り替えます\n日表示"}, {31002, "閉じる"}});
    EXPECT_EQ(LoadString(31002), QStringLiteral("閉じる"));
    EXPECT_EQ(LoadString(-5), "");
    QToolBar bar;
    QAction* day = bar.addAction("old");
    day->setData(31001);
    QAction* close = bar.addAction("old");
    close->setData(31002);
    QAction* plain = bar.addAction("plain");
    bar.addSeparator();
    CTools::SetText2ToolbarOfDlg(&bar);
    CTools::SetTip2ToolbarOfDlg(&bar);
    EXPECT_EQ(day->text(), QStringLiteral("日表示"));
    EXPECT_EQ(day->toolTip(), QStringLiteral("日表示に切り替えます"));
    EXPECT_EQ(close->text(), QStringLiteral("閉じる"));
    EXPECT_EQ(plain->text(), "plain");
}

TEST_F(WidgetsTest, MessageServiceRecordsAndAnswersFromScript) {
    QList<CMessageService::Request> seen;
    CMessageService::SetScript([&seen](const CMessageService::Request& r) {
        seen.append(r);
        return r.kind == CMessageService::EKind::YesNo ? CMessageService::IDYES
                                                       : CMessageService::IDOK;
    });
    CMessageService::SetPathScript(
        [](const CMessageService::Request& r) { return r.text + "/chosen"; });

    EXPECT_TRUE(CMessageService::AskYesNo(nullptr, QStringLiteral("削除しますか？"), "確認"));
    EXPECT_EQ(CMessageService::MessageBox(nullptr, "done", "t"), CMessageService::IDOK);
    EXPECT_EQ(CMessageService::GetExistingDirectory(nullptr, "folder", "/tmp"), "/tmp/chosen");
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer);
    EXPECT_TRUE(CMessageService::ExecPrintDialog(&dialog));

    const QList<CMessageService::Request> history = CMessageService::History();
    ASSERT_EQ(history.size(), 4);
    EXPECT_EQ(seen.size(), 4);
    EXPECT_EQ(history[0].kind, CMessageService::EKind::YesNo);
    EXPECT_EQ(history[0].text, QStringLiteral("削除しますか？"));
    EXPECT_EQ(history[0].result, CMessageService::IDYES);
    EXPECT_EQ(history[2].path, "/tmp/chosen");
    EXPECT_EQ(history[3].kind, CMessageService::EKind::Print);

    // A script that cancels: pickers return nothing even with a path script.
    CMessageService::SetScript(
        [](const CMessageService::Request&) { return CMessageService::IDCANCEL; });
    EXPECT_EQ(CMessageService::GetOpenFileName(nullptr, "open", "/tmp", "*.csv"), "");
    EXPECT_EQ(CMessageService::History().last().filter, "*.csv");
}

TEST_F(WidgetsTest, OffscreenWithoutScriptAnswersTheDefault) {
    EXPECT_FALSE(CMessageService::AskYesNo(nullptr, "question"));
    EXPECT_EQ(CMessageService::MessageBox(nullptr, "info", "t"), CMessageService::IDOK);
    EXPECT_EQ(CMessageService::MessageBox(nullptr, "sure?", "t", CMessageService::EIcon::Warning,
                                          CMessageService::EButtons::OkCancel),
              CMessageService::IDCANCEL);
    EXPECT_EQ(CMessageService::GetSaveFileName(nullptr, "save", "/tmp/a.csv"), "");
    QPrinter printer;
    QPrintDialog dialog(&printer);
    EXPECT_FALSE(CMessageService::ExecPrintDialog(&dialog));
    const QList<CMessageService::Request> history = CMessageService::History();
    ASSERT_EQ(history.size(), 5);
    EXPECT_EQ(history[0].result, CMessageService::IDNO);
    EXPECT_EQ(history[1].text, "info");

    // The box a person sees for the warning: the theme's picture, and Cancel as the default.
    const auto box = CMessageService::NewMessageBox(nullptr, history[2]);
    EXPECT_EQ(box->text(), "sure?");
    EXPECT_EQ(box->iconPixmap().toImage(),
              MessageIcon("dialog-warning")
                  .pixmap(QSize(kMessageIconSize, kMessageIconSize), box->devicePixelRatio())
                  .toImage());
    const QAbstractButton* defaultButton = box->defaultButton();
    EXPECT_EQ(defaultButton, box->button(QMessageBox::Cancel));
    EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Cancel));
    // Its buttons speak Japanese, as the programs install Qt's Japanese words.
    ASSERT_TRUE(UseJapaneseQtTexts());
    const auto japanese = CMessageService::NewMessageBox(nullptr, history[2]);
    EXPECT_TRUE(japanese->button(QMessageBox::Cancel)->text().contains(QStringLiteral("キャンセル")))
        << japanese->button(QMessageBox::Cancel)->text().toStdString();
    EXPECT_TRUE(japanese->button(QMessageBox::Ok)->text().contains(QStringLiteral("OK")));
    CMessageService::ClearHistory();
    EXPECT_TRUE(CMessageService::History().isEmpty());
}

TEST_F(WidgetsTest, AWatchedChangeWaitsUntilTheWindowIsFreeAndComesOnce) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string memo = (dir.path() + QStringLiteral("/CalendarMemo2024.txt")).toStdString();
    const auto write = [&memo](const char* text) { std::ofstream(memo, std::ios::trunc) << text; };
    QDialog window;
    bool busy = false;
    auto* watcher = new CTableWatcher(&window);
    watcher->SetBusyCheck([&busy] { return busy; });
    QSignalSpy changed(watcher, &CTableWatcher::changed);
    EXPECT_EQ(watcher->WatchTables(dir.path().toStdString(), {"RESERVATION.BTR"}), 1);
    watcher->WatchFile(memo);  // not there yet

    // Hidden, busy, or behind a dialog: the change waits, and comes once, when it is free.
    write("first");
    watcher->Poll();
    window.show();
    busy = true;
    watcher->Poll();
    busy = false;
    QDialog question(&window);
    question.setModal(true);
    question.show();
    watcher->Poll();
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(watcher->Waiting(), QStringList{QStringLiteral("CalendarMemo2024.txt")});
    question.hide();
    watcher->Poll();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toStringList(), QStringList{QStringLiteral("CalendarMemo2024.txt")});
    watcher->Poll();
    EXPECT_EQ(changed.count(), 1);

    // What the window read itself is not handed over again, written in place or replaced.
    write("second, longer");
    watcher->MarkSeen({QStringLiteral("CalendarMemo2024.txt")});
    watcher->Poll();
    EXPECT_EQ(changed.count(), 1);
    const std::string replacement = memo + ".new";
    std::ofstream(replacement) << "third";
    ASSERT_EQ(std::rename(replacement.c_str(), memo.c_str()), 0);
    watcher->Poll();
    EXPECT_EQ(changed.count(), 2);
}

}  // namespace
