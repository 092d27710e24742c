// The screens' loads and the booking save on a server-backed clinic, against plain libpq
// doing the same reads and writes on the same server in the same run, and the round trips
// the suite's side needs for them.
//
// The clinic is the demo clinic that scripts/bench pushed to its private server, named by
// VELO_BENCH_SERVER_DB; the program works on a copy of its database that the server makes
// for the run (so that every run starts from the same records) and drops at the end. The
// plain libpq side keeps the same records in tables of its own in the schema "plain" of the
// same database, loaded once per pushed database by COPY from the suite's tables and kept
// with the cluster: each with its record as bytea and the columns its queries need, indexed
// like the suite's keys. It is the best a client written straight against libpq would do: it
// prepares every statement once, has the server plan them once (a day's reads, the lab list,
// the booking save) or for each run's values (a week's range, which a single plan serves
// several times slower), whichever is faster, sends the statements of one load or one save together in
// pipeline mode (a day or week reload, and the lab refresh, are one round trip in one
// REPEATABLE READ READ ONLY transaction, the patients and lab items joined to the
// reservations and the small masters read whole; the booking save is two round trips in
// one transaction, the counter row locked first so that bookings take turns), and builds
// the same bars, rows and records as the plain SQLite sides (plainsheet.h, plainlab.h,
// bookingplan.h). Both sides' results are compared before anything is timed. The cases:
//   ServerSheetDay, ServerSheetWeek   the sheet's day and week reloads (LoadDayWithClock,
//                                     LoadWeek) of the day in the middle of the reservations;
//   ServerLabRefresh                  the lab schedule's refresh of seven days;
//   ServerBookingSave                 a came booking with a collected fee (SaveReservation).
// The run ends in
//   RATIO <case> <suite's time / plain libpq's time> 2.0
//   ROUNDTRIPS <case> <round trips per operation> <target>   (and <case>Cold)
//   FIGURE <case>RoundTrips ...
// and FIGURE ServerBookingSave with the server's synchronous_commit (scripts/bench runs
// the server with commits that do not wait for the disk's sync, which would otherwise make
// up most of either side's save), which scripts/bench collects. Round trips are counted by the
// record manager (recman::RoundTrips) per operation in the steady state, and for the first
// operation after the record manager starts afresh (recman::Shutdown: no connection, no cached
// table, no prepared statement), with the time they would add on a LAN at 0.5 ms each.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QCoreApplication>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "benchserver.h"
#include "bookingplan.h"
#include "lab/labcore.h"
#include "plainlab.h"
#include "plainpg.h"
#include "plainsheet.h"
#include "ratioreporter.h"
#include "recman/recman.h"
#include "sheet/reservation.h"
#include "sheet/reservationsave.h"
#include "sheet/sheetdata.h"
#include "sheet/sheetsettings.h"
#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/saledb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/tool/date.h"

