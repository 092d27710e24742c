// Tests of the reservation sheet's main window and the module entry on the offscreen
// platform: how the sheet ends (close command, the strip's exit after the question, another
// screen, its own screen), keys that must not close it, the single modeless window, the
// layout and view modes kept in the host profile, date movements, the came box, and the
// changes another workstation saves appearing by themselves.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <fstream>
#include <map>

#include "sheet/calendarmemo.h"
#include "sheet/cancelreasondlg.h"
#include "sheet/daylist.h"
#include "sheet/daysheetview.h"
#include "sheet/reservationdlg.h"
#include "sheet/reservedsearchdlg.h"
#include "sheet/reservesheetdlg.h"
#include "sheet/sheetsettings.h"
#include "sheet/sheetstrings.h"
#include "sheet/standbydlg.h"
#include "sheet/tests/sheetfixture.h"
#include "sheet/velosheet.h"
#include "sheet/weeksheetview.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/testsupport/commandicons.h"
#include "suite/testsupport/modal.h"
#include "suite/testsupport/tablepeer.h"
#include "suite/text/hostprofile.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/tablewatcher.h"
#include "suite/tool/tools.h"
#include "suite/tool/xlistctrl.h"

namespace velo::sheet {
namespace {

constexpr int kPositionClose = 0;
constexpr int kPositionRes = 1;
constexpr int kPositionLab = 7;

// Runs `act` on the next popup menu shown (a right-click menu) and closes it; `shown` tells
// afterwards whether one was shown at all.
void OnPopup(std::function<void(QMenu*)> act, bool* shown) {
    *shown = false;
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act, shown] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        timer->stop();
        timer->deleteLater();
        *shown = true;
        act(menu);
        menu->close();
    });
    timer->start();
    // A menu that never comes does not leave the poll running into the next test.
    QTimer::singleShot(2000, timer, [timer] { timer->deleteLater(); });
}

// The enabled state of each item of a menu, by its text.
std::map<QString, bool> MenuItems(QMenu* menu) {
    std::map<QString, bool> items;
    for (QAction* action : menu->actions()) items[action->text()] = action->isEnabled();
    return items;
}

class ReserveSheetTest : public SheetAppTest {
protected:
    explicit ReserveSheetTest(ETestEngine engine = ETestEngine::kEmbedded)
        : SheetAppTest("reservesheet_test", "reservesheettest", engine) {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(SheetAppTest::SetUp());
        CDate::SetTodayForTesting(2024, 3, 28);
        CMessageService::ClearHistory();
    }
    // Runs OnStart and, once the sheet is up, `act` on it.
    int RunSheet(std::function<void(CReserveSheetDlg*)> act) {
        OnModal([act](QDialog* dialog) {
            auto* sheet = qobject_cast<CReserveSheetDlg*>(dialog);
            ASSERT_NE(sheet, nullptr);
            act(sheet);
            // Whatever the action left open is closed here, so no test can hang.
            if (sheet->isVisible()) sheet->RunCommand(kCmdClose);
        });
        CVeloSheet module;
        return module.OnStart(&m_db);
    }

    void AddReservation(const char* no, const char* patient, const char* date, uint8_t status) {
        Insert<CReservationDB>([&](tagRESERVATIONDB& r) {
            SetField(r.ReservationNo, no);
            SetField(r.PatientID, patient);
            SetField(r.ResDate, date);
            SetField(r.StartTime, "1000");
            SetField(r.EndTime, "1030");
            SetField(r.UnitCode, "01");
            SetField(r.DoctorCode, "01");
            SetField(r.ResTypeCode, "01");
            r.Status = status;
        });
    }

    // A left click on the name of a reservation's list row, as a person selects it.
    static void ClickRow(CReserveSheetDlg& sheet, const std::string& no) {
        CXListCtrl* list = sheet.DayList()->List();
        for (int row = 0; row < sheet.DayList()->RowCount(); ++row) {
            if (sheet.DayList()->Entry(row)->reservationNo != no) continue;
            const QRect rect = list->visualItemRect(list->topLevelItem(row));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              QPoint(list->columnViewportPosition(1) + 10, rect.center().y()));
            return;
        }
        ADD_FAILURE() << "no list row for " << no;
    }
    // A drag with the left button from one point of a grid to another.
    static void Drag(CSheetGridView* view, QPoint from, QPoint to) {
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(view->viewport(), to);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
    }
    static void DoubleClick(QWidget* widget, QPoint at) {
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
        QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
        QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
    }
    static void ClickToolButton(CReserveSheetDlg& sheet, QToolBar* toolbar, int command) {
        QWidget* button = toolbar->widgetForAction(sheet.Action(command));
        ASSERT_NE(button, nullptr) << command;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    static QToolBar* ViewToolbar(CReserveSheetDlg& sheet) {
        return sheet.findChild<QToolBar*>(QString::number(kIdrViewToolbar));
    }
    static QToolBar* MainToolbar(CReserveSheetDlg& sheet) {
        return sheet.findChild<QToolBar*>(QString::number(kIdrMainToolbar));
    }

    uint8_t StoredStatus(const char* no) {
        CReservationDB table;
        EXPECT_EQ(table.Open(m_folder), recman::kOk);
        EXPECT_EQ(table.GetReservationData(no), recman::kOk);
        return table.m_Data.Status;
    }
};

