// Tests of the reservation reference: the grid's cell count against the day view's, the
// fractional layout and hit test, bands chosen under the overlap rule, the days loaded into
// rows, and the dialog's hand-back after a band, a tab and the week buttons, and its refusal
// while the reservation file cannot be read.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <cmath>

#include "sheet/referencedata.h"
#include "sheet/referencedlg.h"
#include "sheet/referenceview.h"
#include "sheet/tests/sheetfixture.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/tools.h"

namespace velo::sheet {
namespace {

TimeGridConfig Day(int start, int end, int timeSpan = 15) {
    TimeGridConfig config;
    config.start = start;
    config.end = end;
    config.timeSpan = timeSpan;
    return config;
}

TEST(ReferenceGridTest, OneCellMoreThanTheDayViewEndingAtTheDaysEnd) {
    for (const TimeGridConfig& c : {Day(900, 1900), Day(930, 1845), Day(900, 1910), Day(800, 2000, 30),
                                    Day(900, 1900, 10), Day(845, 1215, 20)}) {
        const int dayView = CellCount(c);
        ASSERT_GT(dayView, 0) << c.start << "-" << c.end;
        EXPECT_EQ(ReferenceCellCount(c), dayView + 1) << c.start << "-" << c.end;
        EXPECT_EQ(ReferenceCellTime(c, dayView), c.end);
        EXPECT_EQ(ReferenceCellTime(c, dayView - 1), CellTime(c, dayView - 1));
        EXPECT_EQ(ReferenceCellTime(c, dayView + 1), -1);
    }
    EXPECT_EQ(ReferenceCellCount(Day(1900, 900)), 0);
}

TEST(ReferenceGridTest, TheDaySharesTheWidthAndWholeBlocksFillTheHeight) {
    const ReferenceLayout layout = MakeReferenceLayout(Day(900, 1900), 3, 720, 31 + 60 * 4 + 59);
    EXPECT_EQ(layout.cells, 41);
    EXPECT_DOUBLE_EQ(layout.cellWidth, 620.0 / 41);
    EXPECT_NEAR(layout.CellLeft(layout.cells), 720.0, 1e-9);
    EXPECT_EQ(layout.blockHeight, 60);
    EXPECT_EQ(layout.days, 4);
    // A block taller than the view still shows one day; a huge view stops at 100 days.
    EXPECT_EQ(MakeReferenceLayout(Day(900, 1900), 30, 720, 200).days, 1);
    EXPECT_EQ(MakeReferenceLayout(Day(900, 1900), 1, 720, 5000).days, kReferenceMaxDays);
}

TEST(ReferenceGridTest, HitTestFindsDayRowAndCellAndSkipsTheMargins) {
    const ReferenceLayout layout = MakeReferenceLayout(Day(900, 1900), 2, 510, 31 + 40 * 3);
    ASSERT_DOUBLE_EQ(layout.cellWidth, 10.0);
    EXPECT_FALSE(ReferenceHitTest(layout, 300, 29, 0).Valid());  // header
    EXPECT_FALSE(ReferenceHitTest(layout, 99, 80, 0).Valid());   // label column
    EXPECT_FALSE(ReferenceHitTest(layout, 300, 30 + 40 * 3, 0).Valid());  // below the blocks

    const ReferenceHit hit = ReferenceHitTest(layout, 100 + 45, 30 + 40 + 25, 0);
    EXPECT_EQ(hit.day, 1);
    EXPECT_EQ(hit.row, 1);
    EXPECT_EQ(hit.cell, 4);
    EXPECT_EQ(hit.time, 1000);
    // Scrolled down by 40 pixels the same point lies one block further.
    EXPECT_EQ(ReferenceHitTest(layout, 145, 95, 40).day, 2);
    // The closing cell is hit but starts no band.
    const ReferenceHit closing = ReferenceHitTest(layout, 509, 40, 0);
    EXPECT_EQ(closing.cell, 40);
    EXPECT_EQ(closing.time, -1);
}

TEST(ReferenceGridTest, BandsStayInTheirRowAndDayAndNeverOverlapABar) {
    const ReferenceLayout layout = MakeReferenceLayout(Day(900, 1900), 2, 510, 31 + 40 * 3);
    ReferenceDay day;
    day.bars.push_back({"1", 1000, 1030, 1, false, 0, QString()});
    day.bars.push_back({"2", 1100, 1130, 0, false, 0, QString()});
    const auto hitAt = [&](int time, int row, int d) {
        return ReferenceHit{d, row, CellIndexOf(layout.config, time), time};
    };

    EXPECT_FALSE(PressReferenceBand(layout, day, hitAt(1015, 1, 0)).IsChosen());  // on a bar
    EXPECT_FALSE(PressReferenceBand(layout, day, ReferenceHit{0, 1, 40, -1}).IsChosen());

    ReferenceBand band = PressReferenceBand(layout, day, hitAt(945, 1, 0));
    ASSERT_TRUE(band.IsChosen());
    EXPECT_EQ(band.selection.start, 945);
    EXPECT_EQ(band.selection.end, 1000);  // the minute carries into the hour
    EXPECT_EQ(band.selection.column, 1);

    // Growing over the row's bar is refused; the other row's bar does not matter.
    EXPECT_EQ(DragReferenceBand(layout, band, day, hitAt(1015, 1, 0)).selection, band.selection);
    const ReferenceBand back = DragReferenceBand(layout, band, day, hitAt(900, 1, 0));
    EXPECT_EQ(back.selection.start, 900);
    EXPECT_EQ(back.selection.end, 1000);
    EXPECT_EQ(DragReferenceBand(layout, back, day, hitAt(930, 0, 0)).selection, back.selection);
    EXPECT_EQ(DragReferenceBand(layout, back, day, hitAt(930, 1, 1)).selection, back.selection);

    const ReferenceBand row0 = PressReferenceBand(layout, day, hitAt(1000, 0, 0));
    EXPECT_EQ(DragReferenceBand(layout, row0, day, hitAt(1045, 0, 0)).selection.end, 1100);
    EXPECT_EQ(DragReferenceBand(layout, row0, day, hitAt(1100, 0, 0)).selection.end, 1015);
}

struct Res {
    const char* no;
    const char* patient;
    const char* date;
    const char* start;
    const char* end;
    const char* unit;
    uint8_t status = 0;
};

class ReferenceDbTest : public SheetAppTest {
protected:
    ReferenceDbTest() : SheetAppTest("reference_test", "referencetest") {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(SheetAppTest::SetUp());
        ASSERT_NO_FATAL_FAILURE(OpenMondayToSaturday());
        AddCategory("0", "", "", 0x123456);
        AddCategory("1", "01", "ユニット01");
        AddCategory("1", "02", "ユニット02");
        AddCategory("1", "03", "ユニット03");
        AddPatient("0000000001", "山田", "", "C001");
        AddReservation({"0000000001", "0000000001", "20261208", "1000", "1030", "02"});
        AddReservation({"0000000002", "", "20261208", "0900", "0930", "01"});
        AddReservation({"0000000003", "0000000001", "20261208", "1100", "1200", "02", 2});
        AddReservation({"0000000004", "0000000001", "20261208", "1500", "1530", "03", 1});
        AddReservation({"0000000005", "0000000001", "20261209", "0900", "1000", "01"});
        AddReservation({"0000000006", "0000000001", "20261208", "1600", "1630", "09"});
    }

