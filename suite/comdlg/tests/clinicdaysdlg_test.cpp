// Tests of the clinic days editor driven through its controls: marking a holiday open and
// a day closed on the calendar, storing both in one rewrite, what the day-off rule then
// makes of them, cancelling, reopening on stored marks, and a settings file that cannot be
// written.
#include "suite/comdlg/clinicdaysdlg.h"

#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "suite/comdlg/velocomdlg.h"
#include "suite/testsupport/application.h"
#include "suite/testsupport/modal.h"
#include "suite/text/atomicfile.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"

namespace {

using Dlg = CClinicDaysDlg;
using G = CGlobalSettings;

template <typename Widget>
Widget* Child(QWidget* parent, int id) {
    auto* widget = parent->findChild<Widget*>(QString::number(id));
    EXPECT_NE(widget, nullptr) << id;
    return widget;
}

class ClinicDaysDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQApplication("clinicdaysdlg_test");
        ASSERT_TRUE(m_dir.isValid());
        G::SetDatabaseFolder(m_dir.path().toStdString());
        // Monday to Saturday; Sunday has no office hours.
        VELOOFFICEHOUR hours{};
        for (int day = 1; day <= 6; ++day) hours.Week[day] = {900, 1300, 1400, 1800};
        ASSERT_TRUE(G::SetOfficeHours(hours));
        CMessageService::ClearHistory();
    }
    void TearDown() override {
        SetAtomicWriteHookForTesting(nullptr);
        CMessageService::SetScript(nullptr);
        G::SetDatabaseFolder("");
    }

    // Clicks near the left end, where a radio button's indicator and text are: its right
    // part takes no clicks.
    static void Click(QWidget* dialog, int id) {
        QWidget* control = Child<QWidget>(dialog, id);
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(8, control->height() / 2));
    }
    // Moves the calendar's selection with the arrow keys, as a person would.
    static void PressOnCalendar(Dlg* dialog, Qt::Key key) {
        auto* view = Child<QCalendarWidget>(dialog, Dlg::kIdCalendar)
                         ->findChild<QTableView*>(QStringLiteral("qt_calendar_calendarview"));
        ASSERT_NE(view, nullptr);
        QTest::keyClick(view, key);
    }
    static QDate Selected(Dlg* dialog) {
        return Child<QCalendarWidget>(dialog, Dlg::kIdCalendar)->selectedDate();
    }
    static QString DayText(Dlg* dialog) { return Child<QLabel>(dialog, Dlg::kIdDayText)->text(); }
    static QStringList Rows(Dlg* dialog) {
        QStringList rows;
        auto* list = Child<QTreeWidget>(dialog, Dlg::kIdList);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = list->topLevelItem(i);
            rows << item->text(0) + QLatin1Char(' ') + item->text(1) + QLatin1Char(' ') +
                        item->text(2);
        }
        return rows;
    }

    QTemporaryDir m_dir;
};