TEST_F(ReserveSheetTest, EndsWithTheScreenCodeOfHowItWasClosed) {
    EXPECT_EQ(RunSheet([](CReserveSheetDlg* sheet) { sheet->RunCommand(kCmdClose); }), -100);

    EXPECT_EQ(RunSheet([](CReserveSheetDlg* sheet) { sheet->OnStripButton(kPositionLab); }), 1107);

    // The exit button asks first; Yes leaves the system.
    CMessageService::SetScript(
        [](const CMessageService::Request&) { return CMessageService::IDYES; });
    EXPECT_EQ(RunSheet([](CReserveSheetDlg* sheet) { sheet->OnStripButton(kPositionClose); }), 0);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].kind, CMessageService::EKind::YesNo);

    // No keeps the sheet open; it is then closed by its close command.
    CMessageService::SetScript(
        [](const CMessageService::Request&) { return CMessageService::IDNO; });
    bool stayed = false;
    EXPECT_EQ(RunSheet([&](CReserveSheetDlg* sheet) {
                  sheet->OnStripButton(kPositionClose);
                  stayed = sheet->isVisible();
              }),
              -100);
    EXPECT_TRUE(stayed);
}

TEST_F(ReserveSheetTest, OwnScreenButtonAndEnterOrEscapeDoNotCloseIt) {
    bool open = false;
    int code = 0;
    EXPECT_EQ(RunSheet([&](CReserveSheetDlg* sheet) {
                  sheet->OnStripButton(kPositionRes);
                  for (int key : {Qt::Key_Escape, Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
                      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                      QApplication::sendEvent(sheet, &press);
                  }
                  QApplication::processEvents();
                  open = sheet->isVisible();
                  code = sheet->ScreenCode();
              }),
              -100);
    EXPECT_TRUE(open);
    EXPECT_EQ(code, -100);
}

TEST_F(ReserveSheetTest, OpenSheetKeepsOneWindowAndDoStartIsExported) {
    CVeloSheet module;
    EXPECT_EQ(module.OpenSheet(&m_db), 0);
    CReserveSheetDlg* first = module.Sheet();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    first->hide();
    EXPECT_EQ(module.OpenSheet(nullptr), 0);  // a later handle is ignored
    EXPECT_EQ(module.Sheet(), first);
    EXPECT_TRUE(first->isVisible());
    int sheets = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<CReserveSheetDlg*>(widget) != nullptr) ++sheets;
    }
    EXPECT_EQ(sheets, 1);

    OnModal(
        [](QDialog* dialog) { qobject_cast<CReserveSheetDlg*>(dialog)->RunCommand(kCmdClose); });
    EXPECT_EQ(::DoStart(&m_db), -100);
    EXPECT_EQ(::DoStart(nullptr), -100);
}

TEST_F(ReserveSheetTest, LayoutAndViewModesAreStoredAndSizeWrittenOnDestruction) {
    {
        CReserveSheetDlg sheet(&m_db);
        EXPECT_EQ(sheet.LayoutMode(), 0);
        EXPECT_TRUE(sheet.Action(kCmdLayoutUnit)->isChecked());
        sheet.RunCommand(kCmdLayoutDoctor);
        EXPECT_EQ(sheet.LayoutMode(), 1);
        EXPECT_EQ(ReadHostSheetProfile().reservationMode, 1);
        EXPECT_TRUE(sheet.Action(kCmdLayoutDoctor)->isChecked());
        EXPECT_FALSE(sheet.Action(kCmdLayoutUnit)->isChecked());

        sheet.RunCommand(kCmdWeekView);
        EXPECT_EQ(sheet.AppointMode(), 1);
        EXPECT_EQ(ReadHostSheetProfile().appointMode, 1);
        EXPECT_EQ(sheet.Action(kCmdBack)->toolTip(), QStringLiteral("前の週"));
        sheet.RunCommand(kCmdLayoutUnit);
        EXPECT_EQ(ReadHostSheetProfile().reservationMode, 0);
        EXPECT_GE(sheet.minimumWidth(), 1);
    }
    EXPECT_GT(
        CHostProfile::GetProfileInt(QStringLiteral("VELOSHEET"), QStringLiteral("WindowWidth"), 0),
        0);
    EXPECT_GT(
        CHostProfile::GetProfileInt(QStringLiteral("VELOSHEET"), QStringLiteral("WindowHeight"), 0),
        0);

    // A new sheet starts in the stored modes.
    CReserveSheetDlg again(&m_db);
    EXPECT_EQ(again.AppointMode(), 1);
    EXPECT_EQ(again.LayoutMode(), 0);
}