namespace {

using namespace velo::sheet;
namespace fs = std::filesystem;
using Table = CPlainSheetLookup::Table;

constexpr int kSavesPerRepetition = 200;
constexpr double kRatioTarget = 2.0;
constexpr double kLanMsPerRoundTrip = 0.5;
constexpr int kReloadRoundTrips = 10;
constexpr int kSaveRoundTrips = 6;
constexpr int kLabDays = 7;
// The plain tables' recipe, kept beside them: a change here loads them again.
constexpr char kPlainRecipe[] = "plain tables 1";

std::string Bytes(const void* data, size_t size) {
    return std::string(static_cast<const char*>(data), size);
}

template <typename Record>
std::string Bytes(const Record& record) {
    return Bytes(&record, sizeof record);
}

// ---- The plain tables, loaded once per pushed database --------------------------------------

const char* const kPlainSchema =
    "DROP SCHEMA IF EXISTS plain CASCADE;"
    "CREATE SCHEMA plain;"
    "CREATE TABLE plain.reservation(seq bigint GENERATED ALWAYS AS IDENTITY, no text PRIMARY KEY,"
    " date text NOT NULL, start text NOT NULL, end_time text NOT NULL, status int4 NOT NULL,"
    " patient text NOT NULL, unit text NOT NULL, doctor text NOT NULL, type text NOT NULL,"
    " material text NOT NULL, data bytea NOT NULL);"
    "CREATE TABLE plain.patient(id text PRIMARY KEY, data bytea NOT NULL);"
    "CREATE TABLE plain.patient2(id text PRIMARY KEY, data bytea NOT NULL);"
    "CREATE TABLE plain.material(no text PRIMARY KEY, due text NOT NULL, patient text NOT NULL,"
    " data bytea NOT NULL);"
    "CREATE TABLE plain.category(type text, code text, data bytea NOT NULL,"
    " PRIMARY KEY(type, code));"
    "CREATE TABLE plain.doctor(code text PRIMARY KEY, data bytea NOT NULL);"
    "CREATE TABLE plain.credit(cate text, item text, data bytea NOT NULL,"
    " PRIMARY KEY(cate, item));"
    "CREATE TABLE plain.staff(code text PRIMARY KEY, data bytea NOT NULL);"
    "CREATE TABLE plain.way(code text PRIMARY KEY, data bytea NOT NULL);"
    "CREATE TABLE plain.condition(code text PRIMARY KEY, data bytea NOT NULL);"
    "CREATE TABLE plain.introdr(code text PRIMARY KEY, data bytea NOT NULL);"
    "CREATE TABLE plain.custom(tbl text, code text, data bytea NOT NULL,"
    " PRIMARY KEY(tbl, code));"
    "CREATE TABLE plain.counter(name text PRIMARY KEY, data bytea NOT NULL);"
    "CREATE TABLE plain.sale(no text PRIMARY KEY, patient text NOT NULL, date text NOT NULL,"
    " data bytea NOT NULL);"
    "CREATE TABLE plain.line(sale text, line text, patient text NOT NULL, date text NOT NULL,"
    " data bytea NOT NULL, PRIMARY KEY(sale, line));"
    "CREATE TABLE plain.recipe(recipe text NOT NULL);";

// The suite's other keys of the tables the save writes, so that both sides keep as many
// indexes up to date, and the keys the loads read by; made after the tables are filled.
const char* const kPlainIndexes =
    "CREATE INDEX ON plain.reservation(date, start, seq);"
    "CREATE INDEX ON plain.reservation(unit, date, start);"
    "CREATE INDEX ON plain.reservation(doctor, date, start);"
    "CREATE INDEX ON plain.reservation(patient, date, start);"
    "CREATE INDEX ON plain.reservation(patient, no);"
    "CREATE INDEX ON plain.reservation(material);"
    "CREATE INDEX ON plain.material(due, no);"
    "CREATE INDEX ON plain.sale(patient, date);"
    "CREATE INDEX ON plain.sale(date, no);"
    "CREATE INDEX ON plain.line(patient, date);";

// Copies every record of a table class, in the order of `key`, into a plain table through
// COPY: `columns` gives the key columns of a record (binary form); the record goes last.
// A record whose key columns came before is left out, as a lookup by them finds the first.
template <typename Table, typename Columns>
bool CopyInto(CPgLoader& loader, const std::string& folder, int key, const std::string& target,
              Columns columns, bool unique = true) {
    Table table;
    if (table.Open(folder) != 0 || !loader.BeginCopy(target)) return false;
    table.SetKey(key);
    std::unordered_map<std::string, bool> seen;
    bool ok = true;
    for (int st = table.GetFIRST(); ok && st == 0; st = table.GetNEXT()) {
        std::vector<std::string> fields = columns(table.m_Data);
        if (unique) {
            std::string joined;
            for (const std::string& f : fields) joined += f + '\x1f';
            if (!seen.emplace(joined, true).second) continue;
        }
        fields.push_back(Bytes(table.m_Data));
        ok = loader.CopyRow(fields);
    }
    return loader.EndCopy() && ok;
}

bool CopyReservations(CPgLoader& loader, const std::string& folder) {
    return CopyInto<CReservationDB>(
        loader, folder, CReservationDB::kKeyTime,
        "plain.reservation(no, date, start, end_time, status, patient, unit, doctor, type,"
        " material, data)",
        [](const tagRESERVATIONDB& r) {
            return std::vector<std::string>{FieldText(r.ReservationNo), FieldText(r.ResDate),
                                            FieldText(r.StartTime),     FieldText(r.EndTime),
                                            PgInt4(r.Status),           FieldText(r.PatientID),
                                            FieldText(r.UnitCode),      FieldText(r.DoctorCode),
                                            FieldText(r.ResTypeCode),   FieldText(r.MaterialNo)};
        },
        false);
}

bool CopyPatientsAndItems(CPgLoader& loader, const std::string& folder) {
    return CopyInto<CPatient1DB>(loader, folder, 0, "plain.patient(id, data)",
                                 [](const tagPATIENT1DB& r) {
                                     return std::vector<std::string>{FieldText(r.PatientID)};
                                 }) &&
           CopyInto<CPatient2DB>(loader, folder, 0, "plain.patient2(id, data)",
                                 [](const tagPATIENT2DB& r) {
                                     return std::vector<std::string>{FieldText(r.PatientID)};
                                 }) &&
           CopyInto<CMaterialDB>(loader, folder, CMaterialDB::kKeyMaterialNo,
                                 "plain.material(no, due, patient, data)",
                                 [](const tagMATERIALDB& r) {
                                     return std::vector<std::string>{FieldText(r.MaterialNo),
                                                                     FieldText(r.CompletionDate),
                                                                     FieldText(r.PatientID)};
                                 });
}

bool CopyMasters(CPgLoader& loader, const std::string& folder) {
    const auto code = [](const auto& r) { return std::vector<std::string>{FieldText(r.Code)}; };
    return CopyInto<CCategoryDB>(
               loader, folder, CCategoryDB::kKeyTypeCode, "plain.category(type, code, data)",
               [](const tagCATEGORYDB& r) {
                   return std::vector<std::string>{FieldText(r.Type), FieldText(r.Code)};
               }) &&
           CopyInto<CDoctorDB>(loader, folder, CDoctorDB::kKeyCode, "plain.doctor(code, data)",
                               code) &&
           CopyInto<CCreditItemDB>(loader, folder, CCreditItemDB::kKeyCategoryItem,
                                   "plain.credit(cate, item, data)",
                                   [](const tagCREDITITEMDB& r) {
                                       return std::vector<std::string>{FieldText(r.CategoryCode),
                                                                       FieldText(r.ItemCode)};
                                   }) &&
           CopyInto<CStaffDB>(loader, folder, CStaffDB::kKeyCode, "plain.staff(code, data)",
                              code) &&
           CopyInto<CReservationWayDB>(loader, folder, CReservationWayDB::kKeyCode,
                                       "plain.way(code, data)", code) &&
           CopyInto<CConditionDB>(loader, folder, 0, "plain.condition(code, data)", code) &&
           CopyInto<CIntroDrDB>(loader, folder, 0, "plain.introdr(code, data)", code) &&
           CopyInto<CCustomTblDB>(
               loader, folder, 0, "plain.custom(tbl, code, data)", [](const tagCUSTOMTBLDB& r) {
                   return std::vector<std::string>{FieldText(r.TableID), FieldText(r.Code)};
               });
}

bool CopyCountersAndSales(CPgLoader& loader, const std::string& folder) {
    return CopyInto<CIndexControlDB>(loader, folder, 0, "plain.counter(name, data)",
                                     [](const tagINDEXCONTROLDB& r) {
                                         return std::vector<std::string>{FieldText(r.IndexName)};
                                     }) &&
           CopyInto<CSaleDB>(loader, folder, 0, "plain.sale(no, patient, date, data)",
                             [](const tagSALEDB& r) {
                                 return std::vector<std::string>{FieldText(r.SaleNo),
                                                                 FieldText(r.PatientID),
                                                                 FieldText(r.SaleDate)};
                             }) &&
           CopyInto<CSaleItemDB>(loader, folder, 0, "plain.line(sale, line, patient, date, data)",
                                 [](const tagSALEITEM& r) {
                                     return std::vector<std::string>{
                                         FieldText(r.SaleNo), FieldText(r.LineNo),
                                         FieldText(r.PatientID), FieldText(r.SaleDate)};
                                 });
}

// Loads the plain tables into the clinic's own database unless they are there by this
// recipe already; "" or what failed. Reads the clinic through the suite's tables, then lets
// go of its connection so that the server can copy the database.
std::string LoadPlainTables(const std::string& clinic, const std::string& conninfo) {
    CPgLoader loader(conninfo);
    if (!loader.Ready()) return "plain libpq " + loader.Error();
    if (loader.Value("SELECT recipe FROM plain.recipe") == kPlainRecipe) return std::string();
    std::fprintf(stderr, "server: loading the plain libpq side's tables (once per database)\n");
    const bool ok =
        loader.Exec(kPlainSchema) && CopyReservations(loader, clinic) &&
        CopyPatientsAndItems(loader, clinic) && CopyMasters(loader, clinic) &&
        CopyCountersAndSales(loader, clinic) && loader.Exec(kPlainIndexes) &&
        loader.Exec(std::string("INSERT INTO plain.recipe VALUES('") + kPlainRecipe + "')") &&
        loader.Exec("VACUUM (ANALYZE)");
    recman::Shutdown();
    return ok ? std::string() : "could not load the plain tables: " + loader.Error();
}

// ---- The run's copy and what it reads and books -----------------------------------------

struct Setup {
    std::string work;  // the temporary folder, removed at the end
    std::unique_ptr<CServerClinicCopy> copy;
    std::string folder, conninfo;  // the copy's folder and database
    std::string day;               // the shown day and the week from it, YYYYMMDD
    std::string labFrom, labTo;    // the lab refresh's days
    FeeItem fee;
    std::vector<Booking> plan;
    std::string synchronousCommit;  // whether a commit waits for the disk's sync
    std::string error;
};

// Chooses what the cases read and plans the saves, from the plain tables: the same records
// the suite's tables hold.
std::string Survey(const std::string& conninfo, Setup* s) {
    CPgLoader db(conninfo);
    if (!db.Ready()) return "plain libpq " + db.Error();
    // The day of the middle reservation in time order, as the embedded sheet benchmark.
    const std::string reservations = db.Value("SELECT count(*) FROM plain.reservation");
    s->day = db.Value("SELECT date FROM plain.reservation ORDER BY date, start, seq OFFSET " +
                      std::to_string(std::atoll(reservations.c_str()) / 2) + " LIMIT 1");
    // The middle due day of the lab items, as the embedded lab benchmark.
    const std::string items = db.Value("SELECT count(*) FROM plain.material");
    s->labFrom = db.Value("SELECT due FROM plain.material ORDER BY due OFFSET " +
                          std::to_string(std::atoll(items.c_str()) / 2) + " LIMIT 1");
    s->labTo = CDate::AddDays(s->labFrom.c_str(), kLabDays);
    s->synchronousCommit = db.Value("SHOW synchronous_commit");
    if (s->day.empty() || s->labFrom.empty()) return "the clinic has no reservations or lab items";

    ReservationSurvey survey;
    CPgResults rows;
    CPlainPg plain(conninfo);
    const bool read =
        plain.Run({{nullptr, "SELECT DISTINCT date FROM plain.reservation", {}},
                   {nullptr,
                    "SELECT date, unit, max(end_time) FROM plain.reservation GROUP BY date, unit",
                    {}},
                   {nullptr,
                    "SELECT no, patient, unit, doctor, type FROM plain.reservation"
                    " WHERE status = $1 AND patient <> '' ORDER BY no LIMIT $2::int4",
                    {PgInt4(int(ResStatus::Booked)), PgInt4(kPlannedBookings)}}},
                  &rows);
    if (!read) return "plain libpq could not survey the reservations: " + plain.Error();
    const auto text = [&](size_t r, int row, int column) {
        return std::string(PQgetvalue(rows[r], row, column), PQgetlength(rows[r], row, column));
    };
    for (int i = 0; i < PQntuples(rows[0]); ++i) survey.days.insert(text(0, i, 0));
    for (int i = 0; i < PQntuples(rows[1]); ++i)
        survey.lastEnd[{text(1, i, 0), text(1, i, 1)}] = ParseTimeField(text(1, i, 2).c_str());
    for (int i = 0; i < PQntuples(rows[2]); ++i)
        survey.candidates.push_back(
            {text(2, i, 0), text(2, i, 1), text(2, i, 2), text(2, i, 3), text(2, i, 4)});
    s->plan = PlanBookings(survey, VisibleUnits(s->folder));
    s->fee = ChooseFeeItem(s->folder);
    if (s->plan.empty()) return "no free band to book";
    return std::string();
}

bool g_setUp = false;  // whether a case ran, so that there is a copy to drop

Setup& TheSetup() {
    static Setup setup = [] {
        g_setUp = true;
        Setup s;
        const char* clinic = std::getenv("VELO_BENCH_SERVER_DB");
        std::string conninfo;
        if (recman::ServerConnInfo(clinic, &conninfo) != recman::kOk) {
            s.error = std::string(clinic) + " is not a server-backed clinic";
            return s;
        }
        s.error = LoadPlainTables(clinic, conninfo);
        if (!s.error.empty()) return s;
        char pattern[] = "/tmp/velo-benchserver-XXXXXX";
        if (const char* made = ::mkdtemp(pattern)) s.work = made;
        if (s.work.empty()) {
            s.error = "no temporary folder";
            return s;
        }
        s.copy = std::make_unique<CServerClinicCopy>(clinic, s.work);
        s.error = s.copy->Error();
        if (!s.error.empty()) return s;
        s.folder = s.copy->Folder();
        s.conninfo = s.copy->ConnInfo();
        s.error = Survey(s.conninfo, &s);
        std::fprintf(stderr,
                     "server: a copy of the clinic for the run; the day %s, lab items %s-%s, %zu "
                     "free bands planned\n",
                     s.day.c_str(), s.labFrom.c_str(), s.labTo.c_str(), s.plan.size());
        return s;
    }();
    return setup;
}

// ---- The plain libpq side ----------------------------------------------------------------

const char* const kBeginRead = "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";

// Rows of a result by the key texts a lookup gives, each keeping its first row.
class CRowIndex {
public:
    void Clear() { m_rows.clear(); }
    void Add(const std::string& key, const PGresult* result, int row, int column) {
        if (!PQgetisnull(result, row, column))
            m_rows.emplace(key, std::make_pair(PQgetvalue(result, row, column),
                                               size_t(PQgetlength(result, row, column))));
    }
    bool Find(const std::string& key, void* out, size_t size) const {
        const auto found = m_rows.find(key);
        if (found == m_rows.end() || found->second.second != size) return false;
        std::memcpy(out, found->second.first, size);
        return true;
    }

private:
    std::unordered_map<std::string, std::pair<const char*, size_t>> m_rows;
};

class CPlainServerSheet final : private CPlainSheetLookup {
public:
    // A week's range is best planned for its values, a day's reads once.
    CPlainServerSheet(const std::string& conninfo, CPlainPg::Plans plans) : m_db(conninfo, plans) {
        m_db.Prepare({{"day", kDaySql}, {"week", kWeekSql}, {"masters", kMastersSql}});
    }