    // Doctor "01" and no reservation type.
    void AddReservation(const Res& res) {
        SheetAppTest::AddReservation(
            {res.no, res.patient, res.date, res.start, res.end, res.unit, "01", res.status, ""});
    }
};

TEST_F(ReferenceDbTest, DaysLoadIntoTheRowsOfTheirColumns) {
    ReferenceRequest request;
    request.columns = LoadColumnEntities(&m_db, 0);
    ASSERT_EQ(request.columns.size(), 3u);
    ASSERT_TRUE(CGlobalSettings::SetClinicDayOff(2026, 12, 9, true));
    std::vector<ReferenceDay> days;
    ASSERT_EQ(LoadReferenceDays(&m_db, request, QDate(2026, 12, 8), 3, &days), 0);
    ASSERT_EQ(days.size(), 3u);
    EXPECT_EQ(days[2].date, "20261210");
    EXPECT_FALSE(days[0].dayOff);
    EXPECT_TRUE(days[1].dayOff);

    // The cancelled one and the one of an unknown unit are left out.
    ASSERT_EQ(days[0].bars.size(), 3u);
    EXPECT_EQ(days[0].bars[0].text, QStringLiteral("予約不可設定"));
    EXPECT_EQ(days[0].bars[0].row, 0);
    EXPECT_EQ(days[0].bars[1].text, QStringLiteral("[C001] 山田"));
    EXPECT_EQ(days[0].bars[1].row, 1);
    EXPECT_FALSE(days[0].bars[1].came);
    EXPECT_EQ(days[0].bars[2].row, 2);
    EXPECT_TRUE(days[0].bars[2].came);
    EXPECT_EQ(days[1].bars.size(), 1u);

    // One column's tab holds only its reservations, in row 0; the edited one is not shown.
    request.tabColumn = 1;
    request.editingNo = "0000000004";
    ASSERT_EQ(LoadReferenceDays(&m_db, request, QDate(2026, 12, 8), 1, &days), 0);
    ASSERT_EQ(days[0].bars.size(), 1u);
    EXPECT_EQ(days[0].bars[0].reservationNo, "0000000001");
    EXPECT_EQ(days[0].bars[0].row, 0);
    request.tabColumn = 2;
    ASSERT_EQ(LoadReferenceDays(&m_db, request, QDate(2026, 12, 8), 1, &days), 0);
    EXPECT_TRUE(days[0].bars.empty());
}

class ReferenceDlgTest : public ReferenceDbTest {
protected:
    ReferenceDlgInputs Inputs() const {
        ReferenceDlgInputs inputs;
        inputs.columnKey = "01";
        inputs.date = QDate(2026, 12, 8);
        inputs.start = 1400;
        inputs.end = 1430;
        inputs.patientName = QStringLiteral("山田");
        return inputs;
    }

