// Date arithmetic of the suite on eight-digit "YYYYMMDD" dates: weekdays, month lengths,
// today's date (which tests can fix), and the clinic's days off and working days, which
// combine the office hours, the national holidays and the clinic's own closed and open days.
#pragma once

#include <QDate>
#include <string>

#include "suite/text/globalsettings.h"
#include "suite/text/officehour.h"

class CDate {
public:
    // Reasons IsDayOff gives; any non-zero value means the clinic is closed.
    enum EDayOff { kWorking = 0, kNoOfficeHours = 1, kNationalHoliday = 2, kClinicDayOff = 3 };

    // Today's date.
    CDate();
    // The given date; an invalid text leaves the object invalid (IsValid() false).
    explicit CDate(const char* yyyymmdd);

    bool IsValid() const { return m_date.isValid(); }
    QDate Date() const { return m_date; }
    std::string Ymd() const { return ToYmd(m_date); }

    // Non-zero (an EDayOff reason) when the date - or this object's date when null - is a
    // day off: the weekday's office hours are all zero, a national holiday that the clinic
    // has not marked as one of its open days, or a clinic closed day. 0 for a working day
    // and for an invalid date. An open day does not open a weekday without office hours.
    int IsDayOff(const char* yyyymmdd = nullptr) const;

    // The rule of IsDayOff for a date whose office hours and clinic mark are given rather
    // than read from the settings (an editor shows what a mark it has not stored yet does).
    static int DayOffReason(const QDate& date, const VELOOFFICEHOUR& hours,
                            CGlobalSettings::EClinicDay mark);

    // The date `count` working days after (count > 0) or before (count < 0) the given date;
    // for count 0 the date itself when it is a working day, else the next working day. When
    // no answer is found within 366 days of searching, the plain calendar date `count` days
    // away. "" for an invalid date.
    std::string GetWorkingDate(const char* yyyymmdd, int count) const;

    // Weekday 0 (Sunday) to 6; -1 for an invalid date.
    static int DayWeek(int y, int m, int d);
    // Days in the month; 0 for a month outside 1-12.
    static int GetMonthInDayCount(int y, int m);
    // Today (or the date fixed by SetTodayForTesting).
    static void GetNowDate(int* y, int* m, int* d);
    static QDate Today();
    // Fixes "today" for tests; SetTodayForTesting(0, 0, 0) returns to the clock.
    static void SetTodayForTesting(int y, int m, int d);

    // True when the text starts with eight digits that name an existing date.
    static bool IsValid(const char* yyyymmdd);
    static QDate FromYmd(const char* yyyymmdd);
    // "YYYYMMDD", or "" for an invalid date.
    static std::string ToYmd(const QDate& date);
    // The date `days` calendar days away; "" for an invalid date.
    static std::string AddDays(const char* yyyymmdd, int days);

private:
    QDate m_date;
};
