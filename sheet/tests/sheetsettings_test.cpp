// Tests of the sheet settings: defaults with no keys, stored values and their sanity
// rules, the calendar bands, the day's time range from the office hours, closed cells,
// and the host-profile choices. Each test uses its own database folder and profile folder.
#include "sheet/sheetsettings.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>

#include "suite/text/atomicfile.h"
#include "suite/text/globalsettings.h"
#include "suite/text/hostprofile.h"

namespace velo::sheet {
namespace {

class SheetSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_profileDir.isValid());
        ASSERT_TRUE(m_databaseDir.isValid());
        ::setenv("XDG_CONFIG_HOME", m_profileDir.path().toLocal8Bit().constData(), 1);
        CHostProfile::SetProgramName(QStringLiteral("sheet_settings_test"));
        CGlobalSettings::SetDatabaseFolder(m_databaseDir.path().toStdString());
    }
    void TearDown() override { CGlobalSettings::SetDatabaseFolder(std::string()); }

    static void Set(const char* section, const char* key, int value) {
        ASSERT_TRUE(
            CGlobalSettings::SetInt(QString::fromLatin1(section), QString::fromLatin1(key), value));
    }

    QTemporaryDir m_profileDir;
    QTemporaryDir m_databaseDir;
};

VELOOFFICEHOUR NoHours() { return VELOOFFICEHOUR{}; }

TEST_F(SheetSettingsTest, NoKeysGiveTheDefaults) {
    const SheetSettings s = ReadSheetSettings();
    EXPECT_EQ(s.timeSpan, 15);
    EXPECT_EQ(s.cellWidthOfTimeSpan, 30);
    EXPECT_EQ(s.cellWidthOfTimeSpanDay, 150);
    EXPECT_TRUE(s.clock24);
    EXPECT_EQ(s.veloColorOff, 0xAAAAFFu);
    EXPECT_EQ(s.veloColorDrConveni, 0xC0C0C0u);
    EXPECT_EQ(s.calendarMode, 0);
    EXPECT_EQ(s.printDataMust, 1);
    EXPECT_EQ(s.daysOfCheckingDuplicatedRes, 7);
    EXPECT_EQ(s.calculationTax, 1);
    EXPECT_EQ(s.imeModeFurigana, 2);
    EXPECT_EQ(s.contactStatusNames,
              (QStringList{QStringLiteral("未"), QStringLiteral("不通"), QStringLiteral("済み")}));

    // With no office hours either, the day view runs 9:00-19:00 (the fallbacks) and the
    // week view keeps the configured range.
    const DayRange day = DayTimeRange(s, NoHours(), 2, true);
    EXPECT_EQ(day.start, 900);
    EXPECT_EQ(day.end, 1900);
    const TimeGridConfig grid = MakeTimeGridConfig(s, day);
    EXPECT_EQ(CellCount(grid), 40);
    EXPECT_EQ(grid.cellPixels, 30);
    EXPECT_EQ(grid.dayColumnWidth, 150);
}

TEST_F(SheetSettingsTest, CalendarBandThresholds) {
    SheetSettings s = ReadSheetSettings();
    EXPECT_EQ(s.reStatusMax[0], 10);
    EXPECT_EQ(s.reStatusMax[2], 30);
    // A day with 10 reservations is still in the first band, drawn in ReStatusColor1.
    EXPECT_EQ(CountBand(s, 10), 0);
    EXPECT_EQ(CountBandColor(s, 10), 0xFFFFFFu);
    EXPECT_EQ(CountBand(s, 11), 1);
    EXPECT_EQ(CountBand(s, 30), 2);
    EXPECT_EQ(CountBandColor(s, 31), 0x0000FFu);

    Set("MENTE", "ReStatusMax1", 4);
    Set("MENTE", "ReStatusColor2", 0x123456);
    s = ReadSheetSettings();
    EXPECT_EQ(s.reStatusMax[0], 4);
    EXPECT_EQ(s.reStatusMax[1], 20);
    EXPECT_EQ(CountBandColor(s, 5), 0x123456u);
}

TEST_F(SheetSettingsTest, StoredValuesAreMadeSane) {
    Set("GLOBAL", "TimeSpan", 7);
    Set("GLOBAL", "CalendarMode", 8);
    Set("GLOBAL", "DaysOfCheckingDuplicatedRes", -3);
    Set("MENTE", "Show12or24", 0);
    Set("Reservation", "ContactStatusCount", 4);
    ASSERT_TRUE(CGlobalSettings::SetString(QStringLiteral("reservation"),
                                           QStringLiteral("ContactStatusName1"),
                                           QStringLiteral("話し中")));
    SheetSettings s = ReadSheetSettings();
    EXPECT_EQ(s.timeSpan, 15);
    EXPECT_EQ(s.calendarMode, 1);
    EXPECT_EQ(s.daysOfCheckingDuplicatedRes, 0);
    EXPECT_FALSE(s.clock24);
    EXPECT_EQ(s.contactStatusNames, (QStringList{QStringLiteral("未"), QStringLiteral("話し中"),
                                                 QStringLiteral("済み"), QString()}));

    for (int bad : {0, -5}) {
        Set("GLOBAL", "TimeSpan", bad);
        EXPECT_EQ(ReadSheetSettings().timeSpan, 15) << bad;
    }
    Set("GLOBAL", "TimeSpan", 20);
    EXPECT_EQ(ReadSheetSettings().timeSpan, 20);
    Set("GLOBAL", "CalendarMode", 7);
    EXPECT_EQ(ReadSheetSettings().calendarMode, 0);
    Set("GLOBAL", "CalendarMode", -1);
    EXPECT_EQ(ReadSheetSettings().calendarMode, 1);
    Set("Reservation", "ContactStatusCount", -2);
    s = ReadSheetSettings();
    EXPECT_EQ(s.contactStatusCount, 0);
    EXPECT_TRUE(s.contactStatusNames.isEmpty());
}

