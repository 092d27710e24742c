// Readers and writers of the sheet's settings and the office-hour rules; see
// sheetsettings.h. Suite settings come from CGlobalSettings (GlobalSetting.ini of the
// database folder), per-workstation choices from CHostProfile.
#include "sheet/sheetsettings.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "suite/text/globalsettings.h"
#include "suite/text/hostprofile.h"
#include "suite/tool/date.h"

namespace velo::sheet {
namespace {

constexpr int kMaxContactStatusCount = 255;  // ContactStatus is one byte

const QString kGlobal = QStringLiteral("GLOBAL");
const QString kMente = QStringLiteral("MENTE");
const QString kIme = QStringLiteral("IME");
const QString kReservation = QStringLiteral("Reservation");
const QString kVeloSheet = QStringLiteral("VELOSHEET");

int GlobalInt(const QString& section, const char* key, int def) {
    return CGlobalSettings::GetInt(section, QString::fromLatin1(key), def);
}

uint32_t GlobalColor(const QString& section, const char* key, uint32_t def) {
    return static_cast<uint32_t>(GlobalInt(section, key, static_cast<int>(def)));
}

int PositiveModulo(int value, int divisor) { return ((value % divisor) + divisor) % divisor; }

}  // namespace

SheetSettings ReadSheetSettings() {
    SheetSettings s;
    s.timeSpan = NormalizeTimeSpan(GlobalInt(kGlobal, "TimeSpan", s.timeSpan));
    s.cellWidthOfTimeSpan = GlobalInt(kGlobal, "CellWidthOfTimeSpan", s.cellWidthOfTimeSpan);
    s.cellWidthOfTimeSpanDay =
        GlobalInt(kGlobal, "CellWidthOfTimeSpanDay", s.cellWidthOfTimeSpanDay);
    s.appointTimeFromH = GlobalInt(kGlobal, "AppointTimeFromH", s.appointTimeFromH);
    s.appointTimeFromM = GlobalInt(kGlobal, "AppointTimeFromM", s.appointTimeFromM);
    s.appointTimeToH = GlobalInt(kGlobal, "AppointTimeToH", s.appointTimeToH);
    s.appointTimeToM = GlobalInt(kGlobal, "AppointTimeToM", s.appointTimeToM);
    s.veloColorOff = GlobalColor(kGlobal, "VeloColorOff", s.veloColorOff);
    s.veloColorDrConveni = GlobalColor(kGlobal, "VeloColorDrConveni", s.veloColorDrConveni);
    // The clinic's calendars start on Sunday or on Monday: every weekday but Sunday after
    // the modulo starts the week on Monday, in the calendars and the week view alike.
    const int calendarMode = PositiveModulo(GlobalInt(kGlobal, "CalendarMode", 0), 7);
    s.calendarMode = calendarMode == 0 ? 0 : 1;
    s.printDataMust = GlobalInt(kGlobal, "PrintDataMust", s.printDataMust);
    s.daysOfCheckingDuplicatedRes =
        std::max(0, GlobalInt(kGlobal, "DaysOfCheckingDuplicatedRes", 7));
    s.staffSetMust = GlobalInt(kGlobal, "StaffSetMust", s.staffSetMust);
    s.calculationTax = GlobalInt(kGlobal, "CalculationTax", s.calculationTax);
    s.consumptionTax = GlobalInt(kGlobal, "ConsumptionTax", s.consumptionTax);

    s.show12or24 = GlobalInt(kMente, "Show12or24", s.show12or24);
    s.clock24 = s.show12or24 == 1;
    static const char* const kColorKeys[4] = {"ReStatusColor1", "ReStatusColor2", "ReStatusColor3",
                                              "ReStatusColor4"};
    for (int i = 0; i < 4; ++i) {
        s.reStatusColor[i] = GlobalColor(kMente, kColorKeys[i], s.reStatusColor[i]);
    }
    // The calendar's colours and its legend share the thresholds, so that the legend
    // describes the colours the days are drawn in.
    static const char* const kMaxKeys[3] = {"ReStatusMax1", "ReStatusMax2", "ReStatusMax3"};
    for (int i = 0; i < 3; ++i) {
        s.reStatusMax[i] = GlobalInt(kMente, kMaxKeys[i], s.reStatusMax[i]);
    }

    s.imeModeAuto = GlobalInt(kIme, "ModeAuto", s.imeModeAuto);
    s.imeModeName = GlobalInt(kIme, "ModeName", s.imeModeName);
    s.imeModeFurigana = GlobalInt(kIme, "ModeFurigana", s.imeModeFurigana);
    s.imeModeComment = GlobalInt(kIme, "ModeComment", s.imeModeComment);

    s.contactStatusCount =
        std::clamp(GlobalInt(kReservation, "ContactStatusCount", 3), 0, kMaxContactStatusCount);
    const QStringList defaults = s.contactStatusNames;
    s.contactStatusNames.clear();
    for (int i = 0; i < s.contactStatusCount; ++i) {
        const QString def = i < defaults.size() ? defaults[i] : QString();
        s.contactStatusNames.append(CGlobalSettings::GetString(
            kReservation, QStringLiteral("ContactStatusName%1").arg(i), def));
    }
    return s;
}

int CountBand(const SheetSettings& settings, int count) {
    for (int band = 0; band < 3; ++band) {
        if (count <= settings.reStatusMax[band]) return band;
    }
    return 3;
}

uint32_t CountBandColor(const SheetSettings& settings, int count) {
    return settings.reStatusColor[CountBand(settings, count)];
}

HostSheetProfile ReadHostSheetProfile() {
    HostSheetProfile p;
    p.isXylo = CHostProfile::GetProfileInt(kGlobal, QStringLiteral("IS_XYLO"), 0) != 0;
    p.xyloDir = CHostProfile::GetProfileString(kGlobal, QStringLiteral("XYLO_DIR"), QString());
    p.database = CHostProfile::GetProfileString(kGlobal, QStringLiteral("DATABASE"), QString());
    p.reservationMode =
        CHostProfile::GetProfileInt(kVeloSheet, QStringLiteral("ReservationMode"), 0);
    p.appointMode = CHostProfile::GetProfileInt(kVeloSheet, QStringLiteral("AppointMode"), 0);
    p.tipKana = CHostProfile::GetProfileInt(kVeloSheet, QStringLiteral("TIP_KANA"), 0) != 0;
    p.timeKana = CHostProfile::GetProfileInt(kVeloSheet, QStringLiteral("TIME_KANA"), 0) != 0;
    p.showReservedPatient =
        CHostProfile::GetProfileInt(kVeloSheet, QStringLiteral("ShowReservedPatient"), 0);
    return p;
}

bool WriteReservationMode(int mode) {
    return CHostProfile::WriteProfileInt(kVeloSheet, QStringLiteral("ReservationMode"), mode);
}

bool WriteAppointMode(int mode) {
    return CHostProfile::WriteProfileInt(kVeloSheet, QStringLiteral("AppointMode"), mode);
}

bool WriteTipKana(bool on) {
    return CHostProfile::WriteProfileInt(kVeloSheet, QStringLiteral("TIP_KANA"), on ? 1 : 0);
}

bool WriteTimeKana(bool on) {
    return CHostProfile::WriteProfileInt(kVeloSheet, QStringLiteral("TIME_KANA"), on ? 1 : 0);
}

bool WriteWindowSize(int width, int height) {
    return CHostProfile::WriteProfileValues(
        {{kVeloSheet, QStringLiteral("WindowWidth"), QString::number(width)},
         {kVeloSheet, QStringLiteral("WindowHeight"), QString::number(height)}});
}

bool WriteShowReservedPatient(int value) {
    return CHostProfile::WriteProfileInt(kVeloSheet, QStringLiteral("ShowReservedPatient"), value);
}

VELOOFFICEHOURDATA EffectiveOfficeHours(const VELOOFFICEHOUR& hours, int weekday) {
    VELOOFFICEHOURDATA day = hours.Week[PositiveModulo(weekday, 7)];
    if (day.Open == 0) {
        day.Open = 900;
        day.BreakStart = 900;
    }
    if (day.Close == 0) {
        day.Close = 1900;
        day.BreakEnd = 1900;
    }
    return day;
}

DayRange DayTimeRange(const SheetSettings& settings, const VELOOFFICEHOUR& hours, int weekday,
                      bool dayView) {
    DayRange range{settings.AppointStart(), settings.AppointEnd()};
    if (dayView) {
        const VELOOFFICEHOURDATA day = EffectiveOfficeHours(hours, weekday);
        if (range.start == 0) range.start = day.Open;
        if (range.end == 0) range.end = day.Close;
    }
    return range;
}

TimeGridConfig MakeTimeGridConfig(const SheetSettings& settings, const DayRange& range) {
    TimeGridConfig config;
    config.timeSpan = settings.timeSpan;
    config.cellPixels = settings.cellWidthOfTimeSpan;
    config.dayColumnWidth = settings.cellWidthOfTimeSpanDay;
    config.start = range.start;
    config.end = range.end;
    config.clock24 = settings.clock24;
    return NormalizeConfig(config);
}

bool IsClosedCell(int t, const VELOOFFICEHOURDATA& dayHours, bool dayOff) {
    const bool outsideBreak = t < dayHours.BreakStart || t >= dayHours.BreakEnd;
    const bool withinHours = dayHours.Open <= t && t < dayHours.Close;
    return !(outsideBreak && withinHours && !dayOff);
}

bool IsClosedCell(int t, const char* yyyymmdd, const VELOOFFICEHOUR& hours) {
    if (yyyymmdd == nullptr || std::strlen(yyyymmdd) < 8) return true;
    for (int i = 0; i < 8; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(yyyymmdd[i]))) return true;
    }
    auto number = [yyyymmdd](int from, int count) {
        int value = 0;
        for (int i = from; i < from + count; ++i) value = value * 10 + (yyyymmdd[i] - '0');
        return value;
    };
    const int year = number(0, 4);
    const int month = number(4, 2);
    const int day = number(6, 2);
    if (month < 1 || month > 12 || day < 1 || day > CDate::GetMonthInDayCount(year, month)) {
        return true;
    }
    const std::string date(yyyymmdd, 8);
    const bool dayOff = CDate(date.c_str()).IsDayOff(date.c_str()) != 0;
    return IsClosedCell(t, EffectiveOfficeHours(hours, CDate::DayWeek(year, month, day)), dayOff);
}

}  // namespace velo::sheet
