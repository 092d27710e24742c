// CDate: the day-off rule reads the office hours once per query (and once for a whole
// working-date search), then checks the clinic's own marks of the day and the holidays.
#include "suite/tool/date.h"

#include <atomic>
#include <cstring>

#include "suite/text/globalsettings.h"
#include "suite/tool/japaneseholidays.h"

namespace {

std::atomic<int> g_fixedToday{0};  // YYYYMMDD, 0 = use the clock

constexpr int kSearchLimitDays = 366;

bool HasNoHours(const VELOOFFICEHOURDATA& day) {
    return day.Open == 0 && day.BreakStart == 0 && day.BreakEnd == 0 && day.Close == 0;
}

// The day's reason with its clinic mark read from the settings.
int ReasonOf(const QDate& date, const VELOOFFICEHOUR& hours) {
    if (!date.isValid()) return CDate::kWorking;
    return CDate::DayOffReason(
        date, hours, CGlobalSettings::GetClinicDay(date.year(), date.month(), date.day()));
}

}  // namespace

CDate::CDate() : m_date(Today()) {}

CDate::CDate(const char* yyyymmdd) : m_date(FromYmd(yyyymmdd)) {}

// The clinic's own open days override the holiday rule only: a weekday without office
// hours has no time to book, so marking one of its days open would open nothing.
int CDate::DayOffReason(const QDate& date, const VELOOFFICEHOUR& hours,
                        CGlobalSettings::EClinicDay mark) {
    if (!date.isValid()) return kWorking;
    if (HasNoHours(hours.Week[date.dayOfWeek() % 7])) return kNoOfficeHours;
    if (mark != CGlobalSettings::kClinicDayOpen &&
        IsNationalHoliday(date.year(), date.month(), date.day())) {
        return kNationalHoliday;
    }
    if (mark == CGlobalSettings::kClinicDayClosed) return kClinicDayOff;
    return kWorking;
}

int CDate::IsDayOff(const char* yyyymmdd) const {
    const QDate date = yyyymmdd ? FromYmd(yyyymmdd) : m_date;
    if (!date.isValid()) return kWorking;
    VELOOFFICEHOUR hours{};
    CGlobalSettings::GetOfficeHours(&hours);
    return ReasonOf(date, hours);
}

std::string CDate::GetWorkingDate(const char* yyyymmdd, int count) const {
    const QDate start = FromYmd(yyyymmdd);
    if (!start.isValid()) return std::string();
    VELOOFFICEHOUR hours{};
    CGlobalSettings::GetOfficeHours(&hours);

    const int step = count < 0 ? -1 : 1;
    int remaining = count < 0 ? -count : count;
    QDate day = start;
    if (count == 0) {
        for (int searched = 0; searched <= kSearchLimitDays; ++searched, day = day.addDays(1)) {
            if (ReasonOf(day, hours) == kWorking) return ToYmd(day);
        }
        return ToYmd(start);
    }
    for (int searched = 0; searched < kSearchLimitDays; ++searched) {
        day = day.addDays(step);
        if (ReasonOf(day, hours) == kWorking && --remaining == 0) return ToYmd(day);
    }
    return ToYmd(start.addDays(count));
}

int CDate::DayWeek(int y, int m, int d) {
    const QDate date(y, m, d);
    return date.isValid() ? date.dayOfWeek() % 7 : -1;
}

int CDate::GetMonthInDayCount(int y, int m) {
    if (m < 1 || m > 12) return 0;
    return QDate(y, m, 1).daysInMonth();
}

void CDate::GetNowDate(int* y, int* m, int* d) {
    const QDate today = Today();
    if (y) *y = today.year();
    if (m) *m = today.month();
    if (d) *d = today.day();
}

QDate CDate::Today() {
    const int fixed = g_fixedToday.load();
    if (fixed != 0) return QDate(fixed / 10000, fixed / 100 % 100, fixed % 100);
    return QDate::currentDate();
}

void CDate::SetTodayForTesting(int y, int m, int d) {
    g_fixedToday.store(QDate(y, m, d).isValid() ? y * 10000 + m * 100 + d : 0);
}

bool CDate::IsValid(const char* yyyymmdd) { return FromYmd(yyyymmdd).isValid(); }

QDate CDate::FromYmd(const char* yyyymmdd) {
    if (yyyymmdd == nullptr) return QDate();
    int digits[8];
    for (int i = 0; i < 8; ++i) {
        if (yyyymmdd[i] < '0' || yyyymmdd[i] > '9') return QDate();
        digits[i] = yyyymmdd[i] - '0';
    }
    const int y = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    const int m = digits[4] * 10 + digits[5];
    const int d = digits[6] * 10 + digits[7];
    return QDate(y, m, d);
}

std::string CDate::ToYmd(const QDate& date) {
    if (!date.isValid() || date.year() < 1 || date.year() > 9999) return std::string();
    char text[9];
    const int ymd = date.year() * 10000 + date.month() * 100 + date.day();
    for (int i = 7, v = ymd; i >= 0; --i, v /= 10) text[i] = static_cast<char>('0' + v % 10);
    text[8] = '\0';
    return text;
}

std::string CDate::AddDays(const char* yyyymmdd, int days) {
    const QDate date = FromYmd(yyyymmdd);
    return date.isValid() ? ToYmd(date.addDays(days)) : std::string();
}