    bool Ready() const { return m_db.Ready(); }
    const std::string& Error() const { return m_db.Error(); }
    uint64_t RoundTrips() const { return m_db.RoundTrips(); }

    // One day of the day view: one round trip, one read transaction.
    bool LoadDay(const std::string& date, const std::vector<std::string>& units, bool clock24,
                 DayData* out) {
        if (!Read({"day", nullptr, {PgText(date)}})) return false;
        m_builder.StartLoad();
        m_builder.StartDay(date, out);
        const PGresult* rows = m_results[1];
        for (int i = 0; i < PQntuples(rows); ++i)
            m_builder.Add(Reservation(rows, i), units, false, clock24, out);
        CPlainSheetBuilder::FinishDay(out);
        return true;
    }

    // The seven days of the week view from weekStart: one round trip, one read transaction,
    // one set of lookups.
    bool LoadWeek(const std::string& weekStart, const std::vector<std::string>& units, bool clock24,
                  std::array<DayData, 7>* out) {
        const std::string last = CDate::AddDays(weekStart.c_str(), 6);
        if (!Read({"week", nullptr, {PgText(weekStart), PgText(last)}})) return false;
        m_builder.StartLoad();
        const PGresult* rows = m_results[1];
        int row = 0;
        for (int d = 0; d < 7; ++d) {
            const std::string date = CDate::AddDays(weekStart.c_str(), d);
            m_builder.StartDay(date, &(*out)[d]);
            for (; row < PQntuples(rows) && date == PQgetvalue(rows, row, 4); ++row)
                m_builder.Add(Reservation(rows, row), units, true, clock24, &(*out)[d]);
            CPlainSheetBuilder::FinishDay(&(*out)[d]);
        }
        return true;
    }

private:
    // The reservations with their patients' two records and their lab items.
    static constexpr const char* kDaySql =
        "SELECT r.data, p.data, p2.data, m.data, r.date FROM plain.reservation r"
        " LEFT JOIN plain.patient p ON p.id = r.patient"
        " LEFT JOIN plain.patient2 p2 ON p2.id = r.patient"
        " LEFT JOIN plain.material m ON m.no = r.material"
        " WHERE r.date = $1 ORDER BY r.start, r.seq";
    static constexpr const char* kWeekSql =
        "SELECT r.data, p.data, p2.data, m.data, r.date FROM plain.reservation r"
        " LEFT JOIN plain.patient p ON p.id = r.patient"
        " LEFT JOIN plain.patient2 p2 ON p2.id = r.patient"
        " LEFT JOIN plain.material m ON m.no = r.material"
        " WHERE r.date >= $1 AND r.date <= $2 ORDER BY r.date, r.start, r.seq";
    // The small masters whole, each row with its table (in the order of Table) and its key.
    static constexpr const char* kMastersSql =
        "SELECT 3, cate || chr(31) || item, data FROM plain.credit"
        " UNION ALL SELECT 4, code, data FROM plain.staff"
        " UNION ALL SELECT 5, code, data FROM plain.way"
        " UNION ALL SELECT 6, type || chr(31) || code, data FROM plain.category"
        " UNION ALL SELECT 7, code, data FROM plain.doctor"
        " UNION ALL SELECT 8, code, data FROM plain.condition"
        " UNION ALL SELECT 9, code, data FROM plain.introdr"
        " UNION ALL SELECT 10, tbl || chr(31) || code, data FROM plain.custom";

