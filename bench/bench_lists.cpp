// The reservation reference's opening reads, the cancelled-patient list of the standby
// dialog and the reserved-patient search, against plain SQLite on the same data, in one run.
//
// The record manager side reads the demo clinic named by VELO_BENCH_DB in place (it only
// reads). The plain SQLite side keeps the same records in a temporary file as the suite
// keeps its tables: reservations by number with an index on (date, start) like the date
// key, each patient's two records by id, the categories by (type, code). It reads through
// prepared statements with the record manager's settings (plainsqlite.h), each list in one
// read transaction as the suite reads it, and leaves to covering indexes what needs no
// record: the month's counts and which reservations a list takes (date, start, status,
// patient; a patient's inactive flag). The cases:
//   ReferenceOpen           the record reads CReferenceDlg does when it opens on the day of
//                           the middle reservation (the units for the tabs, the month's
//                           busy-day counts for the calendar, the grid's days with every
//                           unit as a row, as many day blocks as its shown grid holds),
//                           through the functions it calls, beside the same
//                           reads in SQLite;
//   ReferenceDialog         constructing and showing CReferenceDlg itself (offscreen): its
//                           reads, its widgets and the grid's reload at its shown size,
//                           without painting;
//   StandbyCancelled30Days  the cancelled-patient rows of 30 days from that day through
//                           LoadCancelledRows, beside the same reads and rows in SQLite;
//   ReservedSearch7Days     the reserved-patient search by date over 7 days from that day
//                           through SearchReservedPatients, beside the same reads in SQLite
//                           (reservations by (date, start) over the range, each patient's
//                           first record once, the same skips and the same row texts);
//   ReservedSearch2000Rows  the same over a range from that day long enough to hold about
//                           2,000 rows (7 days of the demo clinic hold fewer);
//   ReservedSearchDialog    constructing and showing CReservedSearchDlg (offscreen), setting
//                           the 7 days and running its search, so the list is filled.
// Both sides' results are compared before anything is timed. The run ends in RATIO and
// FIGURE lines that scripts/bench collects.
#include <QApplication>
#include <QDateEdit>
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "plainsqlite.h"
#include "ratioreporter.h"
#include "recman/recman.h"
#include "sheet/referencedata.h"
#include "sheet/referencedlg.h"
#include "sheet/referenceview.h"
#include "sheet/reservation.h"
#include "sheet/reservedsearch.h"
#include "sheet/reservedsearchdlg.h"
#include "sheet/sheetdata.h"
#include "sheet/standby.h"
#include "sheet/timegrid.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/strings.h"
#include "suite/tool/tools.h"
#include "suite/tool/xlistctrl.h"