    // Presses the view at a row's cell of a day block.
    static void PressCell(CReferenceView* view, int day, int row, int time) {
        const ReferenceLayout& layout = view->Layout();
        const int cell = CellIndexOf(layout.config, time);
        const QPoint point(int(std::lround(layout.CellLeft(cell) + layout.cellWidth / 2)),
                           layout.RowTop(day, row, view->ScrollPos()) + 10);
        QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, point);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, point);
    }

    static void Click(CReferenceDlg& dlg, int id) {
        auto* button = dlg.findChild<QAbstractButton*>(QString::number(id));
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }
};

TEST_F(ReferenceDlgTest, ApplyingOnAllColumnsKeepsTheColumnAndATabHandsItsCode) {
    CReferenceDlg dlg(&m_db, Inputs());
    dlg.resize(1100, 700);
    dlg.show();
    ASSERT_EQ(dlg.Tabs().size(), 4u);
    EXPECT_EQ(dlg.Tabs()[0].label, QStringLiteral("すべて"));
    EXPECT_EQ(dlg.Tabs()[2].label, QStringLiteral("<2> ユニット02"));
    CReferenceView* view = dlg.View();
    ASSERT_GE(view->Layout().days, 2);
    EXPECT_EQ(view->Layout().rowsPerBlock, 3);

    QSignalSpy applied(&dlg, &CReferenceDlg::ChoiceApplied);
    PressCell(view, 1, 2, 1015);  // the next day, third unit
    Click(dlg, CReferenceDlg::kIdApply);
    ASSERT_EQ(applied.count(), 1);
    ASSERT_TRUE(dlg.Applied().has_value());
    EXPECT_EQ(dlg.Applied()->date, QDate(2026, 12, 9));
    EXPECT_EQ(dlg.Applied()->start, 1015);
    EXPECT_EQ(dlg.Applied()->end, 1030);
    EXPECT_TRUE(dlg.Applied()->columnKey.empty());
    EXPECT_TRUE(dlg.isVisible());
    auto* dayText = dlg.findChild<QLabel*>(QString::number(CReferenceDlg::kIdDayText));
    ASSERT_NE(dayText, nullptr);
    EXPECT_EQ(dayText->text(), QStringLiteral("2026/12/09"));
    EXPECT_EQ(ReferenceHandBackBandText(*dlg.Applied(), true), QStringLiteral("10:15 - 10:30 (15分間)"));

    // A press on a bar chooses nothing: the last choice stays.
    dlg.findChild<QTabBar*>(QString::number(CReferenceDlg::kIdTabs))->setCurrentIndex(2);
    EXPECT_EQ(view->Layout().rowsPerBlock, 1);
    PressCell(view, 0, 0, 1000);
    EXPECT_FALSE(view->Band().IsChosen());
    PressCell(view, 0, 0, 1030);
    Click(dlg, CReferenceDlg::kIdOk);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(applied.count(), 2);
    EXPECT_EQ(dlg.Applied()->columnKey, "02");
    EXPECT_EQ(dlg.Applied()->date, QDate(2026, 12, 8));
    EXPECT_EQ(dlg.Applied()->start, 1030);
}

