// Tests of the day and week grid views on the offscreen platform over a database filled
// here: ranges formed by clicking and dragging (one cell, upwards, stopped by a bar,
// auto-scroll), which bars are drawn and in which colours (sampled from the painted
// image), the balloon, highlighting a list row, right clicks, and the week view's seven
// day blocks with its date change and row-bound dragging.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <vector>

#include "sheet/daysheetview.h"
#include "sheet/tests/sheetfixture.h"
#include "sheet/weeksheetview.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/date.h"
#include "suite/tool/tools.h"

namespace velo::sheet {
namespace {

constexpr uint32_t kTypeColour = 0x40A060;  // 0x00BBGGRR
constexpr uint32_t kBlockedColour = 0x3060C0;
constexpr uint32_t kClosedColour = 0xE0D0F0;
const char* const kMonday = "20261207";

class SheetViewsTest : public SheetAppTest {
protected:
    SheetViewsTest() : SheetAppTest("sheetviews_test", "sheetviewstest") {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(SheetAppTest::SetUp());
        ASSERT_NO_FATAL_FAILURE(OpenMondayToSaturday());
        ASSERT_TRUE(CGlobalSettings::SetInt(
            QStringLiteral("GLOBAL"), QStringLiteral("VeloColorDrConveni"), int(kBlockedColour)));
        ASSERT_TRUE(CGlobalSettings::SetInt(QStringLiteral("GLOBAL"),
                                            QStringLiteral("VeloColorOff"), int(kClosedColour)));
        AddCategory("0", "01", "定期検診", kTypeColour);
        AddCategory("1", "01", "ユニット1");
        AddCategory("1", "02", "ユニット2");
        AddDoctor("01", "医師A");
        AddDoctor("02", "医師B", true);
        AddPatient("0000000001", "山田", "ヤマダ", "C001");
        AddPatient("0000000002", "鈴木", "スズキ", "C002");
    }

    template <typename View>
    void Show(View* view, int width, int height) {
        view->resize(width, height);
        view->show();
        QApplication::processEvents();
    }

