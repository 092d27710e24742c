// The read-only booking rules behind the reservation dialog: the day's time strip of one
// grid column and the overlap check against it, the band texts, the duplicate window of a
// patient (other live reservations within a few days) with its warning, the dialog's
// "システムメッセージ" lines (recent reservations, pending contract payments) and its
// "次回予定" rows. Nothing here writes to the database or shows a window, so every rule can
// be tested on a database folder without a dialog.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

class CVeloDBSys;
struct tagPATIENTDB;

namespace velo::sheet {

// One live reservation on the strip of a column and day.
struct StripItem {
    std::string reservationNo;
    int start = 0;  // HHMM
    int end = 0;    // HHMM
    uint8_t status = 0;
    QString tip;  // StripTipText of the reservation
};

// Which column and day a strip shows, and which reservation the dialog is editing.
struct StripRequest {
    bool doctorMode = false;     // true: key 3 by DoctorCode; false: key 4 by UnitCode
    std::string columnCode;      // unit or doctor code; empty means "00"
    std::string day;             // YYYYMMDD; any "/" is removed and the rest cut to 8 characters
    std::string editingNo;       // reservation passed over (the one being edited); may be empty
    bool clock24 = true;         // MENTE/Show12or24 == 1
};

// Loads the live reservations of one column on one day in start-time order into *items
// (cleared first). Passed over: the reservation being edited, Status above 1, and records
// whose patient is marked inactive (InactiveFlag 1). A patient that cannot be read counts as
// active and shows without a name. Returns 0 (an empty column included) or the failing
// read's status, with *items then holding what was read before the failure.
int LoadStrip(CVeloDBSys* db, const StripRequest& request, std::vector<StripItem>* items);

// " %02d:%02d-%02d:%02d (%d分間)\n %s": start and end as stored, the length in minutes, and
// the patient's name, or "予約不可設定" when the name is empty (blocked time). With clock24
// false the hours show as ((h - 1) mod 12) + 1; the length always comes from the stored
// 24-hour times.
QString StripTipText(int start, int end, const QString& patientName, bool clock24);

// Half-open bands [start, end): true when the later start lies before the earlier end.
// Touching bands (one ends where the other starts) do not overlap.
bool BandsOverlap(int start1, int end1, int start2, int end2);

// The first strip item whose band overlaps [start, end), or nullptr.
const StripItem* FindOverlap(const std::vector<StripItem>& items, int start, int end);

// Length of a band in minutes: (end hour - start hour) * 60 - start minute + end minute.
int BandMinutes(int start, int end);

// "%02d:%02d - %02d:%02d (%d分間)" of the band ("09:45 - 10:00 (15分間)"); with clock24 false
// the hours show as ((h - 1) mod 12) + 1 ("01:00 - 01:30 (30分間)" for 1300-1330).
QString BandText(int start, int end, bool clock24);

// The band text that means "no band chosen": "00:00 - 00:00 (0分間)".
QString NoBandText();

// A nearby reservation of the patient, as the duplicate window lists it.
struct DuplicateEntry {
    std::string reservationNo;
    QString date;       // "%Y/%#m/%#d日 (%a)", e.g. "2024/5/1日 (水)"
    QString time;       // "%02d:%02d ～ %02d:%02d", 12-hour hours when clock24 is false
    QString length;     // "%d分間"
    QString treatment;  // the Treatment text
};

// Fills *entries (cleared first) with the patient's live reservations from day - days to
// day + days (days below 0 count as 0, so 0 means the same day only), in date and time
// order, passing over `editingNo` and Status above 1. An empty patient key, or one longer
// than 10 characters, leaves the window empty. Returns 0 or the failing read's status.
int LoadDuplicateWindow(CVeloDBSys* db, const std::string& patientId, const std::string& day,
                        int days, const std::string& editingNo, bool clock24,
                        std::vector<DuplicateEntry>* entries);

// "%Y/%#m/%#d日 (%a)" of a YYYYMMDD day with the Japanese weekday; "" for no date.
QString DuplicateDateText(const std::string& yyyymmdd);

// The question asked before saving when the window is not empty:
// "指定された予約日[2024年5月1日 (水)]の7日前後に同じ患者の予約が2件入っています。" followed by
// the table (a line of 104 underscores, the heading row, one row per entry, the underscores
// again) and "\nこの予約を登録してもよろしいですか。". `days` below 0 counts as 0.
QString DuplicateWarningText(const std::string& resDate, int days,
                             const std::vector<DuplicateEntry>& entries);

// A contract payment of the patient still to be paid.
struct PendingPayment {
    std::string dueDate;  // YYYYMMDD
    int amount = 0;
};

// Fills *payments (cleared first) with the patient's pending contract payments due up to the
// end of the month of `day`, latest first: items with the billing flag 1, the paid flag 0
// and a non-zero amount. Empty for an empty patient key. Returns 0 or the failing read's
// status.
int LoadPendingPayments(CVeloDBSys* db, const std::string& patientId, const std::string& day,
                        std::vector<PendingPayment>* payments);

// The lines of the dialog's "システムメッセージ" list: "―――　近日の予約履歴　―――" and one
// "%s 時間: %s  %s %s" per entry, then, when there are payments, "―――　 入金予定 　―――" and
// one "%s　金額：%13s" per payment (due day as CTools::MakeDate, amount as
// CTools::NumericFormat right-aligned in 13 places). The history heading is shown even when
// the window is empty, as long as a patient is given; with no entries and no payments and
// hasPatient false the list is empty.
QStringList SystemMessageLines(bool hasPatient, const std::vector<DuplicateEntry>& entries,
                               const std::vector<PendingPayment>& payments);

// One row of the "次回予定" list.
struct NextVisitRow {
    QString label;  // "時期", "予定時間", "内容", "回収"
    QString value;
};

// The four rows of the patient's planned next visit: "時期" "%d %s" (NextInterval and the
// unit "日", "週", "ｶ月", "年"), "予定時間" "%d分" (NextDuration), "内容" (NextVisitContent)
// and "回収" "%s %s" (the fee item's name, NextFee as CTools::NumericFormat), the last one
// empty when the item is not found. The rows are there with empty values when the
// patient's NextVisitDate does not hold 8 characters.
std::vector<NextVisitRow> NextVisitRows(CVeloDBSys* db, const tagPATIENTDB& patient);

// True when the reservation day comes before the lab item's planned completion day (both
// YYYYMMDD); false when either is not a full date.
bool IsBeforeLabCompletion(const std::string& resDate, const std::string& completionDate);

}  // namespace velo::sheet