namespace {

using namespace velo::sheet;
namespace fs = std::filesystem;

constexpr int kStandbyDays = 30;
constexpr int kSearchDays = 7;
constexpr size_t kSearchRows = 2000;
// How far the range for kSearchRows may reach; the demo clinic fills it well before.
constexpr int kSearchRowsMaxDays = 366;
constexpr const char* kCategoryUnit = "1";
constexpr const char* kCategoryResType = "0";

struct Setup {
    std::string folder;  // the demo clinic, read in place
    std::string work;    // the temporary folder of the plain copy
    std::string plain;
    std::string reservationNo, day;  // the middle reservation and its day
    std::string standbyTo;           // the last day of the standby range
    std::string searchTo;            // the last day of the 7-day search
    std::string searchRowsTo;        // the last day of the search holding kSearchRows rows
    size_t searchRows = 0, searchRowsLong = 0;  // the rows the two searches list
    int gridDays = 0;                // day blocks the dialog's grid loads on opening
    std::string error;
};

// ---- The plain SQLite copy ------------------------------------------------------------

const char* kPlainSchema =
    "PRAGMA journal_mode=DELETE;"
    "CREATE TABLE reservation(no TEXT PRIMARY KEY, date TEXT, start TEXT, patient TEXT,"
    " status INTEGER, data BLOB);"
    "CREATE TABLE patient(id TEXT PRIMARY KEY, inactive INTEGER, data BLOB);"
    "CREATE TABLE patient2(id TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE category(type TEXT, code TEXT, data BLOB, PRIMARY KEY(type, code));";

const char* kPlainIndexes =
    "CREATE INDEX r_time ON reservation(date, start);"
    "CREATE INDEX r_state ON reservation(date, start, status, patient);"
    "CREATE INDEX p_inactive ON patient(id, inactive);";

bool Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Copies every record of a table class in key order: `keys` gives the texts of the first
// columns, `number` (when not null) an integer column after them, the record goes last;
// `seen` sees each record.
template <typename Table, typename Keys, typename Number, typename Seen>
bool CopyTable(sqlite3* db, const std::string& folder, const char* sql, int key, Keys keys,
               Number number, Seen seen) {
    sqlite3_stmt* stmt = nullptr;
    bool ok = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK;
    Table table;
    ok = ok && table.Open(folder) == 0;
    table.SetKey(key);
    for (int st = ok ? table.GetFIRST() : 9; ok && st == 0; st = table.GetNEXT()) {
        const std::vector<std::string> texts = keys(table.m_Data);
        int column = 0;
        for (const std::string& text : texts)
            sqlite3_bind_text(stmt, ++column, text.c_str(), -1, SQLITE_TRANSIENT);
        if constexpr (!std::is_same_v<Number, std::nullptr_t>)
            sqlite3_bind_int(stmt, ++column, number(table.m_Data));
        sqlite3_bind_blob(stmt, ++column, &table.m_Data, sizeof table.m_Data, SQLITE_TRANSIENT);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
        sqlite3_reset(stmt);
        seen(table.m_Data);
    }
    sqlite3_finalize(stmt);
    return ok;
}

// Fills the plain copy and collects the reservations' numbers and days in date order.
bool FillPlain(const std::string& folder, const std::string& path,
               std::vector<std::pair<std::string, std::string>>* byTime) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    const auto nothing = [](const auto&) {};
    bool ok = Exec(db, kPlainSchema) && Exec(db, "BEGIN");
    ok = ok &&
         CopyTable<CReservationDB>(
             db, folder, "INSERT INTO reservation VALUES(?,?,?,?,?,?)", CReservationDB::kKeyTime,
             [](const tagRESERVATIONDB& r) {
                 return std::vector<std::string>{FieldText(r.ReservationNo), FieldText(r.ResDate),
                                                 FieldText(r.StartTime), FieldText(r.PatientID)};
             },
             [](const tagRESERVATIONDB& r) { return int(r.Status); },
             [&](const tagRESERVATIONDB& r) {
                 byTime->emplace_back(FieldText(r.ReservationNo), FieldText(r.ResDate));
             });
    ok = ok &&
         CopyTable<CPatient1DB>(
             db, folder, "INSERT INTO patient VALUES(?,?,?)", 0,
             [](const tagPATIENT1DB& r) { return std::vector<std::string>{FieldText(r.PatientID)}; },
             [](const tagPATIENT1DB& r) { return int(r.InactiveFlag); }, nothing) &&
         CopyTable<CPatient2DB>(
             db, folder, "INSERT INTO patient2 VALUES(?,?)", 0,
             [](const tagPATIENT2DB& r) { return std::vector<std::string>{FieldText(r.PatientID)}; },
             nullptr, nothing) &&
         CopyTable<CCategoryDB>(
             db, folder, "INSERT OR REPLACE INTO category VALUES(?,?,?)",
             CCategoryDB::kKeyTypeCode,
             [](const tagCATEGORYDB& r) {
                 return std::vector<std::string>{FieldText(r.Type), FieldText(r.Code)};
             },
             nullptr, nothing);
    ok = ok && Exec(db, kPlainIndexes) && Exec(db, "COMMIT");
    sqlite3_close(db);
    return ok;
}

std::string TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") +
                          "/velo-benchlists-XXXXXX";
    const char* made = ::mkdtemp(pattern.data());
    return made != nullptr ? made : "";
}

// The day blocks the dialog's grid loads when it opens on the reservation.
int DialogGridDays(const Setup& s) {
    CVeloDBSys db(s.folder);
    ReferenceDlgInputs inputs;
    inputs.reservationNo = s.reservationNo;
    inputs.date = CDate::FromYmd(s.day.c_str());
    CReferenceDlg dialog(&db, inputs);
    dialog.show();  // the grid takes its shown size and loads the blocks that fit
    return dialog.View()->Layout().days;
}

ReservedSearchRequest DateSearch(const std::string& from, const std::string& to) {
    ReservedSearchRequest request;
    request.from = from;
    request.to = to;
    return request;
}

size_t SearchRowCount(CVeloDBSys* db, const std::string& from, const std::string& to) {
    std::vector<ReservedSearchRow> rows;
    SearchReservedPatients(db, DateSearch(from, to), CDate::FromYmd(from.c_str()), &rows);
    return rows.size();
}

// The 7-day range from the middle day, and the shortest range from that day whose search
// holds kSearchRows rows (up to kSearchRowsMaxDays when even those hold fewer).
void ChooseSearchRanges(Setup* s) {
    CVeloDBSys db(s->folder);
    const QDate first = CDate::FromYmd(s->day.c_str());
    s->searchTo = CDate::ToYmd(first.addDays(kSearchDays - 1));
    s->searchRowsTo = CDate::ToYmd(first.addDays(kSearchRowsMaxDays - 1));
    std::vector<ReservedSearchRow> rows;
    SearchReservedPatients(&db, DateSearch(s->day, s->searchRowsTo), first, &rows);
    if (rows.size() >= kSearchRows) {
        const QDate last =
            QDate::fromString(rows[kSearchRows - 1].date, QStringLiteral("yyyy/MM/dd"));
        s->searchRowsTo = CDate::ToYmd(last);
    }
    s->searchRows = SearchRowCount(&db, s->day, s->searchTo);
    s->searchRowsLong = SearchRowCount(&db, s->day, s->searchRowsTo);
}

