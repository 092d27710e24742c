// The holiday rules in three layers: the named holidays of a date, then substitute
// holidays (which look back at named holidays), then in-between holidays (which look at
// both neighbours and yield to substitutes).
#include "suite/tool/japaneseholidays.h"

#include <QDate>

namespace {

int Ymd(int y, int m, int d) { return y * 10000 + m * 100 + d; }

// 0 = Sunday ... 6 = Saturday.
int Weekday(int y, int m, int d) { return QDate(y, m, d).dayOfWeek() % 7; }

// The day of month of the n-th Monday of a month.
int NthMonday(int y, int m, int n) {
    int first = Weekday(y, m, 1);
    int firstMonday = 1 + (8 - first) % 7;
    return firstMonday + 7 * (n - 1);
}

// Equinox days by the usual approximation of the astronomical tables; 0 outside its range.
int VernalEquinoxDay(int y) {
    if (y >= 1900 && y <= 1979)
        return static_cast<int>(20.8357 + 0.242194 * (y - 1980) - (y - 1983) / 4);
    if (y >= 1980 && y <= 2099)
        return static_cast<int>(20.8431 + 0.242194 * (y - 1980) - (y - 1980) / 4);
    if (y >= 2100 && y <= 2150)
        return static_cast<int>(21.8510 + 0.242194 * (y - 1980) - (y - 1980) / 4);
    return 0;
}

int AutumnalEquinoxDay(int y) {
    if (y >= 1900 && y <= 1979)
        return static_cast<int>(23.2588 + 0.242194 * (y - 1980) - (y - 1983) / 4);
    if (y >= 1980 && y <= 2099)
        return static_cast<int>(23.2488 + 0.242194 * (y - 1980) - (y - 1980) / 4);
    if (y >= 2100 && y <= 2150)
        return static_cast<int>(24.2488 + 0.242194 * (y - 1980) - (y - 1980) / 4);
    return 0;
}

// The named holiday of a date (no substitute or in-between rule), or nullptr.
const char* NamedHoliday(int y, int m, int d) {
    if (Ymd(y, m, d) < 19480720) return nullptr;
    switch (Ymd(y, m, d)) {  // one-off days
        case 19590410:
            return "皇太子明仁親王の結婚の儀";
        case 19890224:
            return "昭和天皇の大喪の礼";
        case 19901112:
            return "即位礼正殿の儀";
        case 19930609:
            return "皇太子徳仁親王の結婚の儀";
        case 20190501:
            return "天皇の即位の日";
        case 20191022:
            return "即位礼正殿の儀";
        default:
            break;
    }
    switch (m) {
        case 1:
            if (d == 1) return "元日";
            if (y < 2000 ? d == 15 : d == NthMonday(y, 1, 2)) return "成人の日";
            break;
        case 2:
            if (d == 11 && y >= 1967) return "建国記念の日";
            if (d == 23 && y >= 2020) return "天皇誕生日";
            break;
        case 3:
            if (d == VernalEquinoxDay(y)) return "春分の日";
            break;
        case 4:
            if (d == 29) {
                if (y <= 1988) return "天皇誕生日";
                return y <= 2006 ? "みどりの日" : "昭和の日";
            }
            break;
        case 5:
            if (d == 3) return "憲法記念日";
            if (d == 4 && y >= 2007) return "みどりの日";
            if (d == 5) return "こどもの日";
            break;
        case 7:
            if (y == 2020) return d == 23 ? "海の日" : d == 24 ? "スポーツの日" : nullptr;
            if (y == 2021) return d == 22 ? "海の日" : d == 23 ? "スポーツの日" : nullptr;
            if (y >= 1996 && y <= 2002 && d == 20) return "海の日";
            if (y >= 2003 && d == NthMonday(y, 7, 3)) return "海の日";
            break;
        case 8:
            if (y == 2020) return d == 10 ? "山の日" : nullptr;
            if (y == 2021) return d == 8 ? "山の日" : nullptr;
            if (y >= 2016 && d == 11) return "山の日";
            break;
        case 9:
            if (d == AutumnalEquinoxDay(y)) return "秋分の日";
            if (y >= 1966 && y <= 2002 && d == 15) return "敬老の日";
            if (y >= 2003 && d == NthMonday(y, 9, 3)) return "敬老の日";
            break;
        case 10:
            if (y == 2020 || y == 2021) break;  // moved to July
            if (y >= 1966 && y <= 1999 && d == 10) return "体育の日";
            if (y >= 2000 && d == NthMonday(y, 10, 2))
                return y >= 2020 ? "スポーツの日" : "体育の日";
            break;
        case 11:
            if (d == 3) return "文化の日";
            if (d == 23) return "勤労感謝の日";
            break;
        case 12:
            if (d == 23 && y >= 1989 && y <= 2018) return "天皇誕生日";
            break;
        default:
            break;
    }
    return nullptr;
}

bool IsNamedHoliday(const QDate& date) {
    return date.isValid() && NamedHoliday(date.year(), date.month(), date.day()) != nullptr;
}

// A substitute holiday: from 1973-04-12 the Monday after a Sunday holiday; from 2007 the
// first day after a Sunday holiday that is not itself a holiday.
bool IsSubstituteHoliday(const QDate& date) {
    if (IsNamedHoliday(date)) return false;
    const int ymd = Ymd(date.year(), date.month(), date.day());
    if (ymd < 19730412) return false;
    if (date.year() < 2007) {
        QDate before = date.addDays(-1);
        return before.dayOfWeek() == 7 && IsNamedHoliday(before);
    }
    for (QDate day = date.addDays(-1); IsNamedHoliday(day); day = day.addDays(-1)) {
        if (day.dayOfWeek() == 7) return true;
    }
    return false;
}

// An in-between holiday (from 1988): a day that is neither a holiday nor a Sunday and lies
// between two named holidays.
bool IsInBetweenHoliday(const QDate& date) {
    if (date.year() < 1988 || date.dayOfWeek() == 7) return false;
    if (IsNamedHoliday(date) || IsSubstituteHoliday(date)) return false;
    return IsNamedHoliday(date.addDays(-1)) && IsNamedHoliday(date.addDays(1));
}

}  // namespace

QString HolidayName(int y, int m, int d) {
    const QDate date(y, m, d);
    if (!date.isValid()) return QString();
    if (const char* name = NamedHoliday(y, m, d)) return QString::fromUtf8(name);
    if (IsSubstituteHoliday(date)) return QStringLiteral("振替休日");
    if (IsInBetweenHoliday(date)) return QStringLiteral("国民の休日");
    return QString();
}

bool IsNationalHoliday(int y, int m, int d) { return !HolidayName(y, m, d).isEmpty(); }