TEST_F(ReferenceDlgTest, WeekButtonsMoveTheDateIntoOtherMonthsAndApplyIt) {
    CReferenceDlg dlg(&m_db, Inputs());
    dlg.resize(1100, 700);
    dlg.show();
    QSignalSpy applied(&dlg, &CReferenceDlg::ChoiceApplied);
    const struct {
        int button;
        QDate expected;
    } kSteps[] = {{CReferenceDlg::kIdFourWeeks, QDate(2027, 1, 5)},
                  {CReferenceDlg::kIdSixWeeks, QDate(2027, 2, 16)},
                  {CReferenceDlg::kIdEightWeeks, QDate(2027, 4, 13)}};
    for (const auto& step : kSteps) {
        Click(dlg, step.button);
        EXPECT_EQ(dlg.View()->FirstDate(), step.expected);
        Click(dlg, CReferenceDlg::kIdApply);
        ASSERT_TRUE(dlg.Applied().has_value());
        EXPECT_EQ(dlg.Applied()->date, step.expected);
        EXPECT_EQ(dlg.Applied()->start, 1400);  // the band is not touched by a move
    }
    EXPECT_EQ(applied.count(), 3);

    // "閉じる" hands nothing back.
    Click(dlg, CReferenceDlg::kIdClose);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(applied.count(), 3);

    // A reservation file that cannot be read is named, once, with a notice over the grid,
    // and no time can be handed back from it until "更新" reads the file again.
    m_testDb.TruncateTableFile("RESERVATION.BTR");
    CMessageService::SetScript(
        [](const CMessageService::Request&) { return CMessageService::IDOK; });
    CMessageService::ClearHistory();
    CReferenceDlg damaged(&m_db, Inputs());
    damaged.resize(1100, 700);
    damaged.show();
    auto* notice = damaged.findChild<QLabel*>(QStringLiteral("ReadFailureNotice"));
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(notice->text().contains(QStringLiteral("RESERVATION.BTR")));
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_TRUE(CMessageService::History()[0].text.contains(QStringLiteral("RESERVATION.BTR")));
    EXPECT_TRUE(CMessageService::History()[0].text.contains(QStringLiteral("velodb check")));
    QSignalSpy refused(&damaged, &CReferenceDlg::ChoiceApplied);
    PressCell(damaged.View(), 0, 0, 1400);
    Click(damaged, CReferenceDlg::kIdOk);
    EXPECT_EQ(refused.count(), 0);
    EXPECT_TRUE(damaged.isVisible());
    ASSERT_EQ(CMessageService::History().size(), 2);

    m_testDb.RestoreTableFile("RESERVATION.BTR");
    Click(damaged, CReferenceDlg::kIdRefresh);
    EXPECT_FALSE(notice->isVisible());
    EXPECT_EQ(CMessageService::History().size(), 2);
    PressCell(damaged.View(), 0, 0, 1400);
    Click(damaged, CReferenceDlg::kIdApply);
    EXPECT_EQ(refused.count(), 1);
    CMessageService::SetScript({});
}

}  // namespace
}  // namespace velo::sheet