Setup& TheSetup() {
    static Setup setup = [] {
        Setup s;
        s.folder = std::getenv("VELO_BENCH_DB");
        s.work = TempFolder();
        if (s.work.empty()) {
            s.error = "no temporary folder";
            return s;
        }
        s.plain = s.work + "/plain.sqlite";
        std::vector<std::pair<std::string, std::string>> byTime;
        if (!FillPlain(s.folder, s.plain, &byTime)) {
            s.error = "could not fill the SQLite copy";
            return s;
        }
        if (byTime.empty()) {
            s.error = "the demo clinic has no reservations";
            return s;
        }
        const auto& middle = byTime[byTime.size() / 2];
        s.reservationNo = middle.first;
        s.day = middle.second;
        s.standbyTo = CDate::ToYmd(CDate::FromYmd(s.day.c_str()).addDays(kStandbyDays - 1));
        ChooseSearchRanges(&s);
        s.gridDays = DialogGridDays(s);
        return s;
    }();
    return setup;
}

// ---- The reference dialog's reads -------------------------------------------------------

// What the opening reads produced, in a form both sides can be compared in.
struct ReferenceReads {
    size_t columns = 0;
    std::vector<int> monthCounts;
    size_t bars = 0;
    size_t bookedBars = 0;  // bars of a patient (the rest are blocked time)
    QString firstBarText, lastBarText;

    bool operator==(const ReferenceReads&) const = default;
};

ReferenceRequest AllUnitsRequest(const std::vector<ColumnEntity>& columns,
                                 const std::string& editingNo) {
    ReferenceRequest request;
    request.columnMode = 0;
    request.columns = columns;
    request.tabColumn = kAllColumnsTab;
    request.editingNo = editingNo;
    return request;
}

void SummariseBars(const std::vector<ReferenceDay>& days, ReferenceReads* out) {
    for (const ReferenceDay& day : days) {
        for (const ReferenceBar& bar : day.bars) {
            if (out->bars == 0) out->firstBarText = bar.text;
            out->lastBarText = bar.text;
            ++out->bars;
            if (bar.text != QStringLiteral("予約不可設定")) ++out->bookedBars;
        }
    }
}

// The dialog's record reads, through the functions it calls on opening.
int ReadLikeReferenceDialog(CVeloDBSys* db, const Setup& s, ReferenceReads* out) {
    const std::vector<ColumnEntity> columns = LoadColumnEntities(db, 0);
    out->columns = columns.size();
    const QDate day = CDate::FromYmd(s.day.c_str());
    int status = CountMonth(db, day.year(), day.month(), &out->monthCounts);
    std::vector<ReferenceDay> days;
    if (status == 0)
        status = LoadReferenceDays(db, AllUnitsRequest(columns, s.reservationNo), day, s.gridDays,
                                   &days);
    SummariseBars(days, out);
    return status;
}

// ---- The cancelled-patient rows's plain twin ---------------------------------------------