TEST_F(ReserveSheetTest, DateButtonsMoveTheShownDateAndHeading) {
    CReserveSheetDlg sheet(&m_db);
    EXPECT_EQ(sheet.ShownDate(), QDate(2024, 3, 28));
    EXPECT_EQ(sheet.HeadingText(), QStringLiteral("2024年 3月28日(木)"));
    EXPECT_TRUE(sheet.StatusText().startsWith(QStringLiteral("2024年03月28日")));

    sheet.RunCommand(kCmdForward);
    EXPECT_EQ(sheet.ShownDate(), QDate(2024, 3, 29));
    EXPECT_EQ(sheet.WeekStart(), QDate(2024, 3, 24));
    sheet.RunCommand(kCmdFourWeeks);
    EXPECT_EQ(sheet.ShownDate(), QDate(2024, 4, 26));
    sheet.RunCommand(kCmdPrevMonth);
    EXPECT_EQ(sheet.ShownDate(), QDate(2024, 3, 1));
    EXPECT_EQ(sheet.Calendar()->ShownDate(), QDate(2024, 3, 1));

    // Week view from a Thursday week start: a week forward, calendar in April.
    sheet.SetShownDate(QDate(2024, 3, 28));
    sheet.RunCommand(kCmdWeekView);
    sheet.RunCommand(kCmdForward);
    EXPECT_EQ(sheet.WeekStart(), QDate(2024, 4, 4));
    EXPECT_EQ(sheet.ShownDate(), QDate(2024, 4, 4));
    EXPECT_EQ(sheet.Calendar()->ShownDate().month(), 4);
    EXPECT_EQ(sheet.HeadingText(), QStringLiteral("2024年04月04日 ～ 2024年04月10日"));

    sheet.RunCommand(kCmdToday);
    EXPECT_EQ(sheet.ShownDate(), QDate(2024, 3, 28));
    EXPECT_EQ(sheet.WeekStart(), QDate(2024, 3, 28));
}

