// The data behind the appointment sheet's views: the columns of the grid (units or
// doctors), one day's reservations turned into bars and day-list rows, and the
// per-day reservation counts of a month for the calendar. Everything here reads the
// database through the table classes and links Qt Core only, so the views stay thin
// and every rule can be tested without a window.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

class CVeloDBSys;

namespace velo::sheet {

// Number of item values carried by a bar (the display-item catalogue's length).
constexpr int kSheetItemCount = 30;
// Column of a bar that is not drawn in any shown column (e.g. a hidden doctor).
constexpr uint16_t kNoColumn = 65535;
// Bar colour when the treatment type has none: 0x00BBGGRR.
constexpr uint32_t kDefaultBarColour = 0xC8C8FA;

// A table file that a load could not read: its name in the database folder
// ("RESERVATION.BTR") and the record manager's status. Status 0: everything was read.
struct ReadFailure {
    int status = 0;
    std::string tableFile;
    bool Failed() const { return status != 0; }
};

struct ColumnEntity {
    std::string code;  // UnitCode or DoctorCode
    QString name;
};

// The shown columns of the grid in master order: units (layoutMode 0) or doctors
// (layoutMode 1). Hidden entries are left out. A master that cannot be read gives the
// columns read before the failure, and *failure (when given) names its file.
std::vector<ColumnEntity> LoadColumnEntities(CVeloDBSys* db, int layoutMode,
                                             ReadFailure* failure = nullptr);

struct ReservationBar {
    std::string reservationNo, patientId, date;
    uint16_t start = 0, end = 0;  // HHMM
    uint16_t column = kNoColumn;  // index into the columns, kNoColumn when not drawn
    uint8_t status = 0;
    uint32_t colour = kDefaultBarColour;
    QString items[kSheetItemCount];  // item values in the display-item catalogue's order
};

struct DayListRow {
    std::string reservationNo, patientId;
    uint8_t status = 0;
    QString columns[5];  // time, name, unit, treatment, doctor
    bool came = false;   // the came check box
};

struct DayData {
    std::string date;  // YYYYMMDD
    bool dayOff = false;
    std::vector<ReservationBar> bars;  // live reservations in start-time order
    std::vector<DayListRow> list;      // live reservations with a patient
    int count = 0;                     // rows of the list
    // Set when the day could not be read completely: its bars and rows are then only
    // what could be read, and free-looking cells may be taken.
    ReadFailure failure;
};

// Loads the live reservations of one day (YYYYMMDD) into *out. weekStyle selects the
// week view's item variants. Returns 0, or the record manager's status of a read that
// failed; *out then holds what was read, and out->failure names the file. A reservation
// whose patient cannot be read is left out and counts as such a failure.
int LoadDay(CVeloDBSys* db, const std::string& yyyymmdd, int layoutMode,
            const std::vector<ColumnEntity>& columns, bool weekStyle, DayData* out);

// LoadDay with the clock given instead of read from the settings (12-hour when false).
int LoadDayWithClock(CVeloDBSys* db, const std::string& yyyymmdd, int layoutMode,
                     const std::vector<ColumnEntity>& columns, bool weekStyle, bool clock24,
                     DayData* out);

// The week view's load: seven days from weekStart (YYYYMMDD) with the week-style items,
// sharing one set of master and patient lookups. Each day's list holds its rows; the
// caller shows the shown date's. Returns 0 or the first failing status; each day carries
// its own failure (every day, left empty but dated, when the files cannot be opened).
int LoadWeek(CVeloDBSys* db, const std::string& weekStart, int layoutMode,
             const std::vector<ColumnEntity>& columns, std::array<DayData, 7>* out);

// Counts each day's live reservations of active patients in one month. *countsByDay gets
// 32 entries, index 1..31 (index 0 unused). Returns 0 or a record-manager status, with
// *failure (when given) naming the file that could not be read.
int CountMonth(CVeloDBSys* db, int year, int month, std::vector<int>* countsByDay,
               ReadFailure* failure = nullptr);

}  // namespace velo::sheet