int Digits(const std::string& text, size_t offset, size_t count) {
    int value = 0;
    for (size_t i = offset; i < offset + count && i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') break;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

QString CancelledTime(const tagRESERVATIONDB& r) {
    const std::string day = FieldText(r.ResDate);
    const int start = ParseTimeField(r.StartTime);
    const int end = ParseTimeField(r.EndTime);
    return QString::asprintf("%4d%s %2d%s%2d%s %02d:%02d-%02d:%02d %3d%s", Digits(day, 0, 4),
                             "年", Digits(day, 4, 2), "月", Digits(day, 6, 2), "日", start / 100,
                             start % 100, end / 100, end % 100, SpanMinutes(end, start),
                             kMinutesUnitText);
}

// ---- The reserved-patient search's plain twin ------------------------------------------

ReservedSearchRow PlainSearchRow(const tagRESERVATIONDB& r, const tagPATIENT1DB& patient,
                                 const QStringList& states) {
    ReservedSearchRow row;
    row.patientId = FieldText(r.PatientID);
    row.reservationNo = FieldText(r.ReservationNo);
    row.status = r.Status;
    row.chartNo = Cp932FieldToQString(patient.ChartNo);
    row.name = Cp932FieldToQString(patient.Name);
    const QDate day = CDate::FromYmd(FieldText(r.ResDate).c_str());
    row.date = day.isValid() ? day.toString(QStringLiteral("yyyy/MM/dd")) : QString();
    const int start = ParseTimeField(r.StartTime);
    row.time = QString::asprintf("%02d:%02d", start / 100, start % 100);
    row.homeTel = Cp932FieldToQString(patient.HomeTel);
    row.mobileTel = Cp932FieldToQString(patient.MobileTel);
    row.mail = Cp932FieldToQString(patient.Email);
    const int state = r.ContactStatus;
    row.contactState = state < states.size() ? states[state] : QString();
    row.contactComment = Cp932FieldToQString(r.ContactComment);
    row.contactMethod = state != 0 ? ContactMethodName(r.ContactMethod) : QString();
    row.contactDate = CTools::MakeDate(FieldText(r.ContactDate).c_str());
    return row;
}

auto RowFields(const ReservedSearchRow& r) {
    return std::tie(r.patientId, r.reservationNo, r.status, r.chartNo, r.name, r.date, r.time,
                    r.homeTel, r.mobileTel, r.contactState, r.contactComment, r.contactMethod,
                    r.contactDate, r.mail);
}

bool SameRow(const ReservedSearchRow& a, const ReservedSearchRow& b) {
    return RowFields(a) == RowFields(b);
}

class CPlainClinic {
public:
    explicit CPlainClinic(const std::string& path) : m_db(path, true, kPlainTables) {
        m_ready = m_db.Ready();
        m_units = Prepare("SELECT data FROM category WHERE type = ? ORDER BY code");
        m_category = Prepare("SELECT data FROM category WHERE type = ? AND code = ?");
        // Which reservations a list takes is read from the covering index; only their
        // records are read.
        m_live = Prepare(
            "SELECT data FROM reservation INDEXED BY r_state"
            " WHERE date >= ? AND date <= ? AND status IN (0, 1)"
            " ORDER BY date, start, rowid");
        m_searched = Prepare(
            "SELECT data FROM reservation INDEXED BY r_state"
            " WHERE date >= ? AND date <= ? AND status IN (0, 1)"
            " AND patient <> '' ORDER BY date, start, rowid");
        m_cancelled = Prepare(
            "SELECT data FROM reservation INDEXED BY r_state"
            " WHERE date >= ?1 AND date <= ?2 AND patient >= ?4"
            " AND (status IN (2, 3, 4) OR (status = 0 AND date < ?3))"
            " ORDER BY date, start, rowid");
        m_counted = Prepare(
            "SELECT date, patient FROM reservation INDEXED BY r_state WHERE date >= ? AND date <= ?"
            " AND status IN (0, 1) AND patient <> ''");
        m_inactive = Prepare("SELECT inactive FROM patient INDEXED BY p_inactive WHERE id = ?");
        m_patient = Prepare("SELECT data FROM patient WHERE id = ?");
        m_patient2 = Prepare("SELECT data FROM patient2 WHERE id = ?");
    }
    ~CPlainClinic() {
        for (sqlite3_stmt* stmt : m_statements) sqlite3_finalize(stmt);
    }
    CPlainClinic(const CPlainClinic&) = delete;
    CPlainClinic& operator=(const CPlainClinic&) = delete;

    bool Ready() const { return m_ready; }

    bool ReadLikeReferenceDialog(const Setup& s, ReferenceReads* out) {
        const std::vector<std::string> units = Units();
        out->columns = units.size();
        const QDate day = CDate::FromYmd(s.day.c_str());
        out->monthCounts.assign(32, 0);
        m_db.ReadConsistently([&] {
            CountMonth(day, &out->monthCounts);
            return true;
        });
        std::vector<ReferenceDay> days;
        for (int d = 0; d < s.gridDays; ++d) {
            ReferenceDay one;
            one.date = CDate::ToYmd(day.addDays(d));
            one.dayOff = CDate().IsDayOff(one.date.c_str()) != 0;
            days.push_back(std::move(one));
        }
        m_patientTexts.clear();
        m_colours.clear();
        m_db.ReadConsistently([&] {
            for (ReferenceDay& one : days) LoadDay(units, s.reservationNo, &one);
            return true;
        });
        SummariseBars(days, out);
        return true;
    }

    bool LoadCancelledRows(const std::string& from, const std::string& to,
                           std::vector<CancelledRow>* out) {
        struct Found {
            std::string patientId, day, start;
            CancelledRow row;
        };
        std::vector<Found> found;
        std::map<std::string, std::optional<tagPATIENTDB>> patients;
        const std::string today = CDate::ToYmd(CDate::Today());
        const std::string firstPatient = StandbyNoText(0);
        const QString noShowMark = QStringLiteral("＊");
        CPlainRead read(m_db);
        Bind(m_cancelled, {from, to, today, firstPatient});
        while (sqlite3_step(m_cancelled) == SQLITE_ROW) {
            const tagRESERVATIONDB& r = RecordAt<tagRESERVATIONDB>(m_cancelled);
            const std::string day = FieldText(r.ResDate);
            const bool noShow = r.Status == uint8_t(ResStatus::Booked) && day < today;
            const std::string patientId = FieldText(r.PatientID);
            auto it = patients.find(patientId);
            if (it == patients.end()) it = patients.emplace(patientId, ReadPatient(patientId)).first;
            if (!it->second) continue;
            const tagPATIENTDB& patient = *it->second;
            Found item{patientId, day, FieldText(r.StartTime), {}};
            item.row.reservationNo = FieldText(r.ReservationNo);
            item.row.patientId = patientId;
            item.row.noShow = noShow;
            item.row.chartNo = Cp932FieldToQString(patient.ChartNo);
            item.row.name = Cp932FieldToQString(patient.Name);
            item.row.time = (noShow ? noShowMark : QString()) + CancelledTime(r);
            item.row.reason = Cp932FieldToQString(r.StatusReason);
            found.push_back(std::move(item));
        }
        sqlite3_reset(m_cancelled);
        std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
            return std::tie(a.patientId, a.day, a.start) < std::tie(b.patientId, b.day, b.start);
        });
        out->clear();
        for (Found& item : found) out->push_back(std::move(item.row));
        return true;
    }

    // The date search: blocked time, reservations cancelled or changed (status above came)
    // and those of missing or inactive patients are skipped; each patient is read once.
    bool SearchReserved(const std::string& from, const std::string& to,
                        std::vector<ReservedSearchRow>* out) {
        out->clear();
        const QStringList states = ContactStatusNames();
        std::map<std::string, std::optional<tagPATIENT1DB>> patients;
        CPlainRead read(m_db);
        Bind(m_searched, {from, to});
        while (sqlite3_step(m_searched) == SQLITE_ROW) {
            const tagRESERVATIONDB& r = RecordAt<tagRESERVATIONDB>(m_searched);
            const std::string patientId = FieldText(r.PatientID);
            auto it = patients.find(patientId);
            if (it == patients.end()) {
                tagPATIENT1DB patient;
                const bool read = ReadOne(m_patient, {patientId}, &patient);
                it =
                    patients.emplace(patientId, read ? std::optional(patient) : std::nullopt).first;
            }
            if (!it->second || it->second->InactiveFlag == 1) continue;
            out->push_back(PlainSearchRow(r, *it->second, states));
        }
        sqlite3_reset(m_searched);
        return true;
    }

private:
    // The suite's tables in the plain file, each of which the record manager keeps in a file
    // with a page cache of its own.
    static constexpr int kPlainTables = 4;

    // Ends the read transaction a list was read in when the list is built.
    class CPlainRead {
    public:
        explicit CPlainRead(CPlainDb& db) : m_db(db) { m_db.Begin(); }
        ~CPlainRead() { m_db.Commit(); }
        CPlainRead(const CPlainRead&) = delete;
        CPlainRead& operator=(const CPlainRead&) = delete;

    private:
        CPlainDb& m_db;
    };

    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* stmt = nullptr;
        if (!m_db.Ready() ||
            sqlite3_prepare_v2(m_db.Handle(), sql, -1, &stmt, nullptr) != SQLITE_OK)
            m_ready = false;
        m_statements.push_back(stmt);
        return stmt;
    }

    static void Bind(sqlite3_stmt* stmt, std::initializer_list<std::string> texts) {
        int column = 0;
        for (const std::string& text : texts)
            sqlite3_bind_text(stmt, ++column, text.c_str(), -1, SQLITE_TRANSIENT);
    }

    template <typename Record>
    static const Record& RecordAt(sqlite3_stmt* stmt) {
        return *static_cast<const Record*>(sqlite3_column_blob(stmt, 0));
    }

    template <typename Out>
    bool ReadOne(sqlite3_stmt* stmt, std::initializer_list<std::string> keys, Out* out) {
        Bind(stmt, keys);
        const bool found = sqlite3_step(stmt) == SQLITE_ROW;
        if (found) std::memcpy(out, sqlite3_column_blob(stmt, 0), sizeof *out);
        sqlite3_reset(stmt);
        return found;
    }

    std::optional<tagPATIENTDB> ReadPatient(const std::string& id) {
        if (id.empty()) return std::nullopt;
        tagPATIENTDB patient{};
        auto* bytes = reinterpret_cast<char*>(&patient);
        if (!ReadOne(m_patient, {id}, reinterpret_cast<tagPATIENT1DB*>(bytes))) return std::nullopt;
        if (!ReadOne(m_patient2, {id}, reinterpret_cast<tagPATIENT2DB*>(bytes + sizeof(tagPATIENT1DB))))
            return std::nullopt;
        return patient;
    }

    std::vector<std::string> Units() {
        std::vector<std::string> units;
        Bind(m_units, {kCategoryUnit});
        while (sqlite3_step(m_units) == SQLITE_ROW) {
            const tagCATEGORYDB& c = RecordAt<tagCATEGORYDB>(m_units);
            if (std::strncmp(c.HiddenMark, "__", 2) == 0) continue;
            units.push_back(FieldText(c.Code));
            benchmark::DoNotOptimize(Cp932FieldToQString(c.Name));
        }
        sqlite3_reset(m_units);
        return units;
    }

    void CountMonth(const QDate& day, std::vector<int>* counts) {
        char first[16], last[16];
        std::snprintf(first, sizeof first, "%04d%02d01", day.year(), day.month());
        std::snprintf(last, sizeof last, "%04d%02d31", day.year(), day.month());
        std::unordered_map<std::string, bool> patientCounts;
        Bind(m_counted, {first, last});
        while (sqlite3_step(m_counted) == SQLITE_ROW) {
            const std::string date = reinterpret_cast<const char*>(sqlite3_column_text(m_counted, 0));
            const std::string id = reinterpret_cast<const char*>(sqlite3_column_text(m_counted, 1));
            auto it = patientCounts.find(id);
            if (it == patientCounts.end()) {
                Bind(m_inactive, {id});
                const bool counts =
                    sqlite3_step(m_inactive) == SQLITE_ROW && sqlite3_column_int(m_inactive, 0) == 0;
                sqlite3_reset(m_inactive);
                it = patientCounts.emplace(id, counts).first;
            }
            if (it->second) ++(*counts)[size_t(Digits(date, 6, 2))];
        }
        sqlite3_reset(m_counted);
    }

    const QString& PatientText(const std::string& id) {
        auto it = m_patientTexts.find(id);
        if (it != m_patientTexts.end()) return it->second;
        tagPATIENT1DB patient;
        const QString text =
            ReadOne(m_patient, {id}, &patient)
                ? QStringLiteral("[%1] %2").arg(Cp932FieldToQString(patient.ChartNo),
                                                Cp932FieldToQString(patient.Name))
                : QStringLiteral("[] ");
        return m_patientTexts.emplace(id, text).first->second;
    }

    uint32_t TypeColour(const std::string& code) {
        auto it = m_colours.find(code);
        if (it != m_colours.end()) return it->second;
        tagCATEGORYDB type;
        const uint32_t colour = ReadOne(m_category, {kCategoryResType, code}, &type)
                                    ? uint32_t(type.Colour)
                                    : kDefaultBarColour;
        return m_colours.emplace(code, colour).first->second;
    }

    void LoadDay(const std::vector<std::string>& units, const std::string& editingNo,
                 ReferenceDay* day) {
        Bind(m_live, {day->date, day->date});
        while (sqlite3_step(m_live) == SQLITE_ROW) {
            const tagRESERVATIONDB& r = RecordAt<tagRESERVATIONDB>(m_live);
            const std::string number = FieldText(r.ReservationNo);
            if (number == editingNo) continue;
            const auto unit = std::find(units.begin(), units.end(), FieldText(r.UnitCode));
            if (unit == units.end()) continue;
            ReferenceBar bar;
            bar.reservationNo = number;
            bar.start = ParseTimeField(r.StartTime);
            bar.end = ParseTimeField(r.EndTime);
            bar.row = int(unit - units.begin());
            bar.came = r.Status == uint8_t(ResStatus::Came);
            bar.colour = TypeColour(FieldText(r.ResTypeCode));
            const std::string patientId = FieldText(r.PatientID);
            bar.text = patientId.empty() ? QStringLiteral("予約不可設定") : PatientText(patientId);
            day->bars.push_back(std::move(bar));
        }
        sqlite3_reset(m_live);
    }

    CPlainDb m_db;
    bool m_ready = true;
    std::vector<sqlite3_stmt*> m_statements;
    sqlite3_stmt *m_units, *m_category, *m_live, *m_searched, *m_cancelled, *m_counted,
        *m_inactive, *m_patient, *m_patient2;
    std::unordered_map<std::string, QString> m_patientTexts;
    std::unordered_map<std::string, uint32_t> m_colours;
};