TEST_F(ReserveSheetTest, CameBoxSetsTheStatusAndTheToolbarFollowsTheRow) {
    ASSERT_NO_FATAL_FAILURE(AddCategory("1", "01", "Unit 1"));
    AddPatient("0000000001", "Yamada");
    AddReservation("0000000001", "0000000001", "20240328", 0);
    AddReservation("0000000002", "0000000001", "20240328", 4);  // revoked: not listed
    SheetDbTest::AddReservation({"0000000003", "", "20240328", "1100", "1130"});  // blocked time
    CReserveSheetDlg sheet(&m_db);
    CDayList* list = sheet.DayList();
    ASSERT_EQ(list->RowCount(), 1);
    EXPECT_FALSE(sheet.Action(kCmdEditReservation)->isEnabled());  // nothing selected

    ASSERT_TRUE(list->SelectReservation("0000000001"));
    EXPECT_TRUE(sheet.Action(kCmdEditReservation)->isEnabled());
    EXPECT_TRUE(sheet.Action(kCmdPatientDetail)->isEnabled());
    EXPECT_FALSE(sheet.Action(kCmdBilling)->isEnabled());

    emit list->CameToggled(0, true);
    EXPECT_EQ(StoredStatus("0000000001"), 1);
    ASSERT_EQ(list->RowCount(), 1);
    EXPECT_TRUE(list->IsCame(0));
    // A came row: no edit, change, cancel or delete; payment allowed.
    ASSERT_TRUE(list->SelectReservation("0000000001"));
    EXPECT_FALSE(sheet.Action(kCmdEditReservation)->isEnabled());
    EXPECT_FALSE(sheet.Action(kCmdDeleteReservation)->isEnabled());
    EXPECT_FALSE(sheet.Action(kCmdChangeReservation)->isEnabled());
    EXPECT_FALSE(sheet.Action(kCmdRevokeReservation)->isEnabled());
    ASSERT_NE(sheet.Action(kCmdCancelWithNotice), nullptr);
    EXPECT_FALSE(sheet.Action(kCmdCancelWithNotice)->isEnabled());
    EXPECT_FALSE(sheet.Action(kCmdCancelLastMinute)->isEnabled());
    EXPECT_TRUE(sheet.Action(kCmdBilling)->isEnabled());

    EXPECT_EQ(ListMenuGreyed(*list->Entry(0)),
              (std::vector<int>{kCmdEditReservation, kCmdDeleteReservation, kCmdRevokeReservation,
                                kCmdChangeReservation}));

    emit list->CameToggled(0, false);
    EXPECT_EQ(ListMenuGreyed(*list->Entry(0)), std::vector<int>{kCmdBilling});
    EXPECT_EQ(StoredStatus("0000000001"), 0);
    EXPECT_FALSE(list->IsCame(0));

    // A blocked-time bar has no row: clicked while a row is selected it is selected all the
    // same, with edit and delete enabled, and its right-click menu offers just those.
    sheet.show();
    QApplication::processEvents();
    CDaySheetView* day = sheet.DayView();
    const QPoint blocked = day->BarRect("0000000003").center();
    ClickRow(sheet, "0000000001");
    ASSERT_NE(list->SelectedEntry(), nullptr);
    QTest::mouseClick(day->viewport(), Qt::LeftButton, {}, blocked);
    ASSERT_NE(day->SelectedBar(), nullptr);
    EXPECT_EQ(day->SelectedBar()->reservationNo, "0000000003");
    EXPECT_EQ(list->SelectedEntry(), nullptr);
    EXPECT_TRUE(sheet.Action(kCmdEditReservation)->isEnabled());
    EXPECT_TRUE(sheet.Action(kCmdDeleteReservation)->isEnabled());
    EXPECT_FALSE(sheet.Action(kCmdChangeReservation)->isEnabled());

    ClickRow(sheet, "0000000001");
    std::map<QString, bool> items;
    bool menuShown = false;
    OnPopup([&](QMenu* menu) { items = MenuItems(menu); }, &menuShown);
    QTest::mouseClick(day->viewport(), Qt::RightButton, {}, blocked);
    ASSERT_TRUE(menuShown);
    EXPECT_TRUE(items[QStringLiteral("予約の編集")]);
    EXPECT_TRUE(items[QStringLiteral("予約の削除")]);
    EXPECT_FALSE(items[QStringLiteral("予約の変更")]);
    EXPECT_FALSE(items[QStringLiteral("入金処理")]);
}

TEST_F(ReserveSheetTest, DeleteKeyAsksAndRemovesOnlyABookedReservation) {
    ASSERT_NO_FATAL_FAILURE(AddCategory("1", "01", "Unit 1"));
    AddPatient("0000000001", "Yamada");
    AddReservation("0000000001", "0000000001", "20240328", 0);
    AddReservation("0000000002", "0000000001", "20240328", 1);
    AddReservation("0000000003", "0000000001", "20240328", 0);
    SheetDbTest::AddReservation({"0000000004", "", "20240328", "1100", "1130"});  // blocked time
    CReserveSheetDlg sheet(&m_db);
    sheet.show();
    QApplication::processEvents();
    CDayList* list = sheet.DayList();
    ASSERT_EQ(list->RowCount(), 3);
    const auto pressDelete = [&sheet] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        QApplication::sendEvent(&sheet, &press);
    };
    int questions = 0;
    int answer = CMessageService::IDNO;
    CMessageService::SetScript([&](const CMessageService::Request&) {
        ++questions;
        return answer;
    });

    // A came reservation offers no delete: nothing is asked.
    ASSERT_TRUE(list->SelectReservation("0000000002"));
    pressDelete();
    EXPECT_EQ(questions, 0);

    // Declined: the booked one stays; accepted: it is gone from the file and the list.
    ASSERT_TRUE(list->SelectReservation("0000000001"));
    pressDelete();
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(StoredStatus("0000000001"), 0);
    answer = CMessageService::IDYES;
    pressDelete();
    EXPECT_EQ(questions, 2);
    CReservationDB table;
    ASSERT_EQ(table.Open(m_folder), recman::kOk);
    EXPECT_EQ(table.GetReservationData("0000000001"), recman::kKeyNotFound);
    EXPECT_EQ(list->RowCount(), 2);

    // Another workstation removed a listed reservation: the delete says it failed without
    // asking first, and the stale row goes.
    ASSERT_EQ(table.GetReservationData("0000000003"), recman::kOk);
    ASSERT_EQ(table.Delete(), recman::kOk);
    table.Close();
    ClickRow(sheet, "0000000003");
    CMessageService::ClearHistory();
    pressDelete();
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_NE(CMessageService::History()[0].kind, CMessageService::EKind::YesNo);
    EXPECT_EQ(CMessageService::History()[0].text,
              QStringLiteral("データの削除を行なう際、エラーが発生します。"));
    EXPECT_EQ(list->RowCount(), 1);

    // In the week view a blocked-time bar is edited by a double click and deleted by the key.
    ClickToolButton(sheet, ViewToolbar(sheet), kCmdWeekView);
    ASSERT_EQ(sheet.AppointMode(), 1);
    CWeekSheetView* week = sheet.WeekView();
    const QPoint blocked = week->BarRect("0000000004").center();
    ASSERT_FALSE(blocked.isNull());
    QString title;
    OnModal([&](QDialog* dialog) {
        title = dialog->windowTitle();
        dialog->reject();
    });
    DoubleClick(week->viewport(), blocked);
    EXPECT_EQ(title, QStringLiteral("予約の編集"));
    CMessageService::ClearHistory();
    QTest::keyClick(week, Qt::Key_Delete);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].kind, CMessageService::EKind::YesNo);
    ASSERT_EQ(table.Open(m_folder), recman::kOk);
    EXPECT_EQ(table.GetReservationData("0000000004"), recman::kKeyNotFound);
}