TEST_F(ClinicDaysDlgTest, AHolidayMarkedOpenAndADayClosedAreStoredTogether) {
    Dlg dialog(QDate(2026, 11, 3));  // 文化の日, a Tuesday
    dialog.show();
    EXPECT_TRUE(DayText(&dialog).contains(QStringLiteral("2026/11/03(火) 文化の日")));
    EXPECT_TRUE(DayText(&dialog).contains(QStringLiteral("休診（祝日）")));
    EXPECT_TRUE(Child<QRadioButton>(&dialog, Dlg::kIdUsual)->isChecked());

    Click(&dialog, Dlg::kIdOpen);
    EXPECT_TRUE(DayText(&dialog).contains(QStringLiteral("祝日ですが診療します")));
    PressOnCalendar(&dialog, Qt::Key_Right);
    ASSERT_EQ(Selected(&dialog), QDate(2026, 11, 4));
    EXPECT_TRUE(Child<QRadioButton>(&dialog, Dlg::kIdUsual)->isChecked());
    Click(&dialog, Dlg::kIdClosed);
    EXPECT_EQ(Rows(&dialog), QStringList({QStringLiteral("2026/11/03 診療日 文化の日"),
                                          QStringLiteral("2026/11/04 休診日 ")}));
    // Nothing is stored before OK.
    EXPECT_EQ(G::GetClinicDay(2026, 11, 3), G::kClinicDayUsual);

    // A day marked open on a weekday without hours says it stays closed.
    PressOnCalendar(&dialog, Qt::Key_Left);
    PressOnCalendar(&dialog, Qt::Key_Left);
    PressOnCalendar(&dialog, Qt::Key_Left);
    ASSERT_EQ(Selected(&dialog), QDate(2026, 11, 1));
    Click(&dialog, Dlg::kIdOpen);
    EXPECT_TRUE(DayText(&dialog).contains(QStringLiteral("休診のまま")));

    int rewrites = 0;
    SetAtomicWriteHookForTesting([&rewrites](EAtomicWriteStep step, const std::string&) {
        if (step == EAtomicWriteStep::Rename) ++rewrites;
        return true;
    });
    Click(&dialog, Dlg::kIdOk);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.Saved());
    EXPECT_EQ(rewrites, 1);
    EXPECT_EQ(G::GetClinicDay(2026, 11, 3), G::kClinicDayOpen);
    EXPECT_EQ(G::GetClinicDay(2026, 11, 4), G::kClinicDayClosed);
    CDate date;
    EXPECT_EQ(date.IsDayOff("20261103"), CDate::kWorking);
    EXPECT_EQ(date.IsDayOff("20261104"), CDate::kClinicDayOff);
    EXPECT_EQ(date.IsDayOff("20261101"), CDate::kNoOfficeHours);
}

TEST_F(ClinicDaysDlgTest, ReopeningShowsTheMarksAndCancelStoresNothing) {
    ASSERT_TRUE(G::SetClinicDays({{"20261103", G::kClinicDayOpen}}));
    {
        Dlg dialog(QDate(2026, 11, 20));
        dialog.show();
        EXPECT_EQ(Rows(&dialog), QStringList({QStringLiteral("2026/11/03 診療日 文化の日")}));
        auto* list = Child<QTreeWidget>(&dialog, Dlg::kIdList);
        QApplication::processEvents();  // lets the list lay out its rows
        const QRect row = list->visualItemRect(list->topLevelItem(0));
        // A double click as the system delivers it: press, release, double click, release.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, row.center());
        ASSERT_EQ(Selected(&dialog), QDate(2026, 11, 3));
        EXPECT_TRUE(Child<QRadioButton>(&dialog, Dlg::kIdOpen)->isChecked());
        Click(&dialog, Dlg::kIdUsual);
        EXPECT_TRUE(Rows(&dialog).isEmpty());
        Click(&dialog, Dlg::kIdCancel);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.Saved());
    }
    EXPECT_EQ(G::GetClinicDay(2026, 11, 3), G::kClinicDayOpen);

    // Through the suite's entry: the mark taken away and stored.
    OnModal([](QDialog* shown) {
        Click(shown, Dlg::kIdUsual);
        Click(shown, Dlg::kIdOk);
    });
    EXPECT_TRUE(CVeloComDlg::OpenClinicDaysSetting("20261103"));
    EXPECT_EQ(G::GetClinicDay(2026, 11, 3), G::kClinicDayUsual);
    // OK without a change stores nothing and says so.
    OnModal([](QDialog* shown) { Click(shown, Dlg::kIdOk); });
    EXPECT_FALSE(CVeloComDlg::OpenClinicDaysSetting("20261103"));
}

TEST_F(ClinicDaysDlgTest, AFailedWriteIsToldAndTheDialogStays) {
    SetAtomicWriteHookForTesting(
        [](EAtomicWriteStep step, const std::string&) { return step != EAtomicWriteStep::Rename; });
    Dlg dialog(QDate(2026, 11, 3));
    dialog.show();
    Click(&dialog, Dlg::kIdOpen);
    Click(&dialog, Dlg::kIdOk);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_TRUE(
        CMessageService::History()[0].text.contains(QStringLiteral("保存できませんでした")));
    EXPECT_EQ(G::GetClinicDay(2026, 11, 3), G::kClinicDayUsual);

    SetAtomicWriteHookForTesting(nullptr);
    Click(&dialog, Dlg::kIdOk);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(G::GetClinicDay(2026, 11, 3), G::kClinicDayOpen);
}

}  // namespace