    static void Press(QWidget* view, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
        QMouseEvent event(QEvent::MouseButtonPress, pos, view->mapToGlobal(pos), button, button,
                          Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    }
    static void Drag(QWidget* view, QPoint pos) {
        QMouseEvent event(QEvent::MouseMove, pos, view->mapToGlobal(pos), Qt::NoButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    }
    static void Hover(QWidget* view, QPoint pos) {
        QMouseEvent event(QEvent::MouseMove, pos, view->mapToGlobal(pos), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    }
    static void Release(QWidget* view, QPoint pos) {
        QMouseEvent event(QEvent::MouseButtonRelease, pos, view->mapToGlobal(pos), Qt::LeftButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    }
    static QColor Pixel(const QImage& image, QPoint pos) { return image.pixelColor(pos); }
};

// A point inside a bar away from its text (which starts at the top left).
QPoint FillPoint(const QRect& rect) { return rect.bottomRight() - QPoint(4, 4); }

TEST_F(SheetViewsTest, DayRangesFromClicksAndDrags) {
    AddReservation({"0000000001", "0000000001", kMonday, "1030", "1100"});
    CDaySheetView view(&m_db);
    view.SetDate(kMonday);
    view.SetLayoutMode(0);
    Show(&view, 500, 700);
    QWidget* port = view.viewport();
    QSignalSpy chosen(&view, &CDaySheetView::rangeChosen);

    // One click on 9:45 chooses 9:45-10:00, never 9:45-9:60.
    Press(port, view.CellRect(945, 1).center());
    Release(port, view.CellRect(945, 1).center());
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen[0][0].toInt(), 1);
    EXPECT_EQ(chosen[0][1].toInt(), 945);
    EXPECT_EQ(chosen[0][2].toInt(), 1000);
    EXPECT_EQ(chosen[0][3].toString(), QString::fromLatin1(kMonday));
    EXPECT_TRUE(IsEmpty(view.Range()));  // cleared once the signal has been handled

    // Dragging upwards from 10:00 to 9:30 keeps the anchor's cell in the range.
    Press(port, view.CellRect(1000, 0).center());
    Drag(port, view.CellRect(930, 0).center());
    Release(port, view.CellRect(930, 0).center());
    ASSERT_EQ(chosen.count(), 2);
    EXPECT_EQ(chosen[1][1].toInt(), 930);
    EXPECT_EQ(chosen[1][2].toInt(), 1015);

    // A move that would cover the 10:30 reservation leaves the range as it was; a move in
    // another column grows the range in the anchor's column.
    Press(port, view.CellRect(1000, 0).center());
    Drag(port, view.CellRect(1015, 1).center());
    EXPECT_EQ(view.Range().end, 1030);
    EXPECT_EQ(view.Range().column, 0);
    Drag(port, view.CellRect(1045, 0).center());
    EXPECT_EQ(view.Range().start, 1000);
    EXPECT_EQ(view.Range().end, 1030);
    Release(port, view.CellRect(1045, 0).center());
    ASSERT_EQ(chosen.count(), 3);
    EXPECT_EQ(chosen[2][2].toInt(), 1030);

    // A press on the bar selects it instead of starting a range.
    QSignalSpy selected(&view, &CDaySheetView::barSelected);
    Press(port, view.BarRect("0000000001").center());
    Release(port, view.BarRect("0000000001").center());
    EXPECT_EQ(chosen.count(), 3);
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected[0][0].toString(), QStringLiteral("0000000001"));
    EXPECT_EQ(view.SelectedReservationNo(), "0000000001");
}

TEST_F(SheetViewsTest, DayDragBelowTheViewScrollsOneCell) {
    CDaySheetView view(&m_db);
    view.SetDate(kMonday);
    view.SetLayoutMode(0);
    Show(&view, 500, 240);
    QWidget* port = view.viewport();
    ASSERT_EQ(view.verticalScrollBar()->value(), 0);
    Press(port, view.CellRect(900, 0).center());
    Drag(port, QPoint(view.CellRect(900, 0).center().x(), port->height() + 10));
    EXPECT_EQ(view.verticalScrollBar()->value(), view.Config().cellPixels);
    // Back above the header row: one cell up again.
    Drag(port, QPoint(view.CellRect(900, 0).center().x(), 5));
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
    Release(port, QPoint(60, 5));
    // Wheel notches move by their distance in pixels and stop at the range.
    QWheelEvent wheel(QPointF(100, 100), view.mapToGlobal(QPointF(100, 100)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(port, &wheel);
    EXPECT_EQ(view.verticalScrollBar()->value(), 120);
}

TEST_F(SheetViewsTest, DayPaintsBarsInTheirColoursAndLeavesHiddenDoctorsOut) {
    AddReservation({"0000000001", "0000000001", kMonday, "0900", "0930"});
    AddReservation({"0000000002", "", kMonday, "1000", "1100", "01", "01"});
    AddReservation({"0000000003", "0000000002", kMonday, "1100", "1130", "01", "02"});
    AddReservation({"0000000004", "0000000002", kMonday, "1130", "1200", "01", "01", 1});
    CDaySheetView view(&m_db);
    view.SetDate(kMonday);
    view.SetLayoutMode(1);  // by doctor: only 医師A has a column
    Show(&view, 500, 800);
    ASSERT_EQ(view.Columns().size(), 1u);

    EXPECT_TRUE(view.BarRect("0000000003").isNull());
    bool listed = false;
    for (const DayListRow& row : view.Data().list) listed |= row.reservationNo == "0000000003";
    EXPECT_TRUE(listed);

    const QImage image = view.RenderImage();
    const QRect booked = view.BarRect("0000000001");
    const QRect blocked = view.BarRect("0000000002");
    const QRect came = view.BarRect("0000000004");
    ASSERT_FALSE(booked.isNull());
    ASSERT_FALSE(blocked.isNull());
    ASSERT_FALSE(came.isNull());
    EXPECT_EQ(blocked.height(), 4 * view.Config().cellPixels);
    EXPECT_EQ(Pixel(image, FillPoint(booked)), CTools::ColorFromRef(kTypeColour));
    EXPECT_EQ(Pixel(image, FillPoint(blocked)), CTools::ColorFromRef(kBlockedColour));
    EXPECT_EQ(Pixel(image, FillPoint(came)), view.palette().color(QPalette::Button));
    // The hidden doctor's 11:00 slot is painted as a plain open cell, the break as closed.
    EXPECT_EQ(Pixel(image, view.CellRect(1100, 0).center()), view.palette().color(QPalette::Base));
    EXPECT_EQ(Pixel(image, view.CellRect(1315, 0).center()), CTools::ColorFromRef(kClosedColour));
    // A selected bar gets a black frame.
    ASSERT_TRUE(view.HighlightReservation("0000000001"));
    const QImage selected = view.RenderImage();
    EXPECT_EQ(Pixel(selected, booked.topLeft() + QPoint(1, 1)), QColor(Qt::black));
}

TEST_F(SheetViewsTest, DayBalloonFollowsTheBarUnderThePointer) {
    AddReservation({"0000000001", "0000000001", kMonday, "0900", "0930"});
    AddReservation({"0000000002", "0000000002", kMonday, "0900", "0930", "02"});
    CDaySheetView view(&m_db);
    view.SetDate(kMonday);
    view.SetLayoutMode(0);
    Show(&view, 500, 600);
    QWidget* port = view.viewport();
    Hover(port, view.BarRect("0000000001").center());
    EXPECT_TRUE(view.BalloonText().contains(QString::fromUtf8("山田")));
    Hover(port, view.BarRect("0000000002").center());
    EXPECT_TRUE(view.BalloonText().contains(QString::fromUtf8("鈴木")));
    EXPECT_FALSE(view.BalloonText().contains(QString::fromUtf8("山田")));
    Hover(port, view.CellRect(1200, 0).center());
    EXPECT_TRUE(view.BalloonText().isEmpty());
}

TEST_F(SheetViewsTest, DayHighlightScrollsTheBarIntoViewAndRightClicksSelect) {
    AddReservation({"0000000001", "0000000001", kMonday, "1700", "1730"});
    CDaySheetView view(&m_db);
    view.SetDate(kMonday);
    view.SetLayoutMode(0);
    Show(&view, 500, 200);
    EXPECT_FALSE(view.HighlightReservation("9999999999"));
    EXPECT_TRUE(view.SelectedReservationNo().empty());
    ASSERT_TRUE(view.HighlightReservation("0000000001"));
    EXPECT_EQ(view.BarRect("0000000001").top(), kHeaderHeight);
    EXPECT_EQ(view.SelectedReservationNo(), "0000000001");

    QSignalSpy menu(&view, &CDaySheetView::contextMenuRequested);
    view.ClearSelection();
    Press(view.viewport(), view.BarRect("0000000001").center(), Qt::RightButton);
    EXPECT_EQ(menu.count(), 1);
    ASSERT_NE(view.SelectedBar(), nullptr);
    EXPECT_EQ(view.SelectedBar()->reservationNo, "0000000001");
    Press(view.viewport(), QPoint(10, 10), Qt::RightButton);
    EXPECT_EQ(menu.count(), 1);
    EXPECT_TRUE(view.SelectedReservationNo().empty());

    // Reloading without keeping the scroll position goes back to the top.
    view.Reload(false);
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
}

TEST(SheetMenuTest, BarStateGreysTheReservationMenu) {
    ReservationBar booked;
    booked.patientId = "0000000001";
    EXPECT_EQ(GreyedMenuCommands(booked), std::vector<int>{kCmdReservationBilling});
    ReservationBar came = booked;
    came.status = 1;
    EXPECT_EQ(GreyedMenuCommands(came),
              (std::vector<int>{kCmdReservationEdit, kCmdReservationDelete, kCmdReservationCancel,
                                kCmdReservationChange}));
    // A booked blocked-time entry keeps only edit and delete.
    ReservationBar blocked;
    EXPECT_EQ(GreyedMenuCommands(blocked),
              (std::vector<int>{kCmdReservationCancel, kCmdReservationChange,
                                kCmdReservationBilling, kCmdReservationPatient}));
}

TEST_F(SheetViewsTest, WeekShowsSevenDayBlocksAndDragsWithinOneRow) {
    AddReservation({"0000000001", "0000000001", "20261208", "1000", "1030", "02"});
    AddReservation({"0000000002", "0000000002", "20261209", "0900", "0930"});
    AddReservation({"0000000003", "", "20261212", "1100", "1200"});
    CWeekSheetView view(&m_db);
    view.SetDates("20261209");  // a Wednesday; the week starts on Sunday the 6th
    view.SetLayoutMode(0);
    Show(&view, 900, 700);
    ASSERT_EQ(view.WeekStart(), "20261206");
    const int rows = int(view.Columns().size());
    ASSERT_EQ(rows, 2);
    for (int d = 0; d < kWeekDays; ++d) {
        EXPECT_EQ(view.Week()[size_t(d)].date, CDate::AddDays("20261206", d));
    }
    // Tuesday's unit-2 reservation lies in the third block's second row.
    const QRect tuesday = view.BarRect("0000000001");
    EXPECT_EQ(tuesday.top(), kHeaderHeight + 2 * rows * kWeekRowHeight + kWeekRowHeight);
    EXPECT_EQ(tuesday.width(), 2 * view.Config().cellPixels);
    // The day list is the shown date's.
    ASSERT_EQ(view.Data().list.size(), 1u);
    EXPECT_EQ(view.Data().list[0].reservationNo, "0000000002");

    const QImage image = view.RenderImage();
    EXPECT_EQ(Pixel(image, FillPoint(view.BarRect("0000000003"))),
              CTools::ColorFromRef(kBlockedColour));
    // Sunday has no office hours: every cell is closed.
    EXPECT_EQ(Pixel(image, view.CellRect(0, 0, 1000).center()),
              CTools::ColorFromRef(kClosedColour));

    // A press in Thursday's block makes Thursday the shown date and anchors a range there.
    QSignalSpy dateChanged(&view, &CWeekSheetView::dateChanged);
    QSignalSpy chosen(&view, &CWeekSheetView::rangeChosen);
    QWidget* port = view.viewport();
    Press(port, view.CellRect(4, 0, 1000).center());
    ASSERT_EQ(dateChanged.count(), 1);
    EXPECT_EQ(dateChanged[0][0].toString(), QStringLiteral("20261210"));
    EXPECT_EQ(view.Date(), "20261210");
    Drag(port, view.CellRect(4, 1, 1100).center());  // another row: no change
    EXPECT_EQ(view.Range().end, 1015);
    Drag(port, view.CellRect(3, 0, 1100).center());  // another day: no change
    EXPECT_EQ(view.Range().end, 1015);
    Drag(port, view.CellRect(4, 0, 1030).center());
    EXPECT_EQ(view.Range().end, 1045);
    EXPECT_EQ(view.BalloonText(), QString::fromUtf8("10:00-10:45 (45分)"));
    Release(port, view.CellRect(4, 0, 1030).center());
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen[0][0].toInt(), 0);
    EXPECT_EQ(chosen[0][1].toInt(), 1000);
    EXPECT_EQ(chosen[0][2].toInt(), 1045);
    EXPECT_EQ(chosen[0][3].toString(), QStringLiteral("20261210"));

    // Monday first.
    EXPECT_EQ(WeekStartOf("20261206", 1), "20261130");
    EXPECT_EQ(WeekStartOf("20261207", 1), "20261207");
    EXPECT_EQ(WeekStartOf("bad", 0), "");
}

}  // namespace
}  // namespace velo::sheet