    static const tagRESERVATIONDB& Reservation(const PGresult* rows, int row) {
        return *reinterpret_cast<const tagRESERVATIONDB*>(PQgetvalue(rows, row, 0));
    }

    // Reads the reservations and the masters in one round trip and indexes what the
    // lookups will ask for.
    bool Read(PgStatementCall reservations) {
        for (CRowIndex& index : m_index) index.Clear();
        if (!m_db.Run({{nullptr, kBeginRead, {}},
                       std::move(reservations),
                       {"masters", nullptr, {}},
                       {nullptr, "COMMIT", {}}},
                      &m_results))
            return false;
        const PGresult* rows = m_results[1];
        for (int i = 0; i < PQntuples(rows); ++i) {
            const tagRESERVATIONDB& r = Reservation(rows, i);
            if (PQgetlength(rows, i, 0) != int(sizeof r)) return false;
            const std::string id = FieldText(r.PatientID);
            m_index[size_t(Table::kPatient1)].Add(id, rows, i, 1);
            m_index[size_t(Table::kPatient2)].Add(id, rows, i, 2);
            m_index[size_t(Table::kMaterial)].Add(FieldText(r.MaterialNo), rows, i, 3);
        }
        const PGresult* masters = m_results[2];
        for (int i = 0; i < PQntuples(masters); ++i) {
            const size_t table = size_t(PgInteger(masters, i, 0));
            if (table < m_index.size())
                m_index[table].Add(
                    std::string(PQgetvalue(masters, i, 1), size_t(PQgetlength(masters, i, 1))),
                    masters, i, 2);
        }
        return true;
    }

    bool Find(Table table, std::initializer_list<std::string> keys, void* out,
              size_t size) override {
        std::string key;
        for (const std::string& k : keys) key += (key.empty() ? "" : "\x1f") + k;
        return m_index[size_t(table)].Find(key, out, size);
    }

    CPlainPg m_db;
    CPgResults m_results;
    std::array<CRowIndex, 11> m_index;
    CPlainSheetBuilder m_builder{this};
};

class CPlainServerLab {
public:
    explicit CPlainServerLab(const std::string& conninfo)
        : m_db(conninfo, CPlainPg::Plans::kOnce) {
        m_db.Prepare({{"lab",
                       "SELECT m.data, p.data FROM plain.material m"
                       " LEFT JOIN plain.patient p ON p.id = m.patient"
                       " WHERE m.due >= $1 AND m.due <= $2 ORDER BY m.due, m.no"}});
    }

    bool Ready() const { return m_db.Ready(); }
    const std::string& Error() const { return m_db.Error(); }
    uint64_t RoundTrips() const { return m_db.RoundTrips(); }

