// Tests of CDate: calendar helpers, the three day-off reasons and working-date counting,
// against office hours and closed days stored in a temporary database folder.
#include "suite/tool/date.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>

#include "suite/text/globalsettings.h"
#include "suite/text/hostprofile.h"

namespace {

class DateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        setenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit().constData(), 1);
        CGlobalSettings::SetDatabaseFolder(m_dir.path().toStdString());
        // Monday to Friday with a lunch break, Saturday mornings, Sunday closed.
        VELOOFFICEHOUR hours{};
        for (int day = 1; day <= 5; ++day) hours.Week[day] = {900, 1230, 1400, 1900};
        hours.Week[6] = {900, 1300, 1300, 1300};
        ASSERT_TRUE(CGlobalSettings::SetOfficeHours(hours));
    }
    void TearDown() override {
        CGlobalSettings::SetDatabaseFolder("");
        CDate::SetTodayForTesting(0, 0, 0);
    }

    QTemporaryDir m_dir;
};

TEST_F(DateTest, CalendarHelpers) {
    EXPECT_EQ(CDate::DayWeek(2026, 12, 7), 1);
    EXPECT_EQ(CDate::DayWeek(2026, 12, 6), 0);
    EXPECT_EQ(CDate::DayWeek(2026, 2, 30), -1);
    EXPECT_EQ(CDate::GetMonthInDayCount(1900, 2), 28);
    EXPECT_EQ(CDate::GetMonthInDayCount(2000, 2), 29);
    EXPECT_EQ(CDate::GetMonthInDayCount(2024, 2), 29);
    EXPECT_EQ(CDate::GetMonthInDayCount(2026, 2), 28);
    EXPECT_EQ(CDate::GetMonthInDayCount(2026, 4), 30);
    EXPECT_EQ(CDate::GetMonthInDayCount(2026, 12), 31);
    EXPECT_EQ(CDate::GetMonthInDayCount(2026, 13), 0);

    EXPECT_TRUE(CDate::IsValid("20240229"));
    EXPECT_FALSE(CDate::IsValid("20230229"));
    EXPECT_FALSE(CDate::IsValid("2023022"));
    EXPECT_FALSE(CDate::IsValid("2023-2-1"));
    EXPECT_FALSE(CDate::IsValid(nullptr));
    EXPECT_EQ(CDate::AddDays("20241231", 1), "20250101");
    EXPECT_EQ(CDate::AddDays("20240301", -1), "20240229");
    EXPECT_EQ(CDate::AddDays("bad", 1), "");
    EXPECT_EQ(CDate::ToYmd(QDate(7, 1, 2)), "00070102");
}

TEST_F(DateTest, TodayCanBeFixed) {
    CDate::SetTodayForTesting(2026, 12, 7);
    int y = 0, m = 0, d = 0;
    CDate::GetNowDate(&y, &m, &d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20261207);
    EXPECT_EQ(CDate().Ymd(), "20261207");
    CDate::SetTodayForTesting(0, 0, 0);
    EXPECT_EQ(CDate::Today(), QDate::currentDate());
}

TEST_F(DateTest, DayOffReasons) {
    CDate date("20261207");  // a Monday
    EXPECT_EQ(date.IsDayOff(), CDate::kWorking);
    EXPECT_EQ(date.IsDayOff("20261206"), CDate::kNoOfficeHours);  // Sunday
    EXPECT_EQ(date.IsDayOff("20261205"), CDate::kWorking);        // Saturday morning
    EXPECT_EQ(date.IsDayOff("20261103"), CDate::kNationalHoliday);
    ASSERT_TRUE(CGlobalSettings::SetClinicDayOff(2026, 12, 8, true));
    EXPECT_EQ(date.IsDayOff("20261208"), CDate::kClinicDayOff);
    EXPECT_EQ(date.IsDayOff("notadate"), CDate::kWorking);

    // The clinic's open days override the holiday rule, but not a weekday without hours.
    ASSERT_TRUE(CGlobalSettings::SetClinicDays({{"20261103", CGlobalSettings::kClinicDayOpen},
                                                {"20261206", CGlobalSettings::kClinicDayOpen}}));
    EXPECT_EQ(date.IsDayOff("20261103"), CDate::kWorking);
    EXPECT_EQ(date.IsDayOff("20261206"), CDate::kNoOfficeHours);
    EXPECT_EQ(date.IsDayOff("20261123"), CDate::kNationalHoliday);  // 勤労感謝の日, not opened
}

TEST_F(DateTest, WorkingDatesSkipWeekendsHolidaysAndClosedDays) {
    CDate date("20260101");
    // Saturday 2026-01-10 works, Sunday is closed, Monday 1/12 is 成人の日.
    EXPECT_EQ(date.GetWorkingDate("20260109", 1), "20260110");
    EXPECT_EQ(date.GetWorkingDate("20260109", 2), "20260113");
    EXPECT_EQ(date.GetWorkingDate("20260113", -1), "20260110");
    EXPECT_EQ(date.GetWorkingDate("20260113", -2), "20260109");
    ASSERT_TRUE(CGlobalSettings::SetClinicDayOff(2026, 1, 13, true));
    EXPECT_EQ(date.GetWorkingDate("20260109", 2), "20260114");
    // Open on 成人の日: the lab counts it as a working day.
    ASSERT_TRUE(CGlobalSettings::SetClinicDays({{"20260112", CGlobalSettings::kClinicDayOpen}}));
    EXPECT_EQ(date.GetWorkingDate("20260109", 2), "20260112");
    EXPECT_EQ(date.GetWorkingDate("20260113", -1), "20260112");
    ASSERT_TRUE(CGlobalSettings::SetClinicDays({{"20260112", CGlobalSettings::kClinicDayUsual}}));
    // Count 0: the date itself when it works, else the next working day.
    EXPECT_EQ(date.GetWorkingDate("20260109", 0), "20260109");
    EXPECT_EQ(date.GetWorkingDate("20260111", 0), "20260114");
    // Across the year's end: 12/31 Thursday -> 1/1 holiday, 1/2 Friday.
    EXPECT_EQ(date.GetWorkingDate("20251231", 1), "20260102");
    EXPECT_EQ(date.GetWorkingDate("bad", 1), "");
}

TEST_F(DateTest, NoWorkingDayFallsBackToCalendarDate) {
    ASSERT_TRUE(CGlobalSettings::SetOfficeHours(VELOOFFICEHOUR{}));
    CDate date("20260101");
    EXPECT_EQ(date.GetWorkingDate("20260109", 3), "20260112");
    EXPECT_EQ(date.GetWorkingDate("20260109", -3), "20260106");
    EXPECT_EQ(date.GetWorkingDate("20260109", 0), "20260109");
}

}  // namespace