// ---- Both sides agree before anything is timed ------------------------------------------

// Both sides list the same rows, as many as the setup counted.
std::string CheckSameSearch(CVeloDBSys* db, CPlainClinic* clinic, const std::string& from,
                            const std::string& to, size_t expectedRows) {
    std::vector<ReservedSearchRow> ours, plain;
    if (SearchReservedPatients(db, DateSearch(from, to), CDate::FromYmd(from.c_str()), &ours) != 0)
        return "the suite could not run the reserved search of " + from + "-" + to;
    clinic->SearchReserved(from, to, &plain);
    if (ours.size() != plain.size())
        return "the reserved search of " + from + "-" + to + " has " + std::to_string(ours.size()) +
               " rows in the suite and " + std::to_string(plain.size()) + " in SQLite";
    for (size_t i = 0; i < ours.size(); ++i) {
        if (!SameRow(ours[i], plain[i]))
            return "the reserved search of " + from + "-" + to + " differs at row " +
                   std::to_string(i) + " (reservation " + ours[i].reservationNo + " / " +
                   plain[i].reservationNo + ")";
    }
    if (ours.size() != expectedRows || ours.empty())
        return "the reserved search of " + from + "-" + to + " lists " +
               std::to_string(ours.size()) + " rows, not the " + std::to_string(expectedRows) +
               " counted before";
    return std::string();
}

