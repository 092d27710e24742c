// Tests of the time grid arithmetic: cell walk and counts, pixel geometry and hit tests
// of both views, scrolling, dragged ranges, time labels and range texts, and the sanity
// rules for unusable settings.
#include "sheet/timegrid.h"

#include <gtest/gtest.h>

#include <vector>

namespace velo::sheet {
namespace {

TimeGridConfig Day(int start, int end, int timeSpan = 15) {
    TimeGridConfig config;
    config.start = start;
    config.end = end;
    config.timeSpan = timeSpan;
    return config;
}

std::vector<int> WalkTimes(const TimeGridConfig& config) {
    std::vector<int> times;
    for (int k = 0; k < CellCount(config); ++k) times.push_back(CellTime(config, k));
    return times;
}

TEST(TimeGridCells, FullHoursAndPartialLastCell) {
    EXPECT_EQ(CellCount(Day(900, 1900)), 40);
    EXPECT_EQ(DayScrollRanges(Day(900, 1900), 3, 500, 400).vertical.max, 1240);

    const TimeGridConfig partial = Day(900, 1910);
    EXPECT_EQ(CellCount(partial), 41);
    EXPECT_EQ(CellTime(partial, 40), 1900);
    EXPECT_EQ(CellTime(partial, 41), -1);

    EXPECT_EQ(CellCount(Day(830, 1200, 20)), 11);  // 3h30: 9 whole cells + 2 of 20 minutes
    EXPECT_EQ(CellCount(Day(900, 1900, 60)), 10);
}

TEST(TimeGridCells, WalkMatchesStepping) {
    // Cells positioned by arithmetic must be the cells the step rule walks through,
    // also when the day starts off the cell boundary.
    for (int span : {5, 10, 15, 20, 30, 60}) {
        for (int start : {900, 830, 810, 845}) {
            const TimeGridConfig config = Day(start, 1905, span);
            std::vector<int> stepped;
            for (int t = start; t < 1905; t = NextCellTime(t, span)) stepped.push_back(t);
            EXPECT_EQ(WalkTimes(config), stepped) << "span " << span << " start " << start;
        }
    }
}

TEST(TimeGridCells, TimeSpanAndOneCellEnd) {
    EXPECT_EQ(GetTimeSpan(1015, 930), 45);
    EXPECT_EQ(GetTimeSpan(1910, 900), 1010);
    EXPECT_EQ(GetTimeSpan(1200, 1145), 15);
    EXPECT_EQ(GetTimeSpan(900, 1000), 0);  // to before from: no negative or borrowed value

    EXPECT_EQ(OneCellEnd(945, 15), 1000);
    EXPECT_EQ(OneCellEnd(930, 30), 1000);
    EXPECT_EQ(OneCellEnd(900, 60), 1000);
    EXPECT_EQ(OneCellEnd(2345, 15), 2400);
    // A cell that starts off the boundary (day opening at 8:50 with 20-minute cells)
    // still ends on a valid clock time.
    EXPECT_EQ(OneCellEnd(850, 20), 910);
}

TEST(TimeGridSanity, UnusableTimeSpanReadsAsFifteen) {
    for (int bad : {0, 7, -5, 45, 61}) {
        EXPECT_EQ(NormalizeTimeSpan(bad), 15) << bad;
        EXPECT_EQ(CellCount(Day(900, 1900, bad)), 40) << bad;
        EXPECT_EQ(OneCellEnd(945, bad), 1000) << bad;
    }
    for (int good : {1, 5, 10, 20, 30, 60}) EXPECT_EQ(NormalizeTimeSpan(good), good);
}

TEST(TimeGridSanity, EndAtOrBeforeStartIsAnEmptyDay) {
    for (const TimeGridConfig& config : {Day(1900, 900), Day(900, 900), Day(-300, -100)}) {
        EXPECT_EQ(CellCount(config), 0);
        EXPECT_EQ(CellTime(config, 0), -1);
        EXPECT_EQ(DayHitTest(config, 3, 100, 50, 0, 0, 800, 600).time, -1);
        EXPECT_EQ(WeekHitTest(config, 3, 200, 50, 0, 0, 800, 600).time, -1);
        EXPECT_TRUE(DayTimeLabels(config).empty());
    }
    TimeGridConfig zeroPixels = Day(900, 1900);
    zeroPixels.cellPixels = 0;
    zeroPixels.dayColumnWidth = -4;
    const DayHit hit = DayHitTest(zeroPixels, 2, 45, 35, 0, 0, 800, 600);
    EXPECT_EQ(hit.time, 900);
    EXPECT_EQ(hit.column, 0);
}

TEST(TimeGridDayView, RectanglesFollowScrolling) {
    const TimeGridConfig config = Day(900, 1900);
    EXPECT_EQ(DayCellRect(config, 0, 0, 0, 0), (GridRect{40, 30, 190, 60}));
    EXPECT_EQ(DayCellRect(config, 3, 2, 20, 100), (GridRect{240, 100, 390, 130}));
    EXPECT_EQ(DayColumnRect(config, 1, 0, 0), (GridRect{190, 30, 340, 30 + 40 * 30}));
}

TEST(TimeGridDayView, HitTest) {
    const TimeGridConfig config = Day(900, 1900);
    DayHit hit = DayHitTest(config, 3, 45, 30 + 3 * 30 + 1, 0, 0, 800, 600);
    EXPECT_EQ(hit.time, 945);
    EXPECT_EQ(hit.column, 0);

    hit = DayHitTest(config, 3, 40 + 150 * 2 + 5, 35, 60, 0, 800, 600);  // scrolled 2 cells
    EXPECT_EQ(hit.time, 930);
    EXPECT_EQ(hit.column, 2);

    EXPECT_EQ(DayHitTest(config, 3, 40 + 150 * 3 + 5, 35, 0, 0, 800, 600).time, -1);  // no column
    EXPECT_EQ(DayHitTest(config, 3, 20, 100, 0, 0, 800, 600).time, -1);               // time column
    // A cell scrolled under the header is not hit there, even though its rectangle lies
    // under the point.
    EXPECT_EQ(DayHitTest(config, 3, 100, 10, 60, 0, 800, 600).time, -1);
    EXPECT_EQ(DayHitTest(config, 3, 100, 650, 0, 0, 800, 600).time, -1);  // below the client
    EXPECT_EQ(DayHitTest(config, 3, 100, 30 + 40 * 30 + 2, 0, 0, 800, 2000).time, -1);
}

TEST(TimeGridWeekView, RectanglesAndHitTest) {
    const TimeGridConfig config = Day(900, 1900);
    const int entities = 4;  // blocks of 100 pixels
    EXPECT_EQ(WeekBlockRect(config, entities, 2, 0, 0).top, 30 + 200);
    EXPECT_EQ(WeekRowRect(config, entities, 1, 3, 10, 0), (GridRect{120, 195, 1320, 220}));
    EXPECT_EQ(WeekCellRect(config, entities, 0, 0, 2, 0, 30), (GridRect{150, 30, 180, 55}));

    WeekHit hit =
        WeekHitTest(config, entities, 120 + 3 * 30 + 1, 30 + 100 * 2 + 25 + 1, 0, 0, 2000, 1000);
    EXPECT_EQ(hit.time, 945);
    EXPECT_EQ(hit.row, 1);
    EXPECT_EQ(hit.dayOffset, 2);

    hit = WeekHitTest(config, entities, 121, 31, 100, 60, 2000, 1000);  // scrolled both ways
    EXPECT_EQ(hit.time, 930);
    EXPECT_EQ(hit.row, 0);
    EXPECT_EQ(hit.dayOffset, 1);

    EXPECT_EQ(WeekHitTest(config, entities, 100, 60, 0, 0, 2000, 1000).time, -1);    // labels
    EXPECT_EQ(WeekHitTest(config, entities, 300, 20, 100, 0, 2000, 1000).time, -1);  // header
    EXPECT_EQ(WeekHitTest(config, entities, 300, 30 + 700 + 1, 0, 0, 2000, 1000).time, -1);
    EXPECT_EQ(WeekHitTest(config, 0, 300, 60, 0, 0, 2000, 1000).time, -1);  // no rows at all
}

TEST(TimeGridScrolling, RangesCommandsAndAutoScroll) {
    const TimeGridConfig config = Day(900, 1900);
    const ScrollRanges day = DayScrollRanges(config, 4, 500, 400);
    EXPECT_EQ(day.horizontal.max, 4 * 150 + 80);
    EXPECT_EQ(day.vertical.page, 400);
    const ScrollRanges week = WeekScrollRanges(config, 3, 500, 400);
    EXPECT_EQ(week.horizontal.max, 40 * 30 + 130);
    EXPECT_EQ(week.vertical.max, 3 * 175 + 30);

    const ScrollRange v = day.vertical;  // 0..1240, page 400: highest position 841
    EXPECT_EQ(ApplyScrollCommand(100, ScrollCommand::LineDown, 0, v), 110);
    EXPECT_EQ(ApplyScrollCommand(100, ScrollCommand::PageUp, 0, v), 40);
    EXPECT_EQ(ApplyScrollCommand(5, ScrollCommand::LineUp, 0, v), 0);
    EXPECT_EQ(ApplyScrollCommand(100, ScrollCommand::ThumbTrack, 500, v), 500);
    EXPECT_EQ(ApplyScrollCommand(100, ScrollCommand::ThumbPosition, 5000, v), 841);
    EXPECT_EQ(ApplyScrollCommand(100, ScrollCommand::Bottom, 0, v), 841);
    EXPECT_EQ(ApplyScrollCommand(100, ScrollCommand::Top, 0, v), 0);
    EXPECT_EQ(ApplyScrollCommand(100, ScrollCommand::EndScroll, 0, v), 100);
    EXPECT_EQ(ApplyScrollCommand(0, ScrollCommand::PageDown, 0, ScrollRange{0, 100, 0}), 60);

    EXPECT_EQ(DayAutoScroll(config, 450, 400, 100, v), 130);  // below the client area
    EXPECT_EQ(DayAutoScroll(config, 20, 400, 100, v), 70);    // over the header
    EXPECT_EQ(DayAutoScroll(config, 20, 400, 10, v), 0);      // clamped
    EXPECT_EQ(DayAutoScroll(config, 200, 400, 100, v), 100);
    const ScrollRange h = week.horizontal;
    EXPECT_EQ(WeekAutoScroll(config, 600, 500, 0, h), 30);
    EXPECT_EQ(WeekAutoScroll(config, 50, 500, 45, h), 15);
    EXPECT_EQ(WeekAutoScroll(config, 300, 500, 45, h), 45);
}

TEST(TimeGridDrag, DayRangeForming) {
    const TimeGridConfig config = Day(900, 1900);
    const Selection click = BeginSelection(config, 945, 1);
    EXPECT_EQ(click, (Selection{945, 945, 1000, 1}));
    EXPECT_TRUE(IsComplete(click));
    EXPECT_TRUE(IsEmpty(BeginSelection(config, -1, 1)));
    EXPECT_FALSE(IsComplete(Selection{}));

    // Downwards, then upwards past the anchor: the anchor's cell stays inside.
    const std::vector<TimeBand> none;
    Selection s = BeginSelection(config, 1000, 0);
    s = StepDaySelection(config, s, 1030, none);
    EXPECT_EQ(s, (Selection{1000, 1000, 1045, 0}));
    s = StepDaySelection(config, s, 930, none);
    EXPECT_EQ(s, (Selection{1000, 930, 1015, 0}));
    EXPECT_EQ(StepDaySelection(config, s, -1, none), s);  // pointer off the grid
    EXPECT_EQ(StepDaySelection(config, Selection{}, 930, none), Selection{});

    // A move that would run into a reservation keeps the previous range; touching is fine.
    const std::vector<TimeBand> booked{{1100, 1130}};
    s = BeginSelection(config, 1000, 0);
    s = StepDaySelection(config, s, 1045, booked);
    EXPECT_EQ(s, (Selection{1000, 1000, 1100, 0}));
    EXPECT_EQ(StepDaySelection(config, s, 1100, booked), s);
    EXPECT_EQ(StepDaySelection(config, s, 1200, booked), s);
    const std::vector<TimeBand> earlier{{900, 930}};
    s = BeginSelection(config, 1000, 0);
    EXPECT_EQ(StepDaySelection(config, s, 930, earlier), (Selection{1000, 930, 1015, 0}));
    EXPECT_EQ(StepDaySelection(config, s, 915, earlier), s);
}

TEST(TimeGridDrag, WeekRangeStaysInItsRowAndDay) {
    const TimeGridConfig config = Day(900, 1900);
    const std::vector<TimeBand> none;
    const Selection s = BeginSelection(config, 1000, 2);
    EXPECT_EQ(StepWeekSelection(config, s, 3, WeekHit{1030, 2, 3}, none),
              (Selection{1000, 1000, 1045, 2}));
    EXPECT_EQ(StepWeekSelection(config, s, 3, WeekHit{1030, 1, 3}, none), s);
    EXPECT_EQ(StepWeekSelection(config, s, 3, WeekHit{1030, 2, 4}, none), s);
    const std::vector<TimeBand> booked{{1015, 1045}};
    EXPECT_EQ(StepWeekSelection(config, s, 3, WeekHit{1030, 2, 3}, booked), s);
}

std::vector<std::string> LabelTexts(const TimeGridConfig& config, int upToTime) {
    std::vector<std::string> texts;
    for (const TimeLabel& label : DayTimeLabels(config)) {
        if (label.time <= upToTime) texts.push_back(label.text);
    }
    return texts;
}

TEST(TimeGridLabels, OnTheHourStart) {
    const std::vector<TimeLabel> labels = DayTimeLabels(Day(900, 1900));
    ASSERT_GE(labels.size(), 3u);
    EXPECT_EQ(labels[0].text, " 9:00 ");
    EXPECT_EQ(labels[1].text, "     30 ");
    EXPECT_EQ(labels[1].cellIndex, 2);
    EXPECT_EQ(labels[2].text, "10:00 ");
    EXPECT_EQ(labels[2].cellIndex, 4);
    // The end is labelled at the bottom edge of the last cell.
    EXPECT_EQ(labels.back().time, 1900);
    EXPECT_EQ(labels.back().cellIndex, 40);
    EXPECT_EQ(labels.size(), 21u);
}

TEST(TimeGridLabels, TwelveAndTwentyFourHourClock) {
    TimeGridConfig config = Day(1200, 1400, 30);
    config.clock24 = true;
    EXPECT_EQ(LabelTexts(config, 1300), (std::vector<std::string>{"12:00 ", "     30 ", "13:00 "}));
    config.clock24 = false;
    EXPECT_EQ(LabelTexts(config, 1300), (std::vector<std::string>{"12:00 ", "     30 ", " 1:00 "}));
    EXPECT_EQ(DisplayHour(0, false), 12);
    EXPECT_EQ(DisplayHour(11, false), 11);
    EXPECT_EQ(DisplayHour(23, false), 11);
}

TEST(TimeGridLabels, OffTheHourStartsAndTwentyMinuteCells) {
    // Starting off the hour labels every cell, the first one with its hour.
    EXPECT_EQ(LabelTexts(Day(830, 1100), 930),
              (std::vector<std::string>{" 8:30 ", "     45 ", " 9:00 ", "     15 ", "     30 "}));
    // Twenty-minute cells from the hour: only the hours.
    EXPECT_EQ(LabelTexts(Day(900, 1100, 20), 1000), (std::vector<std::string>{" 9:00 ", "10:00 "}));
    // Twenty-minute cells from 8:30: the half hour carries its hour.
    EXPECT_EQ(LabelTexts(Day(830, 1100, 20), 930),
              (std::vector<std::string>{" 8:30 ", "     50 ", "     10 ", " 9:30 "}));
    // A start off the cell boundary: its minute comes back with the hour each hour.
    EXPECT_EQ(LabelTexts(Day(810, 1100), 910),
              (std::vector<std::string>{" 8:10 ", "     25 ", "     40 ", "     55 ", " 9:10 "}));
    EXPECT_EQ(LabelTexts(Day(805, 900, 30), 805), (std::vector<std::string>{" 8:05 "}));
}

TEST(TimeGridTexts, RangeTexts) {
    EXPECT_EQ(DaySelectionText(930, 1015, true), " 09:30-10:15 (45分)");
    EXPECT_EQ(DaySelectionText(1245, 1300, true), " 12:45-13:00 (15分)");
    EXPECT_EQ(DaySelectionText(1245, 1400, false), " 12:45-02:00 (75分)");
    EXPECT_EQ(WeekDragTipText(900, 905, true), "09:00-09:05 ( 5分)");
    EXPECT_EQ(WeekSelectionText(1330, 1500, true, false), "13:30-15:00 (90分間)");
    EXPECT_EQ(WeekSelectionText(1330, 1500, false, true), " 01:30-03:00 (90分間)");
    EXPECT_EQ(ReservationTimeItemText("2026/12/07(月)", 905, 930, true),
              "2026/12/07(月) 09:05-09:30 (25分間)");
    EXPECT_EQ(ListTimeText(905, 1530, true), "09:05-15:30");
    EXPECT_EQ(ListTimeText(905, 1530, false), "09:05-03:30");
}

}  // namespace
}  // namespace velo::sheet
