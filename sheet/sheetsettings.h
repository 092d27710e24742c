// Settings of the appointment sheet: the suite settings it reads (grid sizes, the day's
// hours, colours, calendar bands, input modes, contact status names), the per-workstation
// choices it keeps in the host program's profile, and the rules that turn the clinic's
// office hours into a day's time range and closed cells. Values are read when a window
// initialises; nothing here caches across calls.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

#include "sheet/timegrid.h"
#include "suite/text/officehour.h"

namespace velo::sheet {

struct SheetSettings {
    // Section "GLOBAL".
    int timeSpan = kDefaultTimeSpan;  // minutes per cell, always a divisor of 60
    int cellWidthOfTimeSpan = kDefaultCellPixels;
    int cellWidthOfTimeSpanDay = kDefaultDayColumnWidth;
    int appointTimeFromH = 9;
    int appointTimeFromM = 0;
    int appointTimeToH = 19;
    int appointTimeToM = 0;
    uint32_t veloColorOff = 0xAAAAFF;        // colour reference 0x00BBGGRR: closed cells
    uint32_t veloColorDrConveni = 0xC0C0C0;  // blocked-time entries
    int calendarMode = 0;                    // first weekday: 0 Sunday, 1 Monday
    int printDataMust = 1;
    int daysOfCheckingDuplicatedRes = 7;  // never negative
    int staffSetMust = 0;
    int calculationTax = 1;
    int consumptionTax = 0;
    // Section "MENTE".
    int show12or24 = 1;
    bool clock24 = true;  // show12or24 == 1
    uint32_t reStatusColor[4] = {0xFFFFFF, 0x00FFFF, 0x0080FF, 0x0000FF};
    int reStatusMax[3] = {10, 20, 30};  // highest count of bands 1-3: colours and legend
    // Section "IME".
    int imeModeAuto = 1;
    int imeModeName = 1;
    int imeModeFurigana = 2;
    int imeModeComment = 1;
    // Section "Reservation".
    int contactStatusCount = 3;
    QStringList contactStatusNames{QStringLiteral("未"), QStringLiteral("不通"),
                                   QStringLiteral("済み")};

    // HHMM of the configured start and end (before the office-hour fallback).
    int AppointStart() const { return appointTimeFromH * 100 + appointTimeFromM; }
    int AppointEnd() const { return appointTimeToH * 100 + appointTimeToM; }
};

// Reads every key above from the suite settings (CGlobalSettings), with the defaults
// shown for missing keys. "TimeSpan" is normalised (NormalizeTimeSpan), "CalendarMode" is
// taken modulo 7 and any value but 0 means Monday first, a negative
// "DaysOfCheckingDuplicatedRes" counts as 0, "ContactStatusCount" is kept within 0..255
// and contactStatusNames holds exactly that many names (empty beyond the defaults).
SheetSettings ReadSheetSettings();

// Calendar band of a day's reservation count: 0 up to reStatusMax[0], 1 up to [1],
// 2 up to [2], 3 above; and its fill colour.
int CountBand(const SheetSettings& settings, int count);
uint32_t CountBandColor(const SheetSettings& settings, int count);

// ---- Host profile ------------------------------------------------------------------

struct HostSheetProfile {
    // Section "GLOBAL": installation facts, never written by the sheet.
    bool isXylo = false;
    QString xyloDir;
    QString database;
    // Section "VELOSHEET": per-workstation choices.
    int reservationMode = 0;  // 0 one column per unit, 1 one per doctor
    int appointMode = 0;      // 0 day view, 1 week view
    bool tipKana = false;     // kana added to the name in balloons
    bool timeKana = false;    // kana added to the name in bars
    int showReservedPatient = 0;
};

HostSheetProfile ReadHostSheetProfile();

// Writers of the choices the sheet stores; false when the profile cannot be written.
bool WriteReservationMode(int mode);
bool WriteAppointMode(int mode);
bool WriteTipKana(bool on);
bool WriteTimeKana(bool on);
bool WriteWindowSize(int width, int height);
bool WriteShowReservedPatient(int value);

// ---- Office hours and the day's range ------------------------------------------------

// One weekday's hours as the views use them (weekday 0 = Sunday; other values are taken
// modulo 7): a zero opening becomes 900 for opening and break start, a zero closing 1900
// for closing and break end, so a day without hours is closed from 9:00 to 19:00.
VELOOFFICEHOURDATA EffectiveOfficeHours(const VELOOFFICEHOUR& hours, int weekday);

struct DayRange {
    int start = 0;  // HHMM
    int end = 0;    // HHMM
};

// The sheet's time range for one day: the configured start and end; in the day view a
// zero start becomes the weekday's opening and a zero end its closing (after the
// fallbacks above). The week view keeps the configured values.
DayRange DayTimeRange(const SheetSettings& settings, const VELOOFFICEHOUR& hours, int weekday,
                      bool dayView);

// The grid constants of the views for a day range, normalised (NormalizeConfig).
TimeGridConfig MakeTimeGridConfig(const SheetSettings& settings, const DayRange& range);

// A cell at time t (HHMM) is closed unless it lies outside the break, within opening
// and closing, and the day is no day off. `dayHours` are effective hours.
bool IsClosedCell(int t, const VELOOFFICEHOURDATA& dayHours, bool dayOff);
// The same for a date "YYYYMMDD", taking its weekday's hours and CDate::IsDayOff. An
// unreadable date counts as closed.
bool IsClosedCell(int t, const char* yyyymmdd, const VELOOFFICEHOUR& hours);

}  // namespace velo::sheet
