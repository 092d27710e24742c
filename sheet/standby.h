// The standby (cancel-wait) list and the list of cancelled patients: the rows both lists of
// the standby dialog show, reading, saving and deleting standby entries. Everything here
// reads and writes through the table classes and links Qt Core only, so the rules can be
// tested without a window; the dialogs gather input, call these and show the results.
#pragma once

#include <QString>
#include <string>
#include <vector>

class CVeloDBSys;

namespace velo::sheet {

// String resources of the standby dialogs.
constexpr int kIdsNoShowMark = 1533;         // "＊": a reservation not kept
constexpr int kIdsStandbyAddFailed = 1579;   // "データベースへの追加に失敗しました。"
constexpr int kIdsStandbyDeleteAsk = 1583;   // "選択している項目を削除してもよろしいですか？"
constexpr int kIdsStandbyBookAsk = 1584;     // "予約入力画面に戻ります。\n予約時間を選択してください。"

// Registers the texts above; calling it again is harmless.
void RegisterStandbyStrings();

// One row of the standby list.
struct StandbyRow {
    int standbyNo = 0;
    std::string patientId;
    bool booked = false;  // the entry's reservation still stands for the same patient
    QString chartNo, name;
    QString wished;      // " 5月 1日 09:00 ～  5月 8日 12:30"
    QString bookedTime;  // " 5月 3日 10:00-10:30", empty when not booked
    QString memo;
};

// The standby entries whose wished days [DateFrom, DateTo] meet [from, to] (YYYYMMDD), in
// standby-number order. Entries of patients that no longer exist are left out, and booked
// entries unless showBooked. Returns 0 or the failing read's status, with the name of the
// table file that could not be read in *failedFile (when not null); *out then holds the
// rows read before the failure.
int LoadStandbyRows(CVeloDBSys* db, const std::string& from, const std::string& to, bool showBooked,
                    std::vector<StandbyRow>* out, std::string* failedFile = nullptr);

// One row of the cancelled-patient list.
struct CancelledRow {
    std::string reservationNo, patientId;
    bool noShow = false;  // still booked (status 0) after its day: the patient never came
    QString chartNo, name;
    QString time;  // "2024年  5月 1日 09:00-09:30  30分間", preceded by "＊" for a no-show
    QString reason;
};

// The reservations of [from, to] (YYYYMMDD) that were cancelled or withdrawn (status 2, 3,
// 4) or not kept (status 0 on a day before today), of patients that exist, ordered by
// patient, day and start time. noShowOnly keeps the not-kept ones only. Returns 0 or the
// failing read's status, with the name of the table file that could not be read in
// *failedFile (when not null).
int LoadCancelledRows(CVeloDBSys* db, const std::string& from, const std::string& to,
                      bool noShowOnly, std::vector<CancelledRow>* out,
                      std::string* failedFile = nullptr);

// A standby entry as the entry dialog edits it.
struct StandbyEntry {
    int standbyNo = 0;  // 0: a new entry
    std::string patientId;
    std::string dateFrom, dateTo;  // YYYYMMDD
    int timeFrom = 0, timeTo = 0;  // HHMM
    QString memo;
    std::string reservationNo;  // kept as stored when an entry is edited
};

// Reads the entry with that number; 4 when there is none.
int ReadStandbyEntry(CVeloDBSys* db, int standbyNo, StandbyEntry* out);

// Stores the entry in one transaction: a new entry (standbyNo 0) takes the largest number in
// the file plus one and is inserted, an existing one is updated. *savedNo gets the number.
// Returns 0 or the failing status; nothing is written then.
int SaveStandbyEntry(CVeloDBSys* db, const StandbyEntry& entry, int* savedNo = nullptr);

// Deletes the entries with these numbers in one transaction; the first failure rolls every
// deletion back and its status is returned.
int DeleteStandbyEntries(CVeloDBSys* db, const std::vector<int>& standbyNos);

// "%010d" of a standby number, as records and callers carry it.
std::string StandbyNoText(int standbyNo);

}  // namespace velo::sheet
