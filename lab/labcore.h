// The lab-work schedule's logic without a window: the doctor and staff name tables, the rows
// of the list view, the card grid of the by-item view and the deletion of an item. The
// window (CLabScheduleDlg, CByItemView) gathers the filters, calls these and shows the
// result; tests call them directly on a database folder.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "suite/dbcall/materialdb.h"

class CVeloDBSys;

// What a refresh reads. Days are YYYYMMDD; with useRange false the range is ignored and
// every item is read.
struct LabFilter {
    bool useRange = true;
    std::string from, to;
    std::string patientId;  // empty: every patient
    bool notFinishedOnly = false;
    bool showId = false;  // patient column "[ChartNo]Name"
};

// A table file that a read could not get through (truncated, overwritten, unreadable): its
// name ("MATERIAL.BTR") and the record manager's status. Status 0: everything was read.
struct LabReadFailure {
    int status = 0;
    std::string tableFile;
    bool Failed() const { return status != 0; }
};

// Names by numeric code: doctors[n] is the doctor with code n, staff[n] the staff member
// or outside laboratory with code n. Gaps hold "NA [%02d]" / "NA [%04d]".
struct LabNames {
    std::vector<QString> doctors;
    std::vector<QString> staff;
    LabReadFailure failure;  // the name table that could not be read, if any
};

// Brings the doctor-name cache of the handle up to date: when the DOCTOR file's
// modification time differs from the cached one, every doctor record is read in key order
// into the array indexed by numeric code (gaps "NA [%02d]") and the time is stored.
// Returns 0, or the status of the failed read (the cache then keeps what it held).
int RefreshDoctorCache(CVeloDBSys* db);

// Doctors from the handle's cache (refreshed first), staff from CUSTOMTBL table "AA".
// A table that cannot be read gives what was read of it, and is named in `failure`.
LabNames LoadLabNames(CVeloDBSys* db);

// The name for a numeric code text; "" for a code outside the array (or not a number).
QString StaffName(const LabNames& names, const char* code);
QString DoctorName(const LabNames& names, const char* code);

// The due text of list column 3: "2026/12/07(月) 午前", or "2026/12/07(月) 14:30" for a
// time of day.
QString DueText(const tagMATERIALDB& item);

enum LabColumn {
    kColItem,
    kColStaff,
    kColOrder,
    kColDue,
    kColFinished,
    kColPatient,
    kColKana,
    kColDoctor,
    kColMemo,
    kColumnCount
};
extern const char* const kLabColumnHeaders[kColumnCount];  // UTF-8
extern const int kLabColumnWidths[kColumnCount];           // pixels

// One row of the list view.
struct LabRow {
    std::string materialNo;
    bool finished = false;
    std::string dueDate;  // CompletionDate, YYYYMMDD
    QString text[kColumnCount];
    tagMATERIALDB item{};
    bool hasPatient = false;  // the patient record was read
    std::string chartNo;      // code page 932 bytes
    QString name;
};

// Reads the items of the filter in the list view's order (patient filter: key 3 from
// (patient, from); otherwise key 1 from the from-day), leaving out items of inactive
// patients and, with notFinishedOnly, finished items. Appends to *rows. Returns 0 when
// the end of the range or file was reached, else the status of the failed read of the
// items or of their patients, whose file is named in *failure (when not null); the rows
// read up to then stay in *rows. A patient that is not there is no failure: the item is
// listed without patient columns.
int ReadLabRows(CVeloDBSys* db, const LabFilter& f, const LabNames& names,
                std::vector<LabRow>* rows, LabReadFailure* failure = nullptr);

struct ByItemColumn {
    std::string code;  // category code, code page 932 bytes
    QString name;
};
struct ByItemCard {
    std::string materialNo;
    QString text;
    bool finished = false;
};
struct ByItemDay {
    std::string date;  // YYYYMMDD
    int rows = 1;      // the largest number of cards in one column, at least 1
    std::vector<std::vector<ByItemCard>> cells;  // [column][n]
};
struct ByItemGrid {
    std::vector<ByItemColumn> columns;
    std::vector<ByItemDay> days;
};
enum class ByItemResult { Ok, RangeTooLong };

// UTF-8 message shown when empty days are asked for over more than 178 days.
extern const char* const kSixMonthMessage;

// Builds the by-item grid for the filter. Columns are the visible lab-item categories (one
// "0000" column when there is none); days run from the earliest to the latest due day
// found, or with showEmptyDays (only with useRange) over every day of the range, which is
// refused with RangeTooLong, leaving *grid empty, when to lies more than 178 days after
// from. A read failure ends the reading; the grid holds what was read and the table file
// that failed is named in *failure (when not null).
ByItemResult BuildByItemGrid(CVeloDBSys* db, const LabFilter& f, bool showEmptyDays,
                             const LabNames& names, ByItemGrid* grid,
                             LabReadFailure* failure = nullptr);

// The day heading of the by-item view: "%2d/%2d \n(%s) " with month, day and the weekday
// name of string 14014.
QString ByItemDayLabel(const std::string& yyyymmdd);

// Deletes the item inside a transaction: the item is read first (failure: the transaction
// is aborted and its status returned), then confirm() is asked. Returns 0 when deleted and
// committed, 2 when confirm() declined (nothing changed), or the failing status (nothing
// changed; the caller shows string 14009).
int DeleteLabItem(CVeloDBSys* db, const std::string& materialNo,
                  const std::function<bool()>& confirm);