std::string CheckSameResults(const Setup& s) {
    CVeloDBSys db(s.folder);
    CPlainClinic clinic(s.plain);
    if (!clinic.Ready()) return "SQLite could not prepare its reads";
    ReferenceReads ours, plain;
    if (ReadLikeReferenceDialog(&db, s, &ours) != 0)
        return "the suite could not read the reference dialog's records";
    clinic.ReadLikeReferenceDialog(s, &plain);
    if (!(ours == plain)) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "the reference reads differ: columns %zu/%zu, bars %zu/%zu, booked %zu/%zu",
                      ours.columns, plain.columns, ours.bars, plain.bars, ours.bookedBars,
                      plain.bookedBars);
        return text;
    }
    std::vector<CancelledRow> ourRows, plainRows;
    if (LoadCancelledRows(&db, s.day, s.standbyTo, false, &ourRows) != 0)
        return "the suite could not read the cancelled rows";
    clinic.LoadCancelledRows(s.day, s.standbyTo, &plainRows);
    bool same = ourRows.size() == plainRows.size();
    for (size_t i = 0; same && i < ourRows.size(); ++i)
        same = ourRows[i].reservationNo == plainRows[i].reservationNo &&
               ourRows[i].time == plainRows[i].time && ourRows[i].name == plainRows[i].name;
    if (!same) return "the cancelled rows differ between the two sides";
    std::string error = CheckSameSearch(&db, &clinic, s.day, s.searchTo, s.searchRows);
    if (error.empty())
        error = CheckSameSearch(&db, &clinic, s.day, s.searchRowsTo, s.searchRowsLong);
    if (!error.empty()) return error;
    std::fprintf(stderr,
                 "lists: the reference opens on %s with %zu units, %d day blocks, %zu bars "
                 "(%zu of patients); the cancelled list of %s-%s has %zu rows\n",
                 s.day.c_str(), ours.columns, s.gridDays, ours.bars, ours.bookedBars,
                 s.day.c_str(), s.standbyTo.c_str(), ourRows.size());
    std::fprintf(
        stderr,
        "lists: the reserved search of %s-%s (%d days) has %zu rows; of %s-%s (%lld "
        "days) %zu rows\n",
        s.day.c_str(), s.searchTo.c_str(), kSearchDays, s.searchRows, s.day.c_str(),
        s.searchRowsTo.c_str(),
        static_cast<long long>(
            CDate::FromYmd(s.day.c_str()).daysTo(CDate::FromYmd(s.searchRowsTo.c_str())) + 1),
        s.searchRowsLong);
    return std::string();
}