TEST_F(SheetSettingsTest, DayRangeFromOfficeHours) {
    Set("GLOBAL", "AppointTimeFromH", 0);
    Set("GLOBAL", "AppointTimeFromM", 0);
    const SheetSettings s = ReadSheetSettings();
    VELOOFFICEHOUR hours{};
    hours.Week[2] = VELOOFFICEHOURDATA{830, 1300, 1400, 1800};  // Tuesday
    EXPECT_EQ(DayTimeRange(s, hours, 2, true).start, 830);
    EXPECT_EQ(DayTimeRange(s, hours, 2, true).end, 1900);  // end is configured, not 0
    EXPECT_EQ(DayTimeRange(s, hours, 2, false).start, 0);
    EXPECT_EQ(DayTimeRange(s, hours, 3, true).start, 900);  // Wednesday without hours

    Set("GLOBAL", "AppointTimeToH", 0);
    EXPECT_EQ(DayTimeRange(ReadSheetSettings(), hours, 2, true).end, 1800);
    EXPECT_EQ(DayTimeRange(ReadSheetSettings(), hours, 2, false).end, 0);
}

TEST_F(SheetSettingsTest, ClosedCells) {
    const VELOOFFICEHOURDATA day{830, 1300, 1400, 1800};
    EXPECT_TRUE(IsClosedCell(815, day, false));
    EXPECT_FALSE(IsClosedCell(830, day, false));
    EXPECT_FALSE(IsClosedCell(1245, day, false));
    EXPECT_TRUE(IsClosedCell(1300, day, false));
    EXPECT_FALSE(IsClosedCell(1400, day, false));
    EXPECT_TRUE(IsClosedCell(1800, day, false));
    EXPECT_TRUE(IsClosedCell(1000, day, true));

    // A weekday without hours is closed all day through the fallbacks.
    VELOOFFICEHOUR hours{};
    const VELOOFFICEHOURDATA none = EffectiveOfficeHours(hours, 0);
    EXPECT_EQ(none.Open, 900);
    EXPECT_EQ(none.BreakStart, 900);
    EXPECT_EQ(none.BreakEnd, 1900);
    EXPECT_EQ(none.Close, 1900);
    for (int t : {830, 900, 1200, 1845, 1900}) EXPECT_TRUE(IsClosedCell(t, none, false)) << t;

    // By date: Tuesday 2026-12-08 is open, until it is made a clinic day off.
    hours.Week[2] = day;
    ASSERT_TRUE(CGlobalSettings::SetOfficeHours(hours));
    EXPECT_FALSE(IsClosedCell(1000, "20261208", hours));
    EXPECT_TRUE(IsClosedCell(1330, "20261208", hours));
    EXPECT_TRUE(IsClosedCell(1000, "20261209", hours));  // Wednesday: no hours
    EXPECT_TRUE(IsClosedCell(1000, "20261332", hours));  // not a date
    ASSERT_TRUE(CGlobalSettings::SetClinicDayOff(2026, 12, 8, true));
    EXPECT_TRUE(IsClosedCell(1000, "20261208", hours));
}

TEST_F(SheetSettingsTest, HostProfileChoices) {
    HostSheetProfile p = ReadHostSheetProfile();
    EXPECT_EQ(p.reservationMode, 0);
    EXPECT_EQ(p.appointMode, 0);
    EXPECT_FALSE(p.isXylo);
    EXPECT_TRUE(p.database.isEmpty());

    ASSERT_TRUE(WriteReservationMode(1));
    ASSERT_TRUE(WriteAppointMode(1));
    ASSERT_TRUE(WriteTipKana(true));
    ASSERT_TRUE(WriteShowReservedPatient(2));
    int rewrites = 0;
    SetAtomicWriteHookForTesting([&rewrites](EAtomicWriteStep step, const std::string&) {
        if (step == EAtomicWriteStep::Rename) ++rewrites;
        return true;
    });
    ASSERT_TRUE(WriteWindowSize(1024, 700));
    SetAtomicWriteHookForTesting(nullptr);
    EXPECT_EQ(rewrites, 1);  // width and height are stored together
    ASSERT_TRUE(CHostProfile::WriteProfileString(
        QStringLiteral("Global"), QStringLiteral("DATABASE"), QStringLiteral("/data/clinic")));
    ASSERT_TRUE(
        CHostProfile::WriteProfileInt(QStringLiteral("GLOBAL"), QStringLiteral("IS_XYLO"), 1));
    p = ReadHostSheetProfile();
    EXPECT_EQ(p.reservationMode, 1);
    EXPECT_EQ(p.appointMode, 1);
    EXPECT_TRUE(p.tipKana);
    EXPECT_FALSE(p.timeKana);
    EXPECT_EQ(p.showReservedPatient, 2);
    EXPECT_TRUE(p.isXylo);
    EXPECT_EQ(p.database, QStringLiteral("/data/clinic"));
    EXPECT_EQ(
        CHostProfile::GetProfileInt(QStringLiteral("VELOSHEET"), QStringLiteral("WindowHeight"), 0),
        700);

    // The unit-layout command writes 0, which a later read hands on.
    ASSERT_TRUE(WriteReservationMode(0));
    EXPECT_EQ(ReadHostSheetProfile().reservationMode, 0);
}

}  // namespace
}  // namespace velo::sheet
