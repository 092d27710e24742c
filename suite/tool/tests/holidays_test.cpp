// Tests of the national holiday rules against published holiday calendars.
#include <gtest/gtest.h>

#include <QDate>
#include <map>
#include <string>

#include "suite/tool/japaneseholidays.h"

namespace {

// Every holiday of a year as "MMDD" -> name.
std::map<int, QString> HolidaysOf(int year) {
    std::map<int, QString> found;
    for (QDate d(year, 1, 1); d.year() == year; d = d.addDays(1)) {
        const QString name = HolidayName(d.year(), d.month(), d.day());
        EXPECT_EQ(IsNationalHoliday(d.year(), d.month(), d.day()), !name.isEmpty());
        if (!name.isEmpty()) found[d.month() * 100 + d.day()] = name;
    }
    return found;
}

TEST(HolidaysTest, Year2026IsComplete) {
    const std::map<int, QString> expected = {
        {101, "元日"},       {112, "成人の日"},     {211, "建国記念の日"}, {223, "天皇誕生日"},
        {320, "春分の日"},   {429, "昭和の日"},     {503, "憲法記念日"},   {504, "みどりの日"},
        {505, "こどもの日"}, {506, "振替休日"},     {720, "海の日"},       {811, "山の日"},
        {921, "敬老の日"},   {922, "国民の休日"},   {923, "秋分の日"},     {1012, "スポーツの日"},
        {1103, "文化の日"},  {1123, "勤労感謝の日"}};
    EXPECT_EQ(HolidaysOf(2026), expected);
}

TEST(HolidaysTest, GoldenWeek2019IsTenDaysOff) {
    const std::map<int, QString> holidays = HolidaysOf(2019);
    for (int day = 29; day <= 30; ++day) EXPECT_TRUE(holidays.count(400 + day)) << day;
    for (int day = 1; day <= 6; ++day) EXPECT_TRUE(holidays.count(500 + day)) << day;
    EXPECT_EQ(holidays.at(430), "国民の休日");
    EXPECT_EQ(holidays.at(501), "天皇の即位の日");
    EXPECT_EQ(holidays.at(502), "国民の休日");
    EXPECT_EQ(holidays.at(506), "振替休日");
    // 4/27 and 4/28 are the weekend in front of it, not holidays.
    EXPECT_EQ(QDate(2019, 4, 27).dayOfWeek(), 6);
    EXPECT_FALSE(holidays.count(427));
    EXPECT_FALSE(holidays.count(428));
    EXPECT_EQ(holidays.at(1022), "即位礼正殿の儀");
    EXPECT_FALSE(holidays.count(1223)) << "no emperor's birthday in 2019";
}

TEST(HolidaysTest, SubstituteAndInBetweenRules) {
    EXPECT_EQ(HolidayName(2015, 9, 22), "国民の休日");
    EXPECT_EQ(HolidayName(2020, 2, 24), "振替休日");
    EXPECT_EQ(HolidayName(2018, 12, 24), "振替休日");
    // Before the substitute rule (1973-04-12) a Sunday holiday was simply lost.
    EXPECT_EQ(HolidayName(1973, 2, 12), "");
    EXPECT_EQ(HolidayName(1973, 4, 30), "振替休日");
    // Before 2007 only the Monday moves; from 2007 the first non-holiday after the run.
    EXPECT_EQ(HolidayName(2008, 5, 6), "振替休日");
    EXPECT_EQ(HolidayName(2003, 5, 5), "こどもの日");
    EXPECT_EQ(HolidayName(2003, 5, 6), "");
    // 5/4 between two holidays from 1988, yielding to a substitute holiday and to Sunday.
    EXPECT_EQ(HolidayName(1985, 5, 4), "");  // a Saturday before the rule
    EXPECT_EQ(HolidayName(1987, 5, 4), "振替休日");
    EXPECT_EQ(HolidayName(1988, 5, 4), "国民の休日");
    EXPECT_EQ(HolidayName(1997, 5, 4), "");  // Sunday
    EXPECT_EQ(HolidayName(1998, 5, 4), "振替休日");
    EXPECT_EQ(HolidayName(2009, 9, 22), "国民の休日");
}

TEST(HolidaysTest, RenamedMovedAndOneOffDays) {
    EXPECT_EQ(HolidayName(1948, 7, 19), "");
    EXPECT_EQ(HolidayName(1948, 9, 23), "秋分の日");
    EXPECT_EQ(HolidayName(1959, 4, 10), "皇太子明仁親王の結婚の儀");
    EXPECT_EQ(HolidayName(1966, 9, 15), "敬老の日");
    EXPECT_EQ(HolidayName(1966, 2, 11), "");
    EXPECT_EQ(HolidayName(1967, 2, 11), "建国記念の日");
    EXPECT_EQ(HolidayName(1988, 4, 29), "天皇誕生日");
    EXPECT_EQ(HolidayName(1989, 2, 24), "昭和天皇の大喪の礼");
    EXPECT_EQ(HolidayName(1989, 4, 29), "みどりの日");
    EXPECT_EQ(HolidayName(1989, 12, 23), "天皇誕生日");
    EXPECT_EQ(HolidayName(1990, 11, 12), "即位礼正殿の儀");
    EXPECT_EQ(HolidayName(1993, 6, 9), "皇太子徳仁親王の結婚の儀");
    EXPECT_EQ(HolidayName(1995, 7, 20), "");
    EXPECT_EQ(HolidayName(1996, 7, 20), "海の日");
    EXPECT_EQ(HolidayName(1999, 1, 15), "成人の日");
    EXPECT_EQ(HolidayName(2000, 1, 10), "成人の日");
    EXPECT_EQ(HolidayName(1999, 10, 10), "体育の日");
    EXPECT_EQ(HolidayName(2000, 10, 9), "体育の日");
    EXPECT_EQ(HolidayName(2003, 7, 21), "海の日");
    EXPECT_EQ(HolidayName(2003, 9, 15), "敬老の日");
    EXPECT_EQ(HolidayName(2007, 4, 29), "昭和の日");
    EXPECT_EQ(HolidayName(2015, 8, 11), "");
    EXPECT_EQ(HolidayName(2016, 8, 11), "山の日");
    // The games years.
    EXPECT_EQ(HolidayName(2020, 7, 20), "");
    EXPECT_EQ(HolidayName(2020, 7, 23), "海の日");
    EXPECT_EQ(HolidayName(2020, 7, 24), "スポーツの日");
    EXPECT_EQ(HolidayName(2020, 8, 10), "山の日");
    EXPECT_EQ(HolidayName(2020, 8, 11), "");
    EXPECT_EQ(HolidayName(2020, 10, 12), "");
    EXPECT_EQ(HolidayName(2021, 7, 22), "海の日");
    EXPECT_EQ(HolidayName(2021, 7, 23), "スポーツの日");
    EXPECT_EQ(HolidayName(2021, 8, 8), "山の日");
    EXPECT_EQ(HolidayName(2021, 8, 9), "振替休日");
    EXPECT_EQ(HolidayName(2021, 10, 11), "");
    EXPECT_EQ(HolidayName(2022, 10, 10), "スポーツの日");
}

TEST(HolidaysTest, EquinoxDaysFromTheFormula) {
    // Published dates, including the years where the day shifts.
    EXPECT_EQ(HolidayName(1960, 3, 20), "春分の日");
    EXPECT_EQ(HolidayName(1960, 9, 23), "秋分の日");
    EXPECT_EQ(HolidayName(1979, 9, 24), "秋分の日");
    EXPECT_EQ(HolidayName(2012, 9, 22), "秋分の日");
    EXPECT_EQ(HolidayName(2023, 3, 21), "春分の日");
    EXPECT_EQ(HolidayName(2024, 3, 20), "春分の日");
    EXPECT_EQ(HolidayName(2024, 9, 22), "秋分の日");
    EXPECT_EQ(HolidayName(2024, 9, 23), "振替休日");
    EXPECT_EQ(HolidayName(2025, 3, 20), "春分の日");
    EXPECT_EQ(HolidayName(2025, 9, 23), "秋分の日");
}

TEST(HolidaysTest, InvalidDatesAreNotHolidays) {
    EXPECT_FALSE(IsNationalHoliday(2026, 2, 30));
    EXPECT_FALSE(IsNationalHoliday(2026, 13, 1));
    EXPECT_EQ(HolidayName(0, 0, 0), "");
}

}  // namespace