TEST_F(ReserveSheetTest, DraggedRangeDoubleClickAndCancelOpenTheirDialogs) {
    ASSERT_NO_FATAL_FAILURE(AddCategory("1", "01", "Unit 1"));
    ASSERT_NO_FATAL_FAILURE(AddCategory("0", "01", "Check-up"));
    ASSERT_NO_FATAL_FAILURE(AddDoctor("01", "Dr A"));
    AddPatient("0000000001", "Yamada");
    AddReservation("0000000001", "0000000001", "20240328", 0);
    CReserveSheetDlg sheet(&m_db);
    sheet.show();
    QApplication::processEvents();
    CDaySheetView* day = sheet.DayView();
    ASSERT_EQ(day->Columns().size(), 1u);

    // A range dragged right after a list row was selected books in its column and band on
    // the shown day: clearing the list for the range does not cancel it.
    ClickRow(sheet, "0000000001");
    ASSERT_NE(sheet.DayList()->SelectedEntry(), nullptr);
    QString title;
    int bandStart = 0, bandEnd = 0;
    OnModal([&](QDialog* dialog) {
        title = dialog->windowTitle();
        if (auto* booking = qobject_cast<CReservationDlg*>(dialog); booking != nullptr) {
            bandStart = booking->BandStart();
            bandEnd = booking->BandEnd();
        }
        dialog->reject();
    });
    Drag(day, day->CellRect(930, 0).center(), day->CellRect(945, 0).center());
    EXPECT_EQ(title, QStringLiteral("新規予約"));
    EXPECT_EQ(bandStart, 930);
    EXPECT_EQ(bandEnd, 1000);
    EXPECT_EQ(sheet.DayList()->SelectedEntry(), nullptr);

    // A double click on the list row edits that reservation.
    title.clear();
    OnModal([&](QDialog* dialog) {
        title = dialog->windowTitle();
        dialog->reject();
    });
    CXListCtrl* list = sheet.DayList()->List();
    DoubleClick(list->viewport(), QPoint(list->columnViewportPosition(1) + 10,
                                         list->visualItemRect(list->topLevelItem(0)).center().y()));
    EXPECT_EQ(title, QStringLiteral("予約の編集"));

    // An edit from the bar that moves the reservation to another day of the month: the
    // sheet follows it, keeps the grid's scroll position and counts both days again.
    CMessageService::SetScript(
        [](const CMessageService::Request&) { return CMessageService::IDYES; });
    day->verticalScrollBar()->setValue(90);
    const int scrolled = day->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    ASSERT_EQ(sheet.Calendar()->Data().counts[28], 1);
    bool saved = false;
    OnModal([&](QDialog* dialog) {
        auto* edit = qobject_cast<CReservationDlg*>(dialog);
        ASSERT_NE(edit, nullptr);
        edit->findChild<QDateEdit*>(QString::number(CReservationDlg::kIdDate))
            ->setDate(QDate(2024, 3, 30));
        edit->ChooseBand(1400, 1430);
        edit->findChild<QPushButton*>(QString::number(CReservationDlg::kIdOk))->click();
        saved = edit->result() == QDialog::Accepted;
    });
    DoubleClick(day->viewport(), day->BarRect("0000000001").center());
    ASSERT_TRUE(saved);
    EXPECT_EQ(sheet.ShownDate(), QDate(2024, 3, 30));
    EXPECT_EQ(sheet.Calendar()->Data().counts[28], 0);
    EXPECT_EQ(sheet.Calendar()->Data().counts[30], 1);
    EXPECT_EQ(day->verticalScrollBar()->value(), scrolled);

    // Cancel with notice: asked first, then the reason dialog marks it and the row goes.
    bool reasonAsked = false;
    OnModal([&](QDialog* dialog) {
        reasonAsked = qobject_cast<CCancelReasonDlg*>(dialog) != nullptr;
        if (auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("1")); ok != nullptr)
            ok->click();
        else
            dialog->reject();
    });
    ASSERT_TRUE(sheet.DayList()->SelectReservation("0000000001"));
    sheet.RunCommand(kCmdCancelWithNotice);
    EXPECT_TRUE(reasonAsked);
    EXPECT_EQ(StoredStatus("0000000001"), 2);
    EXPECT_EQ(sheet.DayList()->RowCount(), 0);
}