    // The range's items with their patients: one round trip, one read transaction; each
    // patient's part of a row is made once.
    bool Refresh(const std::string& from, const std::string& to, const LabNames& names,
                 std::vector<LabRow>* rows) {
        CPgResults results;
        if (!m_db.Run({{nullptr, kBeginRead, {}},
                       {"lab", nullptr, {PgText(from), PgText(to)}},
                       {nullptr, "COMMIT", {}}},
                      &results))
            return false;
        const PGresult* items = results[1];
        std::map<std::string, PlainLabPerson> people;
        for (int i = 0; i < PQntuples(items); ++i) {
            if (PQgetlength(items, i, 0) != int(sizeof(tagMATERIALDB))) return false;
            const auto& r = *reinterpret_cast<const tagMATERIALDB*>(PQgetvalue(items, i, 0));
            const std::string id = FieldText(r.PatientID);
            auto found = people.find(id);
            if (found == people.end()) {
                const bool named = PQgetlength(items, i, 1) == int(sizeof(tagPATIENT1DB));
                found = people
                            .emplace(
                                id, PlainLabPersonOf(named ? reinterpret_cast<const tagPATIENT1DB*>(
                                                                 PQgetvalue(items, i, 1))
                                                           : nullptr,
                                                     names))
                            .first;
            }
            if (found->second.inactive) continue;
            rows->push_back(PlainLabRow(r, found->second, names));
        }
        return true;
    }

private:
    CPlainPg m_db;
};

// The booking save: the reads in one round trip, after the counter's row lock that makes
// bookings take turns (each later statement then sees every booking committed before); the
// overlap check; the writes and the commit in the second.
class CPlainServerClinic {
public:
    explicit CPlainServerClinic(const std::string& conninfo)
        : m_db(conninfo, CPlainPg::Plans::kOnce) {
        m_db.Prepare({
            {"counter", "SELECT data FROM plain.counter WHERE name = $1 FOR UPDATE"},
            {"strip",
             "SELECT r.data, p.data FROM plain.reservation r"
             " LEFT JOIN plain.patient p ON p.id = r.patient"
             " WHERE r.unit = $1 AND r.date = $2 ORDER BY r.start, r.seq"},
            {"credit", "SELECT data FROM plain.credit WHERE cate = $1 AND item = $2"},
            {"lastsale", "SELECT coalesce(max(no), '0')::int8 FROM plain.sale"},
            {"visit",
             "SELECT date FROM plain.reservation WHERE patient = $1 AND status = $2"
             " ORDER BY date DESC, start DESC LIMIT 1"},
            {"patient",
             "SELECT p.data, p2.data FROM plain.patient p"
             " LEFT JOIN plain.patient2 p2 ON p2.id = p.id WHERE p.id = $1"},
            {"counterupdate", "UPDATE plain.counter SET data = $2 WHERE name = $1"},
            {"insert",
             "INSERT INTO plain.reservation(no, date, start, end_time, status, patient, unit,"
             " doctor, type, material, data) VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11)"},
            {"sale", "INSERT INTO plain.sale(no, patient, date, data) VALUES($1, $2, $3, $4)"},
            {"line",
             "INSERT INTO plain.line(sale, line, patient, date, data) VALUES($1, $2, $3, $4, $5)"},
            {"patientupdate", "UPDATE plain.patient SET data = $2 WHERE id = $1"},
            {"patient2update", "UPDATE plain.patient2 SET data = $2 WHERE id = $1"},
        });
    }

    bool Ready() const { return m_db.Ready(); }
    const std::string& Error() const { return m_db.Error(); }
    uint64_t RoundTrips() const { return m_db.RoundTrips(); }

    // The save of a came reservation with its fee, as SaveReservation does it for a new
    // booking; its number in *number. False when it failed or the band was taken.
    bool SaveCameBooking(const Booking& b, const SheetSettings& settings, const FeeItem& fee,
                         std::string* number) {
        CPgResults read;
        if (!m_db.Run({{nullptr, "BEGIN", {}},
                       {"counter", nullptr, {PgText(kReservationCounter)}},
                       {"strip", nullptr, {PgText(b.unit), PgText(b.day)}},
                       {"credit", nullptr, {PgText(fee.category), PgText(fee.item)}},
                       {"lastsale", nullptr, {}},
                       {"visit", nullptr, {PgText(b.patient), PgInt4(int(ResStatus::Came))}},
                       {"patient", nullptr, {PgText(b.patient)}}},
                      &read)) {
            Rollback();
            return false;
        }
        tagINDEXCONTROLDB counter;
        if (PQntuples(read[1]) != 1 || !PgCopyValue(read[1], 0, 0, &counter, sizeof counter))
            return Rollback();
        *number = TakeCounterNumber(&counter);
        tagRESERVATIONDB r = CameReservation(b, *number, fee);
        if (Overlaps(read[2], b, settings.clock24)) return Rollback();

        tagCREDITITEMDB item;
        const bool named =
            PQntuples(read[3]) == 1 && PgCopyValue(read[3], 0, 0, &item, sizeof item);
        tagSALEDB sale;
        tagSALEITEM line;
        BookFee(&r, PgInteger(read[4], 0, 0), settings, named ? &item : nullptr, &sale, &line);
        const std::string saleNo = FieldText(sale.SaleNo);
        std::vector<PgStatementCall> writes = {
            {"counterupdate", nullptr, {PgText(kReservationCounter), Bytes(counter)}},
            {"insert",
             nullptr,
             {*number, FieldText(r.ResDate), FieldText(r.StartTime), FieldText(r.EndTime),
              PgInt4(r.Status), FieldText(r.PatientID), FieldText(r.UnitCode),
              FieldText(r.DoctorCode), FieldText(r.ResTypeCode), FieldText(r.MaterialNo),
              Bytes(r)}},
            {"sale", nullptr, {saleNo, FieldText(r.PatientID), FieldText(r.ResDate), Bytes(sale)}},
            {"line",
             nullptr,
             {saleNo, "001", FieldText(r.PatientID), FieldText(r.ResDate), Bytes(line)}},
        };
        // A booking of a patient who is no longer in the file still saves. The last visit is
        // the latest came day of all the patient's reservations, the new one among them.
        auto patient = std::make_unique<tagPATIENTDB>();
        auto* bytes = reinterpret_cast<char*>(patient.get());
        if (PQntuples(read[6]) == 1 && PgCopyValue(read[6], 0, 0, bytes, sizeof(tagPATIENT1DB))) {
            if (!PgCopyValue(read[6], 0, 1, bytes + sizeof(tagPATIENT1DB), sizeof(tagPATIENT2DB)))
                std::memset(bytes + sizeof(tagPATIENT1DB), 0, sizeof(tagPATIENT2DB));
            const std::string visited =
                PQntuples(read[5]) == 1 ? PQgetvalue(read[5], 0, 0) : std::string();
            KeepLastVisit(std::max(visited, b.day), patient.get());
            writes.push_back(
                {"patientupdate", nullptr, {b.patient, Bytes(bytes, sizeof(tagPATIENT1DB))}});
            writes.push_back(
                {"patient2update",
                 nullptr,
                 {b.patient, Bytes(bytes + sizeof(tagPATIENT1DB), sizeof(tagPATIENT2DB))}});
        }
        writes.push_back({nullptr, "COMMIT", {}});
        CPgResults written;
        if (!m_db.Run(writes, &written)) return Rollback();
        for (size_t i = 0; i + 1 < written.Size(); ++i)
            if (std::strcmp(PQcmdTuples(written[i]), "1") != 0) return false;
        return true;
    }

private:
    // Whether the band of b overlaps a live reservation of the column.
    static bool Overlaps(const PGresult* column, const Booking& b, bool clock24) {
        std::vector<StripItem> strip;
        for (int i = 0; i < PQntuples(column); ++i) {
            const auto& r = *reinterpret_cast<const tagRESERVATIONDB*>(PQgetvalue(column, i, 0));
            const bool named = PQgetlength(column, i, 1) == int(sizeof(tagPATIENT1DB));
            if (auto item = PlainStripItem(
                    r,
                    named ? reinterpret_cast<const tagPATIENT1DB*>(PQgetvalue(column, i, 1))
                          : nullptr,
                    std::string(), clock24))
                strip.push_back(std::move(*item));
        }
        return FindOverlap(strip, b.start, b.end) != nullptr;
    }