const std::string& CheckError() {
    static const std::string error =
        TheSetup().error.empty() ? CheckSameResults(TheSetup()) : TheSetup().error;
    return error;
}

// ---- The cases ----------------------------------------------------------------------------

void BM_ReferenceOpen_Recman(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    for (auto _ : state) {
        ReferenceReads reads;
        if (ReadLikeReferenceDialog(&db, s, &reads) != 0) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(reads.bars);
    }
}

void BM_ReferenceOpen_Sqlite(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    CPlainClinic clinic(s.plain);
    for (auto _ : state) {
        ReferenceReads reads;
        clinic.ReadLikeReferenceDialog(s, &reads);
        benchmark::DoNotOptimize(reads.bars);
    }
}

void BM_ReferenceDialog(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    ReferenceDlgInputs inputs;
    inputs.reservationNo = s.reservationNo;
    inputs.date = CDate::FromYmd(s.day.c_str());
    for (auto _ : state) {
        auto dialog = std::make_unique<CReferenceDlg>(&db, inputs);
        dialog->show();
        benchmark::DoNotOptimize(dialog.get());
        state.PauseTiming();
        dialog.reset();
        state.ResumeTiming();
    }
}

void BM_StandbyCancelled30Days_Recman(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    for (auto _ : state) {
        std::vector<CancelledRow> rows;
        if (LoadCancelledRows(&db, s.day, s.standbyTo, false, &rows) != 0)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(rows.data());
    }
}