TEST_F(ReserveSheetTest, AReservationFoundBySearchIsCancelledAndTheSheetMovesToItsDay) {
    AddPatient("0000000001", "Yamada");
    AddReservation("0000000007", "0000000001", "20240330", 0);
    CReserveSheetDlg sheet(&m_db);
    sheet.show();
    ASSERT_EQ(sheet.Calendar()->Data().counts[30], 1);
    CMessageService::SetScript([](const CMessageService::Request&) { return CMessageService::IDYES; });
    bool reasonAsked = false;
    OnModal([&](QDialog* dialog) {
        auto* search = qobject_cast<CReservedSearchDlg*>(dialog);
        ASSERT_NE(search, nullptr);
        search->RunSearch();
        ASSERT_EQ(search->List()->GetItemCount(), 1);
        search->List()->SetSelIndex(0);
        OnModal([&](QDialog* reason) {
            reasonAsked = qobject_cast<CCancelReasonDlg*>(reason) != nullptr;
            reason->findChild<QPushButton*>(QStringLiteral("1"))->click();
        });
        search->findChild<QAction*>(QString::number(CReservedSearchDlg::kIdCancelReservation))
            ->trigger();
    });
    sheet.RunCommand(kCmdSearch);
    EXPECT_TRUE(reasonAsked);
    EXPECT_EQ(StoredStatus("0000000007"), 3);
    EXPECT_EQ(sheet.ShownDate(), QDate(2024, 3, 30));
    EXPECT_EQ(sheet.Calendar()->Data().counts[30], 0);  // counted again in the same month
}

TEST_F(ReserveSheetTest, AnUnreadableReservationFileIsShownAndRefusesBookingsUntilReadAgain) {
    ASSERT_NO_FATAL_FAILURE(AddCategory("1", "01", "Unit 1"));
    AddPatient("0000000001", "Yamada");
    AddReservation("0000000001", "0000000001", "20240328", 0);
    m_testDb.TruncateTableFile("RESERVATION.BTR");
    CMessageService::SetScript(
        [](const CMessageService::Request&) { return CMessageService::IDOK; });
    const auto messagesNaming = [](const QString& text) {
        int n = 0;
        for (const auto& request : CMessageService::History()) n += request.text.contains(text);
        return n;
    };

    // The sheet opens on an empty day, says once which file could not be read and what to
    // do, and keeps a notice over the grid.
    CReserveSheetDlg sheet(&m_db);
    sheet.show();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_EQ(sheet.DayList()->RowCount(), 0);
    ASSERT_EQ(CMessageService::History().size(), 1);
    const QString message = CMessageService::History()[0].text;
    EXPECT_TRUE(message.contains(QStringLiteral("RESERVATION.BTR")));
    EXPECT_TRUE(message.contains(QStringLiteral("velodb check")));
    EXPECT_TRUE(sheet.ReadFailureNotice().contains(QStringLiteral("RESERVATION.BTR")));

    // Neither a dragged band nor the new-reservation command opens the booking dialog.
    QString opened;
    OnModal([&](QDialog* dialog) {
        opened = dialog->windowTitle();
        dialog->reject();
    });
    CDaySheetView* day = sheet.DayView();
    Drag(day, day->CellRect(930, 0).center(), day->CellRect(945, 0).center());
    QTest::mouseClick(MainToolbar(sheet)->widgetForAction(sheet.Action(kCmdNewReservation)),
                      Qt::LeftButton);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(messagesNaming(QStringLiteral("予約を登録できません")), 2);
    EXPECT_EQ(messagesNaming(QStringLiteral("velodb check")), 1);

    // A refresh that reads the file again clears the notice and books as usual.
    m_testDb.RestoreTableFile("RESERVATION.BTR");
    QTest::keyClick(day, Qt::Key_F5);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_TRUE(sheet.ReadFailureNotice().isEmpty());
    EXPECT_EQ(sheet.DayList()->RowCount(), 1);
    Drag(day, day->CellRect(930, 0).center(), day->CellRect(945, 0).center());
    EXPECT_EQ(opened, QStringLiteral("新規予約"));
    EXPECT_EQ(messagesNaming(QStringLiteral("velodb check")), 1);
}