    bool Rollback() {
        CPgResults results;
        m_db.Run({{nullptr, "ROLLBACK", {}}}, &results);
        return false;
    }

    CPlainPg m_db;
};

// ---- Round trips --------------------------------------------------------------------------

// The suite's round trips of one operation: in the steady state over every timed
// iteration, and for the first one after the record manager started afresh.
struct RoundTripFigure {
    uint64_t trips = 0, operations = 0;
    std::optional<uint64_t> cold;
    uint64_t opening = 0;  // before the cold operation: connecting and what the screen reads first
    size_t bars = 0;
    uint64_t plainTrips = 0, plainOperations = 0;
    double Steady() const { return operations ? double(trips) / double(operations) : 0; }
    double Plain() const {
        return plainOperations ? double(plainTrips) / double(plainOperations) : 0;
    }
};

std::map<std::string, RoundTripFigure>& Figures() {
    static std::map<std::string, RoundTripFigure> figures;
    return figures;
}

// Counts the round trips of the timed loop of one case.
class CRoundTripCount {
public:
    explicit CRoundTripCount(const std::string& name)
        : m_figure(Figures()[name]), m_start(recman::RoundTrips()) {}
    ~CRoundTripCount() {
        m_figure.trips += recman::RoundTrips() - m_start;
        m_figure.operations += m_operations;
    }
    void Operation() { ++m_operations; }

private:
    RoundTripFigure& m_figure;
    uint64_t m_start;
    uint64_t m_operations = 0;
};

// Runs `open` and then `operation` once after the record manager started afresh, the first
// time the case runs, and keeps their round trips.
template <typename Open, typename Operation>
void MeasureCold(const std::string& name, Open open, Operation operation) {
    RoundTripFigure& figure = Figures()[name];
    if (figure.cold) return;
    recman::Shutdown();
    const uint64_t start = recman::RoundTrips();
    auto opened = open();
    const uint64_t before = recman::RoundTrips();
    operation(opened);
    figure.opening = before - start;
    figure.cold = recman::RoundTrips() - before;
}

// ---- Both sides agree before anything is timed -------------------------------------------

std::string CheckSameLoads(const Setup& s) {
    CVeloDBSys db(s.folder);
    const auto columns = LoadColumnEntities(&db, 0);
    const auto units = UnitCodes(columns);
    const bool clock24 = ReadSheetSettings().clock24;
    CPlainServerSheet plain(s.conninfo, CPlainPg::Plans::kOnce);
    DayData ourDay, plainDay;
    if (LoadDayWithClock(&db, s.day, 0, columns, false, true, &ourDay) != 0)
        return "the suite could not load the day";
    if (!plain.LoadDay(s.day, units, true, &plainDay))
        return "plain libpq could not load the day: " + plain.Error();
    if (ourDay.bars.empty() || !SameDay(ourDay, plainDay))
        return "the day " + s.day + " loads differently: " + std::to_string(ourDay.bars.size()) +
               " bars in the suite, " + std::to_string(plainDay.bars.size()) + " in plain libpq";
    std::array<DayData, 7> ourWeek, plainWeek;
    if (LoadWeek(&db, s.day, 0, columns, &ourWeek) != 0) return "the suite could not load the week";
    if (!plain.LoadWeek(s.day, units, clock24, &plainWeek))
        return "plain libpq could not load the week: " + plain.Error();
    for (int d = 0; d < 7; ++d) {
        if (!SameDay(ourWeek[d], plainWeek[d]))
            return "the week's day " + ourWeek[d].date + " loads differently";
    }
    Figures()["ServerSheetDay"].bars = ourDay.bars.size();
    size_t weekBars = 0;
    for (const DayData& d : ourWeek) weekBars += d.bars.size();
    Figures()["ServerSheetWeek"].bars = weekBars;

    const LabNames names = LoadLabNames(&db);
    LabFilter range;
    range.from = s.labFrom;
    range.to = s.labTo;
    std::vector<LabRow> ourRows, plainRows;
    if (ReadLabRows(&db, range, names, &ourRows) != 0)
        return "the suite could not read the lab items";
    CPlainServerLab lab(s.conninfo);
    if (!lab.Refresh(s.labFrom, s.labTo, names, &plainRows))
        return "plain libpq could not read the lab items: " + lab.Error();
    if (ourRows.empty() || ourRows.size() != plainRows.size())
        return "the lab refresh lists " + std::to_string(ourRows.size()) +
               " rows in the suite and " + std::to_string(plainRows.size()) + " in plain libpq";
    for (size_t i = 0; i < ourRows.size(); ++i) {
        if (!SameLabRow(ourRows[i], plainRows[i]))
            return "the lab refresh differs at item " + ourRows[i].materialNo;
    }
    std::fprintf(stderr,
                 "server: the day %s has %zu bars, its week %zu, the lab refresh %zu rows on both "
                 "sides\n",
                 s.day.c_str(), ourDay.bars.size(), weekBars, ourRows.size());
    return std::string();
}

// A record as lowercase hexadecimal, as the server encodes bytea.
std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

// The first planned band booked on either side stores the same reservation, sale and
// patient records.
std::string CheckSameSave(const Setup& s, size_t* ourNext, size_t* plainNext) {
    const Booking& b = s.plan[(*ourNext)++];
    ++*plainNext;
    CVeloDBSys db(s.folder);
    const SheetSettings settings = ReadSheetSettings();
    const SaveResult result = SaveReservation(&db, CameBookingInput(b, s.fee), settings);
    if (!result.ok) return "the suite could not save the booking";
    CPlainServerClinic clinic(s.conninfo);
    std::string number;
    if (!clinic.SaveCameBooking(b, settings, s.fee, &number))
        return "plain libpq could not save the booking: " + clinic.Error();
    if (number != result.reservationNo)
        return "the two sides numbered the booking " + result.reservationNo + " and " + number;

    CReservationDB reservations;
    CSaleDB sales;
    auto patients = std::make_unique<CPatientDB>();
    if (reservations.SetAssociatedDB(&db) != 0 ||
        reservations.GetReservationData(number.c_str()) != 0 || sales.SetAssociatedDB(&db) != 0 ||
        sales.GetSaleData(FieldText(reservations.m_Data.SaleNo).c_str()) != 0 ||
        patients->SetAssociatedDB(&db) != 0 || patients->GetPatientData(b.patient.c_str()) != 0)
        return "the suite's booking cannot be read back";
    const std::string saleNo = FieldText(sales.m_Data.SaleNo);
    CPgLoader plain(s.conninfo);
    const auto stored = [&](const std::string& where) {
        return plain.Value("SELECT encode(data, 'hex') FROM plain." + where);
    };
    if (Hex(Bytes(reservations.m_Data)) != stored("reservation WHERE no = '" + number + "'"))
        return "the two sides stored different reservations";
    if (Hex(Bytes(sales.m_Data)) != stored("sale WHERE no = '" + saleNo + "'"))
        return "the two sides stored different sales";
    if (Hex(Bytes(&patients->m_Data, sizeof(tagPATIENT1DB))) !=
        stored("patient WHERE id = '" + b.patient + "'"))
        return "the two sides stored the patient differently";
    std::fprintf(stderr,
                 "server: reservation %s, sale %s and the patient stored alike on both sides\n",
                 number.c_str(), saleNo.c_str());
    return std::string();
}

size_t g_ourNext = 0, g_plainNext = 0;  // the next planned band of either side

const std::string& CheckError() {
    static const std::string error = [] {
        Setup& s = TheSetup();
        if (!s.error.empty()) return s.error;
        std::string e = CheckSameLoads(s);
        return e.empty() ? CheckSameSave(s, &g_ourNext, &g_plainNext) : e;
    }();
    return error;
}

const Booking* NextBooking(const Setup& s, size_t* next) {
    return *next < s.plan.size() ? &s.plan[(*next)++] : nullptr;
}

// ---- The cases ----------------------------------------------------------------------------

void BM_ServerSheetDay_Recman(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    MeasureCold(
        "ServerSheetDay",
        [&] {
            auto db = std::make_unique<CVeloDBSys>(s.folder);
            auto columns = LoadColumnEntities(db.get(), 0);
            return std::make_pair(std::move(db), std::move(columns));
        },
        [&](auto& opened) {
            DayData day;
            LoadDayWithClock(opened.first.get(), s.day, 0, opened.second, false, true, &day);
        });
    CVeloDBSys db(s.folder);
    const auto columns = LoadColumnEntities(&db, 0);
    CRoundTripCount count("ServerSheetDay");
    for (auto _ : state) {
        DayData day;
        if (LoadDayWithClock(&db, s.day, 0, columns, false, true, &day) != 0)
            state.SkipWithError("load failed");
        count.Operation();
        benchmark::DoNotOptimize(day.bars.data());
    }
}

void BM_ServerSheetDay_Libpq(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    const auto units = UnitCodes(LoadColumnEntities(&db, 0));
    CPlainServerSheet plain(s.conninfo, CPlainPg::Plans::kOnce);
    const uint64_t start = plain.RoundTrips();
    for (auto _ : state) {
        DayData day;
        if (!plain.LoadDay(s.day, units, true, &day)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(day.bars.data());
    }
    Figures()["ServerSheetDay"].plainTrips += plain.RoundTrips() - start;
    Figures()["ServerSheetDay"].plainOperations += state.iterations();
}

void BM_ServerSheetWeek_Recman(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    MeasureCold(
        "ServerSheetWeek",
        [&] {
            auto db = std::make_unique<CVeloDBSys>(s.folder);
            auto columns = LoadColumnEntities(db.get(), 0);
            return std::make_pair(std::move(db), std::move(columns));
        },
        [&](auto& opened) {
            std::array<DayData, 7> week;
            LoadWeek(opened.first.get(), s.day, 0, opened.second, &week);
        });
    CVeloDBSys db(s.folder);
    const auto columns = LoadColumnEntities(&db, 0);
    CRoundTripCount count("ServerSheetWeek");
    for (auto _ : state) {
        std::array<DayData, 7> week;
        if (LoadWeek(&db, s.day, 0, columns, &week) != 0) state.SkipWithError("load failed");
        count.Operation();
        benchmark::DoNotOptimize(week.data());
    }
}

void BM_ServerSheetWeek_Libpq(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    const auto units = UnitCodes(LoadColumnEntities(&db, 0));
    const bool clock24 = ReadSheetSettings().clock24;
    CPlainServerSheet plain(s.conninfo, CPlainPg::Plans::kPerRun);
    const uint64_t start = plain.RoundTrips();
    for (auto _ : state) {
        std::array<DayData, 7> week;
        if (!plain.LoadWeek(s.day, units, clock24, &week)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(week.data());
    }
    Figures()["ServerSheetWeek"].plainTrips += plain.RoundTrips() - start;
    Figures()["ServerSheetWeek"].plainOperations += state.iterations();
}

LabFilter LabRange(const Setup& s) {
    LabFilter f;
    f.from = s.labFrom;
    f.to = s.labTo;
    return f;
}

void BM_ServerLabRefresh_Recman(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    MeasureCold(
        "ServerLabRefresh",
        [&] {
            auto db = std::make_unique<CVeloDBSys>(s.folder);
            LabNames names = LoadLabNames(db.get());
            return std::make_pair(std::move(db), std::move(names));
        },
        [&](auto& opened) {
            std::vector<LabRow> rows;
            ReadLabRows(opened.first.get(), LabRange(s), opened.second, &rows);
        });
    CVeloDBSys db(s.folder);
    const LabNames names = LoadLabNames(&db);
    CRoundTripCount count("ServerLabRefresh");
    for (auto _ : state) {
        std::vector<LabRow> rows;
        if (ReadLabRows(&db, LabRange(s), names, &rows) != 0) state.SkipWithError("read failed");
        count.Operation();
        benchmark::DoNotOptimize(rows.data());
    }
}

void BM_ServerLabRefresh_Libpq(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    const LabNames names = LoadLabNames(&db);
    CPlainServerLab lab(s.conninfo);
    const uint64_t start = lab.RoundTrips();
    for (auto _ : state) {
        std::vector<LabRow> rows;
        if (!lab.Refresh(s.labFrom, s.labTo, names, &rows)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(rows.data());
    }
    Figures()["ServerLabRefresh"].plainTrips += lab.RoundTrips() - start;
    Figures()["ServerLabRefresh"].plainOperations += state.iterations();
}

void BM_ServerBookingSave_Recman(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    // "" or why the save failed.
    const auto save = [&](CVeloDBSys* db, const SheetSettings& settings) -> std::string {
        const Booking* booking = NextBooking(s, &g_ourNext);
        if (booking == nullptr) return "the planned free bands ran out";
        const SaveResult result = SaveReservation(db, CameBookingInput(*booking, s.fee), settings);
        if (result.ok) return std::string();
        return "the save failed (string " + std::to_string(result.stringId) + ", status " +
               std::to_string(result.status) + ")";
    };
    MeasureCold(
        "ServerBookingSave",
        [&] {
            auto db = std::make_unique<CVeloDBSys>(s.folder);
            return std::make_pair(std::move(db), ReadSheetSettings());
        },
        [&](auto& opened) { save(opened.first.get(), opened.second); });
    CVeloDBSys db(s.folder);
    const SheetSettings settings = ReadSheetSettings();
    CRoundTripCount count("ServerBookingSave");
    for (auto _ : state) {
        const std::string failed = save(&db, settings);
        if (!failed.empty()) return state.SkipWithError(failed.c_str());
        count.Operation();
    }
}

void BM_ServerBookingSave_Libpq(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    const Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    const SheetSettings settings = ReadSheetSettings();
    CPlainServerClinic clinic(s.conninfo);
    const uint64_t start = clinic.RoundTrips();
    for (auto _ : state) {
        const Booking* booking = NextBooking(s, &g_plainNext);
        std::string number;
        if (booking == nullptr) return state.SkipWithError("the planned free bands ran out");
        if (!clinic.SaveCameBooking(*booking, settings, s.fee, &number)) {
            const std::string failed = "the save failed: " + clinic.Error();
            return state.SkipWithError(failed.c_str());
        }
    }
    Figures()["ServerBookingSave"].plainTrips += clinic.RoundTrips() - start;
    Figures()["ServerBookingSave"].plainOperations += state.iterations();
}

BENCHMARK(BM_ServerSheetDay_Recman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServerSheetDay_Libpq)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServerSheetWeek_Recman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServerSheetWeek_Libpq)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServerLabRefresh_Recman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServerLabRefresh_Libpq)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServerBookingSave_Recman)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kSavesPerRepetition);
BENCHMARK(BM_ServerBookingSave_Libpq)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kSavesPerRepetition);

