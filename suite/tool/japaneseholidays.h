// Japan's national holidays, computed from the holiday law's rules as amended since it took
// effect on 1948-07-20: fixed days, Monday rules, the equinox days (formula valid
// 1900-2099), substitute holidays, in-between holidays and the one-off days of imperial
// ceremonies and of the 2020/2021 games. Dates before 1948-07-20 have no holidays.
#pragma once

#include <QString>

// True when the date is a national holiday (substitute and in-between days included).
bool IsNationalHoliday(int y, int m, int d);

// The holiday's name ("元日", "振替休日", "国民の休日", ...), or "" when the date is none.
QString HolidayName(int y, int m, int d);