TEST_F(ReserveSheetTest, MemoStandbyAndPrintCommandsOpenTheirDialogs) {
    CReserveSheetDlg sheet(&m_db);
    sheet.show();
    for (int command : {kCmdCalendarMemo, kCmdStandby}) {
        QString opened;
        OnModal([&](QDialog* dialog) {
            opened = QString::fromUtf8(dialog->metaObject()->className());
            dialog->reject();
        });
        sheet.RunCommand(command);
        EXPECT_TRUE(opened.endsWith(command == kCmdCalendarMemo ? QStringLiteral("CCalendarMemoDlg")
                                                                : QStringLiteral("CStandbyDlg")))
            << opened.toStdString();
    }
    EXPECT_TRUE(sheet.PendingStandbyNo().empty());

    // Printing asks for the printer first; cancelled, nothing is printed.
    CMessageService::SetScript([](const CMessageService::Request&) { return CMessageService::IDCANCEL; });
    sheet.RunCommand(kCmdPrintSheet);
    const auto history = CMessageService::History();
    ASSERT_FALSE(history.isEmpty());
    EXPECT_EQ(history.back().kind, CMessageService::EKind::Print);
}

TEST_F(ReserveSheetTest, ZoomAndTheCommandsThatOpenOtherScreens) {
    AddPatient("0000000001", "Yamada");
    AddReservation("0000000001", "0000000001", "20240328", 0);
    CReserveSheetDlg sheet(&m_db);
    sheet.show();
    ExpectCommandIcons(MainToolbar(sheet));
    ExpectCommandIcons(ViewToolbar(sheet));
    ExpectCommandIcons(sheet.findChild<QToolBar*>(QString::number(kIdrZoomViewToolbar)));
    sheet.RunCommand(kCmdZoom);
    EXPECT_TRUE(sheet.IsZoomed());
    EXPECT_FALSE(sheet.Calendar()->isVisible());
    EXPECT_FALSE(sheet.DayList()->isVisible());
    sheet.RunCommand(kCmdRestore);
    EXPECT_FALSE(sheet.IsZoomed());
    EXPECT_TRUE(sheet.Calendar()->isVisible());

    // Nothing selected: no patient screen opens.
    sheet.RunCommand(kCmdPatientDetail);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // With a row selected, the patient screen and the visit flow open as modal windows.
    ASSERT_TRUE(sheet.DayList()->SelectReservation("0000000001"));
    for (int command : {kCmdPatientDetail, kCmdVisitFlow}) {
        bool opened = false;
        OnModal([&](QDialog* dialog) {
            opened = true;
            dialog->reject();
        });
        sheet.RunCommand(command);
        EXPECT_TRUE(opened) << command;
        EXPECT_TRUE(sheet.isVisible());
    }
}

// Another workstation books patient 1 into unit 01; true once its commit is done.
bool BookElsewhere(CTablePeer& desk, const char* no, const char* date, const char* start,
                   const char* end) {
    const std::string answer =
        desk.Run(std::string("insert RESERVATION.BTR ReservationNo=") + no +
                 " PatientID=0000000001 ResDate=" + date + " StartTime=" + start + " EndTime=" +
                 end + " UnitCode=01 DoctorCode=01 ResTypeCode=01 Status=0");
    return answer.rfind("ok ", 0) == 0;
}

// The sheet over tables on either engine: another workstation's commits reach it through the
// change counters of the table files, or through the server's notifications.
class ReserveSheetEngineTest : public ::testing::WithParamInterface<ETestEngine>,
                               public ReserveSheetTest {
protected:
    ReserveSheetEngineTest() : ReserveSheetTest(GetParam()) {}
};
INSTANTIATE_TEST_SUITE_P(, ReserveSheetEngineTest,
                         ::testing::Values(ETestEngine::kEmbedded, ETestEngine::kServer),
                         TestEngineName);