// The round trips of one case beside their target, as FIGURE and ROUNDTRIPS lines.
void PrintRoundTrips(const std::string& name, const char* per, int target) {
    const auto found = Figures().find(name);
    if (found == Figures().end() || found->second.operations == 0) return;
    const RoundTripFigure& f = found->second;
    const double steady = f.Steady();
    const uint64_t cold = f.cold.value_or(0);
    std::string bars;
    if (f.bars > 0) bars = "; " + std::to_string(f.bars) + " bars";
    std::string goal = target > 0 ? "target <= " + std::to_string(target) : "no target";
    std::printf(
        "FIGURE %sRoundTrips %.2f per %s, %llu for the first after a fresh start (%llu before it "
        "to connect and open) (%s%s; +%.2f ms and +%.1f ms on a LAN at %.1f ms a round trip; "
        "plain libpq %.2f)\n",
        name.c_str(), steady, per, static_cast<unsigned long long>(cold),
        static_cast<unsigned long long>(f.opening), goal.c_str(), bars.c_str(),
        steady * kLanMsPerRoundTrip, double(cold) * kLanMsPerRoundTrip, kLanMsPerRoundTrip,
        f.Plain());
    if (target > 0) {
        std::printf("ROUNDTRIPS %s %.2f %d\n", name.c_str(), steady, target);
        if (f.cold)
            std::printf("ROUNDTRIPS %sCold %llu %d\n", name.c_str(),
                        static_cast<unsigned long long>(cold), target);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const char* clinic = BenchServerClinic("bench_server");
    if (clinic == nullptr) return 0;
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    CRatioReporter reporter;
    RunBenchmarks(argc, argv, &reporter);
    reporter.PrintRatios({{"ServerSheetDay", kRatioTarget},
                          {"ServerSheetWeek", kRatioTarget},
                          {"ServerLabRefresh", kRatioTarget},
                          {"ServerBookingSave", kRatioTarget}},
                         "Libpq");
    const auto ours = reporter.Time("BM_ServerBookingSave_Recman");
    const auto plain = reporter.Time("BM_ServerBookingSave_Libpq");
    if (ours && plain)
        std::printf(
            "FIGURE ServerBookingSave %.2f ms (plain libpq %.2f ms; the server's "
            "synchronous_commit %s)\n",
            *ours, *plain, TheSetup().synchronousCommit.c_str());
    PrintRoundTrips("ServerSheetDay", "day reload", kReloadRoundTrips);
    PrintRoundTrips("ServerSheetWeek", "week reload", 0);
    PrintRoundTrips("ServerLabRefresh", "lab refresh", 0);
    PrintRoundTrips("ServerBookingSave", "booking save", kSaveRoundTrips);
    recman::Shutdown();
    if (!g_setUp) return 0;
    Setup& s = TheSetup();
    s.copy.reset();
    std::error_code error;
    if (!s.work.empty()) fs::remove_all(s.work, error);
    return 0;
}
