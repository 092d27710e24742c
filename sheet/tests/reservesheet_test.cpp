// Tests of the reservation sheet's main window and the module entry on the offscreen
// platform: how the sheet ends (close command, the strip's exit after the question, another
// screen, its own screen), keys that must not close it, the single modeless window, the
// layout and view modes kept in the host profile, date movements, and the came box.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

#include "sheet/cancelreasondlg.h"
#include "sheet/daylist.h"
#include "sheet/daysheetview.h"
#include "sheet/reservationdlg.h"
#include "sheet/reservedsearchdlg.h"
#include "sheet/reservesheetdlg.h"
#include "sheet/sheetsettings.h"
#include "sheet/sheetstrings.h"
#include "sheet/tests/sheetfixture.h"
#include "sheet/velosheet.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/testsupport/modal.h"
#include "suite/text/hostprofile.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/tools.h"
#include "suite/tool/xlistctrl.h"

namespace velo::sheet {
namespace {

constexpr int kPositionClose = 0;
constexpr int kPositionRes = 1;
constexpr int kPositionLab = 7;

class ReserveSheetTest : public SheetAppTest {
protected:
    ReserveSheetTest() : SheetAppTest("reservesheet_test", "reservesheettest") {}

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
            r.Status = status;
        });
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
    AddPatient("0000000001", "Yamada");
    AddReservation("0000000001", "0000000001", "20240328", 0);
    AddReservation("0000000002", "0000000001", "20240328", 4);  // revoked: not listed
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
}

TEST_F(ReserveSheetTest, DeleteKeyAsksAndRemovesOnlyABookedReservation) {
    AddPatient("0000000001", "Yamada");
    AddReservation("0000000001", "0000000001", "20240328", 0);
    AddReservation("0000000002", "0000000001", "20240328", 1);
    CReserveSheetDlg sheet(&m_db);
    CDayList* list = sheet.DayList();
    ASSERT_EQ(list->RowCount(), 2);
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
    EXPECT_EQ(list->RowCount(), 1);
}

TEST_F(ReserveSheetTest, DraggedRangeDoubleClickAndCancelOpenTheirDialogs) {
    ASSERT_NO_FATAL_FAILURE(AddCategory("1", "01", "Unit 1"));
    AddPatient("0000000001", "Yamada");
    AddReservation("0000000001", "0000000001", "20240328", 0);
    CReserveSheetDlg sheet(&m_db);
    ASSERT_EQ(sheet.DayView()->Columns().size(), 1u);

    // A dragged range books in its column and band on the shown day.
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
    emit sheet.DayView()->rangeChosen(0, 945, 1000, QStringLiteral("20240328"));
    EXPECT_EQ(title, QStringLiteral("新規予約"));
    EXPECT_EQ(bandStart, 945);
    EXPECT_EQ(bandEnd, 1000);

    // A double click on the list row edits that reservation.
    ASSERT_TRUE(sheet.DayList()->SelectReservation("0000000001"));
    title.clear();
    OnModal([&](QDialog* dialog) {
        title = dialog->windowTitle();
        dialog->reject();
    });
    emit sheet.DayList()->RowDoubleClicked(0);
    EXPECT_EQ(title, QStringLiteral("予約の編集"));

    // Cancel with notice: asked first, then the reason dialog marks it and the row goes.
    CMessageService::SetScript([](const CMessageService::Request&) { return CMessageService::IDYES; });
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

}  // namespace
}  // namespace velo::sheet