TEST_P(ReserveSheetEngineTest, ChangesSavedElsewhereAppearByThemselvesWherePeopleLeftThem) {
    ASSERT_NO_FATAL_FAILURE(AddCategory("1", "01", "Unit 1"));
    AddPatient("0000000001", "Yamada");
    AddPatient("0000000002", "Suzuki");
    AddReservation("0000000001", "0000000001", "20240328", 0);
    SheetDbTest::AddReservation({"0000000002", "0000000002", "20240328", "1100", "1130"});
    CTablePeer desk(m_folder);
    RunSheet([&](CReserveSheetDlg* sheet) {
        QSignalSpy reloads(sheet, &CReserveSheetDlg::reloadedForChanges);
        CDaySheetView* day = sheet->DayView();
        CDayList* list = sheet->DayList();
        QApplication::processEvents();

        // The receptionist selects a reservation and scrolls the grid down a page.
        ClickRow(*sheet, "0000000002");
        ASSERT_EQ(day->SelectedReservationNo(), "0000000002");
        QScrollBar* bar = day->verticalScrollBar();
        ASSERT_GT(bar->maximum(), 0);
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          QPoint(bar->width() / 2, bar->height() - 2 * bar->width()));
        const int scrolled = bar->value();
        ASSERT_GT(scrolled, 0);

        // Another desk books the same day: the grid, the list and the day's count show it.
        ASSERT_TRUE(BookElsewhere(desk, "0000000003", "20240328", "1400", "1430"));
        ASSERT_TRUE(reloads.wait(10000));
        EXPECT_EQ(sheet->ReadFailureNotice(), QString());
        EXPECT_FALSE(day->BarRect("0000000003").isNull());
        EXPECT_EQ(list->RowCount(), 3);
        EXPECT_EQ(sheet->Calendar()->Data().counts[28], 3);
        EXPECT_EQ(day->SelectedReservationNo(), "0000000002");
        ASSERT_NE(list->SelectedEntry(), nullptr);
        EXPECT_EQ(list->SelectedEntry()->reservationNo, "0000000002");
        EXPECT_EQ(bar->value(), scrolled);

        // A note written by another program: the calendar's mark and the status line.
        {
            std::ofstream memo(CalendarMemoPath(m_folder, 2024), std::ios::binary);
            memo << FormatCalendarMemoYear(2024, {{"20240328", QStringLiteral("往診日")}});
        }
        ASSERT_TRUE(reloads.wait(10000));
        EXPECT_TRUE(sheet->Calendar()->Data().HasMemo(28));
        EXPECT_TRUE(sheet->StatusText().contains(QStringLiteral("往診日")));

        // While a dialog is open over the sheet the change waits; it shows once the dialog
        // is closed.
        const int before = reloads.count();
        bool overStandby = false, booked = false, waited = false;
        OnModal([&](QDialog* dialog) {
            overStandby = qobject_cast<CStandbyDlg*>(dialog) != nullptr;
            booked = BookElsewhere(desk, "0000000004", "20240328", "1500", "1530");
            // Seen (a server's notification may take a moment to arrive), but kept waiting.
            const bool seen = QTest::qWaitFor(
                [&] {
                    sheet->Watcher()->Poll();
                    return sheet->Watcher()->Waiting().contains(QStringLiteral("RESERVATION.BTR"));
                },
                10000);
            waited = seen && reloads.count() == before;
            auto* close = dialog->findChild<QPushButton*>(QString::number(CStandbyDlg::kIdClose));
            if (close != nullptr)
                QTest::mouseClick(close, Qt::LeftButton);
            else
                dialog->reject();
        });
        ClickToolButton(*sheet, MainToolbar(*sheet), kCmdStandby);
        ASSERT_TRUE(overStandby && booked);
        EXPECT_TRUE(waited);
        ASSERT_TRUE(reloads.wait(10000));
        EXPECT_EQ(list->RowCount(), 4);

        // The sheet's own saves are never handed back to it as another's change.
        InsertTestRecord<CReservationDB>(m_db, [](tagRESERVATIONDB& r) {
            SetField(r.ReservationNo, "0000000005");
            SetField(r.PatientID, "0000000001");
            SetField(r.ResDate, "20240328");
            SetField(r.StartTime, "1600");
            SetField(r.EndTime, "1630");
            SetField(r.UnitCode, "01");
        });
        sheet->Watcher()->Poll();
        EXPECT_TRUE(sheet->Watcher()->Waiting().isEmpty());
        EXPECT_EQ(reloads.count(), before + 1);

        // The week view: a booking later in the week appears, the selected bar stays.
        ClickToolButton(*sheet, ViewToolbar(*sheet), kCmdWeekView);
        CWeekSheetView* week = sheet->WeekView();
        const QRect first = week->BarRect("0000000001");
        ASSERT_FALSE(first.isNull());
        QTest::mouseClick(week->viewport(), Qt::LeftButton, {}, first.center());
        ASSERT_EQ(week->SelectedReservationNo(), "0000000001");
        ASSERT_TRUE(BookElsewhere(desk, "0000000006", "20240330", "1000", "1030"));
        ASSERT_TRUE(reloads.wait(10000));
        EXPECT_FALSE(week->BarRect("0000000006").isNull());
        EXPECT_EQ(week->SelectedReservationNo(), "0000000001");
        EXPECT_EQ(sheet->AppointMode(), 1);
        EXPECT_EQ(sheet->ShownDate(), QDate(2024, 3, 28));
    });
}

}  // namespace
}  // namespace velo::sheet