void BM_StandbyCancelled30Days_Sqlite(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    CPlainClinic clinic(s.plain);
    for (auto _ : state) {
        std::vector<CancelledRow> rows;
        clinic.LoadCancelledRows(s.day, s.standbyTo, &rows);
        benchmark::DoNotOptimize(rows.data());
    }
}

void RunSearchCase(benchmark::State& state, const std::string& to) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    const ReservedSearchRequest request = DateSearch(s.day, to);
    const QDate today = CDate::FromYmd(s.day.c_str());
    for (auto _ : state) {
        std::vector<ReservedSearchRow> rows;
        if (SearchReservedPatients(&db, request, today, &rows) != 0)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(rows.data());
    }
}

void RunPlainSearchCase(benchmark::State& state, const std::string& to) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    CPlainClinic clinic(s.plain);
    for (auto _ : state) {
        std::vector<ReservedSearchRow> rows;
        clinic.SearchReserved(s.day, to, &rows);
        benchmark::DoNotOptimize(rows.data());
    }
}

void BM_ReservedSearch7Days_Recman(benchmark::State& state) {
    RunSearchCase(state, TheSetup().searchTo);
}

void BM_ReservedSearch7Days_Sqlite(benchmark::State& state) {
    RunPlainSearchCase(state, TheSetup().searchTo);
}

void BM_ReservedSearch2000Rows_Recman(benchmark::State& state) {
    RunSearchCase(state, TheSetup().searchRowsTo);
}

void BM_ReservedSearch2000Rows_Sqlite(benchmark::State& state) {
    RunPlainSearchCase(state, TheSetup().searchRowsTo);
}

void BM_ReservedSearchDialog(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    const QDate from = CDate::FromYmd(s.day.c_str());
    const QDate to = CDate::FromYmd(s.searchTo.c_str());
    const QString fromName = QString::number(CReservedSearchDlg::kIdFrom);
    const QString toName = QString::number(CReservedSearchDlg::kIdTo);
    for (auto _ : state) {
        auto dialog = std::make_unique<CReservedSearchDlg>(&db);
        auto* fromEdit = dialog->findChild<QDateEdit*>(fromName);
        auto* toEdit = dialog->findChild<QDateEdit*>(toName);
        if (fromEdit == nullptr || toEdit == nullptr)
            return state.SkipWithError("the dialog has no date range controls");
        fromEdit->setDate(from);
        toEdit->setDate(to);
        dialog->show();
        dialog->RunSearch();
        const int listed = dialog->List()->GetItemCount();
        state.PauseTiming();
        if (listed == 0 || size_t(listed) != dialog->Rows().size())
            state.SkipWithError("the dialog's list does not show the search's rows");
        dialog.reset();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_ReferenceOpen_Recman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceOpen_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceDialog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandbyCancelled30Days_Recman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandbyCancelled30Days_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReservedSearch7Days_Recman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReservedSearch7Days_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReservedSearch2000Rows_Recman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReservedSearch2000Rows_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReservedSearchDialog)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (BenchDemoClinic("bench_lists") == nullptr) return 0;
    // The dialog needs an application object; nothing is shown.
    UseOffscreenWindows();
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    CRatioReporter reporter;
    RunBenchmarks(argc, argv, &reporter);
    const Setup& s = TheSetup();
    reporter.PrintRatios({{"ReferenceOpen", 3.0},
                          {"StandbyCancelled30Days", 3.0},
                          {"ReservedSearch7Days", 3.0},
                          {"ReservedSearch2000Rows", 3.0}});
    if (const auto t = reporter.Time("BM_ReferenceOpen_Recman"))
        std::printf("FIGURE ReferenceOpen %.2f ms (target < 100)\n", *t);
    if (const auto t = reporter.Time("BM_ReferenceDialog"))
        std::printf("FIGURE ReferenceDialog %.2f ms (target < 100)\n", *t);
    if (const auto t = reporter.Time("BM_StandbyCancelled30Days_Recman"))
        std::printf("FIGURE StandbyCancelled30Days %.2f ms (target < 100)\n", *t);
    if (const auto t = reporter.Time("BM_ReservedSearch7Days_Recman"))
        std::printf("FIGURE ReservedSearch7Days %.2f ms for %zu rows (target < 100)\n", *t,
                    s.searchRows);
    if (const auto t = reporter.Time("BM_ReservedSearch2000Rows_Recman"))
        std::printf("FIGURE ReservedSearch2000Rows %.2f ms for %zu rows (target < 100)\n", *t,
                    s.searchRowsLong);
    if (const auto t = reporter.Time("BM_ReservedSearchDialog"))
        std::printf("FIGURE ReservedSearchDialog %.2f ms for %zu rows (target < 100)\n", *t,
                    s.searchRows);
    recman::Shutdown();
    std::error_code error;
    if (!s.work.empty()) fs::remove_all(s.work, error);
    return 0;
}
