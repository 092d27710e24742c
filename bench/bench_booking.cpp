// Opening the reservation dialog and saving a booking, against plain SQLite on the same data.
//
// Both sides work on a copy of the demo clinic named by VELO_BENCH_DB, placed on /dev/shm
// (tmpfs, where a sync costs nothing) when it has room, else in TMPDIR. The plain SQLite
// side keeps copies of the same records in separate files as the suite keeps its tables
// (reservations, each patient's two records, the counter, sales, sale lines; the masters
// share one file), each with the same keys as indexes, and is driven through prepared
// statements with the record manager's settings (plainsqlite.h). The cases:
//   DialogOpen     constructing CReservationDlg on a booked reservation of a patient;
//   DialogReads    the record reads that dialog does on opening, through the functions it
//                  calls, beside the same reads in SQLite;
//   BookingSave    a came reservation with a collected fee booked on a free band through
//                  SaveReservation, beside the same transaction in SQLite (reservation
//                  insert, counter read and update, the column's overlap read, the fee
//                  item, sale and sale line inserts, the sale number written back, the
//                  patient's reservations read and both patient records updated).
// Every save books its own band, planned before the run from the column's last booking of
// a day; each repetition makes kSavesPerRepetition saves on either side, so that the plan
// lasts. The run ends in RATIO and FIGURE lines that scripts/bench collects.
#include <QApplication>
#include <QComboBox>
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bookingplan.h"
#include "plainsqlite.h"
#include "ratioreporter.h"
#include "recman/recman.h"
#include "sheet/bookingrules.h"
#include "sheet/reservation.h"
#include "sheet/reservationcommands.h"
#include "sheet/reservationdlg.h"
#include "sheet/reservationsave.h"
#include "sheet/sheetsettings.h"
#include "sheet/timegrid.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/accountdb.h"
#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/saledb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/tools.h"

namespace {

using namespace velo::sheet;
namespace fs = std::filesystem;

constexpr int kSavesPerRepetition = 400;

std::string Column(sqlite3_stmt* stmt, int column) {
    const unsigned char* text = sqlite3_column_text(stmt, column);
    return text != nullptr ? reinterpret_cast<const char*>(text) : std::string();
}

template <typename Record>
void ColumnRecord(sqlite3_stmt* stmt, int column, Record* out) {
    std::memcpy(out, sqlite3_column_blob(stmt, column), sizeof *out);
}

// ---- What both sides read -------------------------------------------------------------

// What the dialog's reads produced, in the form both sides can be compared in.
struct DialogReads {
    std::string patientId;
    size_t strip = 0, window = 0, payments = 0, nextVisitFilled = 0, masterEntries = 0;
    QString lab;

    bool operator==(const DialogReads&) const = default;
};

struct Setup {
    std::string work;    // the temporary folder, removed at the end
    std::string folder;  // the copy of the demo clinic
    std::string plain;   // the plain SQLite files
    bool onTmpfs = false;
    std::string reservationNo, unit;  // the reservation the dialog opens, and its column
    FeeItem fee;
    std::vector<Booking> plan;
    std::string error;
};

// ---- The plain SQLite copy ----------------------------------------------------------------

// One file per written table, attached to the masters' file under these names.
const char* const kAttachedFiles[] = {"res", "pat", "pat2", "ic", "sale", "sitem"};

const char* kPlainTables =
    "CREATE TABLE category(type TEXT, code TEXT, data BLOB, PRIMARY KEY(type, code));"
    "CREATE TABLE doctor(code TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE creditcate(code TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE credit(cate TEXT, item TEXT, data BLOB, PRIMARY KEY(cate, item));"
    "CREATE TABLE staff(code TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE way(code TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE material(no TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE contract(patient TEXT, contract TEXT, item TEXT, due TEXT, data BLOB,"
    " PRIMARY KEY(patient, contract, item));"
    "CREATE TABLE res.reservation(no TEXT PRIMARY KEY, patient TEXT, date TEXT, start TEXT,"
    " doctor TEXT, unit TEXT, material TEXT, data BLOB);"
    "CREATE TABLE pat.patient(id TEXT PRIMARY KEY, name TEXT, kana TEXT, chart TEXT, data BLOB);"
    "CREATE TABLE pat2.patient2(id TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE ic.counter(name TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE sale.sale(no TEXT PRIMARY KEY, patient TEXT, date TEXT, data BLOB);"
    "CREATE TABLE sitem.line(sale TEXT, line TEXT, patient TEXT, date TEXT, data BLOB,"
    " PRIMARY KEY(sale, line));";

// The record manager's other keys, made after the copy is filled.
const char* kPlainIndexes =
    "CREATE INDEX contract_due ON contract(patient, due, item);"
    "CREATE INDEX res.r_patient_no ON reservation(patient, no);"
    "CREATE INDEX res.r_patient_time ON reservation(patient, date, start);"
    "CREATE INDEX res.r_doctor_time ON reservation(doctor, date, start);"
    "CREATE INDEX res.r_unit_time ON reservation(unit, date, start);"
    "CREATE INDEX res.r_material ON reservation(material);"
    "CREATE INDEX res.r_time ON reservation(date, start);"
    "CREATE INDEX pat.p_name ON patient(name);"
    "CREATE INDEX pat.p_kana ON patient(kana);"
    "CREATE INDEX pat.p_chart ON patient(chart);"
    "CREATE INDEX sale.s_patient ON sale(patient, date);"
    "CREATE INDEX sale.s_date ON sale(date, no);"
    "CREATE INDEX sitem.l_patient ON line(patient, date);";

bool Exec(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The masters' tables in their plain file.
constexpr int kPlainMasterTables = 9;

// Opens the masters' file in `plainFolder` and attaches the others; null when that fails.
std::unique_ptr<CPlainDb> OpenPlain(const std::string& plainFolder) {
    auto db = std::make_unique<CPlainDb>(plainFolder + "/master.sqlite", false, kPlainMasterTables);
    bool ok = db->Ready();
    for (const char* name : kAttachedFiles)
        ok = ok && db->Attach(plainFolder + "/" + name + ".sqlite", name);
    if (!ok) return nullptr;
    return db;
}

// Binds text columns from 1 in order.
void BindTexts(sqlite3_stmt* stmt, std::initializer_list<std::string> texts) {
    int column = 0;
    for (const std::string& text : texts)
        sqlite3_bind_text(stmt, ++column, text.c_str(), -1, SQLITE_TRANSIENT);
}

// Copies every record of a table class into a plain table. `columns` gives the key
// columns' texts of a record; the record itself goes last. `seen` sees every record.
template <typename Table, typename Columns, typename Seen>
bool CopyTable(sqlite3* db, const std::string& folder, const std::string& sql, Columns columns,
               Seen seen) {
    sqlite3_stmt* stmt = nullptr;
    bool ok = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK;
    Table table;
    ok = ok && table.Open(folder) == 0;
    table.SetKey(0);
    for (int st = ok ? table.GetFIRST() : 9; ok && st == 0; st = table.GetNEXT()) {
        const std::vector<std::string> texts = columns(table.m_Data);
        for (size_t i = 0; i < texts.size(); ++i)
            sqlite3_bind_text(stmt, int(i) + 1, texts[i].c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(stmt, int(texts.size()) + 1, &table.m_Data, sizeof table.m_Data,
                          SQLITE_TRANSIENT);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
        sqlite3_reset(stmt);
        seen(table.m_Data);
    }
    sqlite3_finalize(stmt);
    return ok;
}

template <typename Table, typename Columns>
bool CopyTable(sqlite3* db, const std::string& folder, const std::string& sql, Columns columns) {
    return CopyTable<Table>(db, folder, sql, columns, [](const auto&) {});
}

std::string Insert(const char* table, int values) {
    std::string sql = std::string("INSERT OR REPLACE INTO ") + table + " VALUES(?";
    for (int i = 1; i < values; ++i) sql += ",?";
    return sql + ")";
}

// The reservations' copy learns on the way what the choice of the dialog's reservation and
// the plan of the saves need.
bool CopyReservations(sqlite3* db, const std::string& folder, ReservationSurvey* survey) {
    return CopyTable<CReservationDB>(
        db, folder, Insert("reservation", 8),
        [](const tagRESERVATIONDB& r) {
            return std::vector<std::string>{FieldText(r.ReservationNo), FieldText(r.PatientID),
                                            FieldText(r.ResDate),       FieldText(r.StartTime),
                                            FieldText(r.DoctorCode),    FieldText(r.UnitCode),
                                            FieldText(r.MaterialNo)};
        },
        [&](const tagRESERVATIONDB& r) {
            int& end = survey->lastEnd[{FieldText(r.ResDate), FieldText(r.UnitCode)}];
            end = std::max(end, ParseTimeField(r.EndTime));
            survey->days.insert(FieldText(r.ResDate));
            if (r.Status == uint8_t(ResStatus::Booked) && r.PatientID[0] != '\0')
                survey->candidates.push_back({FieldText(r.ReservationNo), FieldText(r.PatientID),
                                              FieldText(r.UnitCode), FieldText(r.DoctorCode),
                                              FieldText(r.ResTypeCode)});
        });
}

bool CopyMasters(sqlite3* db, const std::string& folder, ReservationSurvey* survey) {
    const auto code = [](const auto& r) { return std::vector<std::string>{FieldText(r.Code)}; };
    return CopyTable<CCategoryDB>(db, folder, Insert("category", 3),
                                  [](const tagCATEGORYDB& r) {
                                      return std::vector<std::string>{FieldText(r.Type), FieldText(r.Code)};
                                  }) &&
           CopyTable<CDoctorDB>(db, folder, Insert("doctor", 2), code) &&
           CopyTable<CCreditCategoryDB>(db, folder, Insert("creditcate", 2), code) &&
           CopyTable<CCreditItemDB>(db, folder, Insert("credit", 3),
                                    [](const tagCREDITITEMDB& r) {
                                        return std::vector<std::string>{FieldText(r.CategoryCode),
                                                                        FieldText(r.ItemCode)};
                                    }) &&
           CopyTable<CStaffDB>(db, folder, Insert("staff", 2), code) &&
           CopyTable<CReservationWayDB>(db, folder, Insert("way", 2), code) &&
           CopyTable<CMaterialDB>(db, folder, Insert("material", 2),
                                  [](const tagMATERIALDB& r) {
                                      return std::vector<std::string>{FieldText(r.MaterialNo)};
                                  }) &&
           CopyTable<CContractItemDB>(
               db, folder, Insert("contract", 5),
               [](const tagCONTRACTITEMDB& r) {
                   return std::vector<std::string>{FieldText(r.PatientID), FieldText(r.ContractNo),
                                                   FieldText(r.ItemNo), FieldText(r.DueDate)};
               },
               [&](const tagCONTRACTITEMDB& r) {
                   survey->patientsWithContracts.insert(FieldText(r.PatientID));
               });
}

bool CopyPatientsAndCounters(sqlite3* db, const std::string& folder) {
    return CopyTable<CPatient1DB>(db, folder, Insert("patient", 5),
                                  [](const tagPATIENT1DB& r) {
                                      return std::vector<std::string>{FieldText(r.PatientID),
                                                                      FieldText(r.Name), FieldText(r.Kana),
                                                                      FieldText(r.ChartNo)};
                                  }) &&
           CopyTable<CPatient2DB>(db, folder, Insert("patient2", 2),
                                  [](const tagPATIENT2DB& r) {
                                      return std::vector<std::string>{FieldText(r.PatientID)};
                                  }) &&
           CopyTable<CIndexControlDB>(db, folder, Insert("counter", 2),
                                      [](const tagINDEXCONTROLDB& r) {
                                          return std::vector<std::string>{FieldText(r.IndexName)};
                                      }) &&
           CopyTable<CSaleDB>(db, folder, Insert("sale", 4),
                              [](const tagSALEDB& r) {
                                  return std::vector<std::string>{FieldText(r.SaleNo),
                                                                  FieldText(r.PatientID),
                                                                  FieldText(r.SaleDate)};
                              }) &&
           CopyTable<CSaleItemDB>(db, folder, Insert("line", 5), [](const tagSALEITEM& r) {
               return std::vector<std::string>{FieldText(r.SaleNo), FieldText(r.LineNo), FieldText(r.PatientID),
                                               FieldText(r.SaleDate)};
           });
}

bool FillPlain(const std::string& folder, const std::string& plainFolder,
               ReservationSurvey* survey) {
    const auto plain = OpenPlain(plainFolder);
    if (plain == nullptr) return false;
    sqlite3* db = plain->Handle();
    return Exec(db, kPlainTables) && Exec(db, "BEGIN") && CopyMasters(db, folder, survey) &&
           CopyPatientsAndCounters(db, folder) && CopyReservations(db, folder, survey) &&
           Exec(db, kPlainIndexes) && Exec(db, "COMMIT");
}

// ---- Choosing the dialog's reservation and planning the saves ------------------------------

// The booked reservation in the middle of the numbers, preferring one whose patient has
// contract payments so that the dialog's payment list has something to read.
const Candidate* ChooseReservation(const ReservationSurvey& survey) {
    if (survey.candidates.empty()) return nullptr;
    const size_t middle = survey.candidates.size() / 2;
    for (size_t i = middle; i < survey.candidates.size(); ++i) {
        if (survey.patientsWithContracts.count(survey.candidates[i].patient))
            return &survey.candidates[i];
    }
    return &survey.candidates[middle];
}

// The work folder: on /dev/shm when it holds the copy and its SQLite twin, else TMPDIR.
std::string MakeWorkFolder(uintmax_t needed, bool* onTmpfs) {
    std::error_code error;
    const fs::space_info shm = fs::space("/dev/shm", error);
    *onTmpfs = !error && shm.available > needed;
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = *onTmpfs ? "/dev/shm" : (tmp != nullptr && *tmp ? tmp : "/tmp");
    std::string pattern = base + "/velo-benchbook-XXXXXX";
    const char* made = ::mkdtemp(pattern.data());
    return made != nullptr ? made : "";
}

uintmax_t FolderSize(const std::string& folder) {
    uintmax_t size = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) size += entry.file_size();
    return size;
}

Setup& TheSetup() {
    static Setup setup = [] {
        Setup s;
        const std::string demo = std::getenv("VELO_BENCH_DB");
        const uintmax_t size = FolderSize(demo);
        // The copy, its SQLite twin (about as large) and room for the run's writes.
        s.work = MakeWorkFolder(size * 3, &s.onTmpfs);
        if (s.work.empty()) {
            s.error = "no temporary folder";
            return s;
        }
        std::fprintf(stderr, "booking: copying the demo clinic to %s (%s)\n", s.work.c_str(),
                     s.onTmpfs ? "tmpfs" : "TMPDIR, not tmpfs: the saves include the disk's sync");
        s.folder = s.work + "/db";
        s.plain = s.work + "/plain";
        std::error_code error;
        fs::copy(demo, s.folder, fs::copy_options::recursive, error);
        fs::create_directories(s.plain, error);
        if (error) {
            s.error = "could not copy the demo clinic: " + error.message();
            return s;
        }
        ReservationSurvey survey;
        if (!FillPlain(s.folder, s.plain, &survey)) {
            s.error = "could not fill the SQLite copy";
            return s;
        }
        const Candidate* chosen = ChooseReservation(survey);
        if (chosen == nullptr) {
            s.error = "the demo clinic has no booked reservation of a patient";
            return s;
        }
        s.reservationNo = chosen->no;
        s.unit = chosen->unit;
        s.plan = PlanBookings(survey, VisibleUnits(s.folder));
        s.fee = ChooseFeeItem(s.folder);
        std::fprintf(stderr, "booking: the dialog opens reservation %s; %zu free bands planned\n",
                     s.reservationNo.c_str(), s.plan.size());
        return s;
    }();
    return setup;
}

// ---- The dialog's reads through the suite ---------------------------------------------------

// The combos the dialog fills; null ones are not filled (the entries are still read and
// built), real ones let the entries be counted.
struct MasterCombos {
    QComboBox* unit = nullptr;
    QComboBox* doctor = nullptr;
    QComboBox* type = nullptr;
    QComboBox* insurance = nullptr;
    QComboBox* feeCategory = nullptr;
    QComboBox* feeItem = nullptr;
    QComboBox* staff = nullptr;
    QComboBox* way = nullptr;
};

// The fee category whose items the dialog lists: the reservation's, else the first.
std::string FeeCategoryOf(const tagRESERVATIONDB& r, const QComboBox* categories) {
    if (r.CreditCateCode[0] != '\0') return FieldText(r.CreditCateCode);
    if (categories == nullptr || categories->count() == 0) return std::string();
    return categories->itemData(0).toString().toStdString();
}

// Reads what CReservationDlg reads on opening `reservationNo`, once each.
int ReadLikeDialog(CVeloDBSys* db, const std::string& reservationNo, const SheetSettings& settings,
                   const MasterCombos& combos, DialogReads* out) {
    CReservationDB reservations;
    int status = reservations.SetAssociatedDB(db);
    if (status == 0) status = reservations.GetReservationData(reservationNo.c_str());
    if (status != 0) return status;
    const tagRESERVATIONDB r = reservations.m_Data;
    reservations.Close();

    const std::string patientId = FieldText(r.PatientID);
    const std::string day = FieldText(r.ResDate);
    auto patients = std::make_unique<CPatientDB>();
    status = patients->SetAssociatedDB(db);
    if (status == 0) status = patients->GetPatientData(patientId.c_str());
    if (status != 0) return status;
    out->patientId = FieldText(patients->m_Data.PatientID);

    std::vector<StripItem> strip;
    status = LoadStrip(db, {false, FieldText(r.UnitCode), day, reservationNo, settings.clock24}, &strip);
    std::vector<DuplicateEntry> window;
    if (status == 0)
        status = LoadDuplicateWindow(db, patientId, day, settings.daysOfCheckingDuplicatedRes,
                                     reservationNo, settings.clock24, &window);
    std::vector<PendingPayment> payments;
    if (status == 0) status = LoadPendingPayments(db, patientId, day, &payments);
    if (status != 0) return status;
    out->strip = strip.size();
    out->window = window.size();
    out->payments = payments.size();
    out->nextVisitFilled = 0;
    for (const NextVisitRow& row : NextVisitRows(db, patients->m_Data))
        out->nextVisitFilled += row.value.isEmpty() ? 0 : 1;

    size_t entries = 0;
    entries += CVeloComDlg::EnumUnit(db, combos.unit, FieldText(r.UnitCode).c_str());
    entries += CVeloComDlg::EnumDoctor(db, combos.doctor, FieldText(r.DoctorCode).c_str());
    entries += CVeloComDlg::EnumReservationType(db, combos.type, FieldText(r.ResTypeCode).c_str());
    entries += CVeloComDlg::EnumInssuranceType(db, combos.insurance, FieldText(r.InsuranceType).c_str());
    CVeloComDlg::EnumCreditCategory(db, combos.feeCategory, FieldText(r.CreditCateCode).c_str());
    CVeloComDlg::EnumCreditItemsOf(db, combos.feeItem, FeeCategoryOf(r, combos.feeCategory).c_str(),
                                   FieldText(r.CreditItemCode).c_str());
    CVeloComDlg::EnumStaffData(db, combos.staff, FieldText(r.StaffCode).c_str());
    CVeloComDlg::EnumReservationWay(db, combos.way, FieldText(r.ResWayCode).c_str());
    for (const QComboBox* combo : {combos.feeCategory, combos.feeItem, combos.staff, combos.way})
        entries += combo != nullptr ? size_t(combo->count()) : 0;
    out->masterEntries = entries;

    out->lab.clear();
    if (r.MaterialNo[0] != '\0') {
        CMaterialDB items;
        if (items.SetAssociatedDB(db) == 0 && items.GetMaterialData(FieldText(r.MaterialNo).c_str()) == 0)
            out->lab = Cp932FieldToQString(items.m_Data.ItemName) +
                       CTools::MakeDate(FieldText(items.m_Data.CompletionDate).c_str());
    }
    return 0;
}

// ---- The same in plain SQLite -----------------------------------------------------------------

QString ClockText(int hhmm, bool clock24) {
    return QString::asprintf("%02d:%02d", DisplayHour(hhmm / 100, clock24), hhmm % 100);
}

class CPlainClinic {
public:
    explicit CPlainClinic(const std::string& plainFolder)
        : m_plain(OpenPlain(plainFolder)), m_db(m_plain ? m_plain->Handle() : nullptr) {
        m_reservation = Prepare("SELECT data FROM reservation WHERE no = ?");
        m_column = Prepare("SELECT data FROM reservation WHERE unit = ? AND date = ? ORDER BY start");
        m_window = Prepare(
            "SELECT data FROM reservation WHERE patient = ? AND date >= ? AND date <= ?"
            " ORDER BY date, start");
        m_visits = Prepare(
            "SELECT date, data FROM reservation WHERE patient = ? AND date <= ?"
            " ORDER BY date DESC, start DESC");
        m_patient = Prepare("SELECT data FROM patient WHERE id = ?");
        m_patient2 = Prepare("SELECT data FROM patient2 WHERE id = ?");
        m_payments = Prepare(
            "SELECT data FROM contract WHERE patient = ? AND due < ? ORDER BY due DESC, item DESC");
        m_credit = Prepare("SELECT data FROM credit WHERE cate = ? AND item = ?");
        m_categories = Prepare("SELECT data FROM category WHERE type = ? ORDER BY code");
        m_doctors = Prepare("SELECT data FROM doctor ORDER BY code");
        m_feeCategories = Prepare("SELECT data FROM creditcate ORDER BY code");
        m_feeItems = Prepare("SELECT data FROM credit WHERE cate = ? ORDER BY item");
        m_staff = Prepare("SELECT data FROM staff ORDER BY code");
        m_ways = Prepare("SELECT data FROM way ORDER BY code");
        m_material = Prepare("SELECT data FROM material WHERE no = ?");
        m_counter = Prepare("SELECT data FROM counter WHERE name = ?");
        m_counterUpdate = Prepare("UPDATE counter SET data = ? WHERE name = ?");
        m_insert = Prepare(Insert("reservation", 8).c_str());
        m_update = Prepare("UPDATE reservation SET data = ? WHERE no = ?");
        m_lastSale = Prepare("SELECT max(no) FROM sale");
        m_saleInsert = Prepare("INSERT INTO sale VALUES(?,?,?,?)");
        m_lineInsert = Prepare("INSERT INTO line VALUES(?,?,?,?,?)");
        m_patientUpdate = Prepare("UPDATE patient SET data = ? WHERE id = ?");
        m_patient2Update = Prepare("UPDATE patient2 SET data = ? WHERE id = ?");
    }
    ~CPlainClinic() {
        for (sqlite3_stmt* stmt : m_statements) sqlite3_finalize(stmt);
    }
    CPlainClinic(const CPlainClinic&) = delete;
    CPlainClinic& operator=(const CPlainClinic&) = delete;

    bool Ready() const { return m_db != nullptr && m_ready; }

    // The dialog's reads of `reservationNo`, as ReadLikeDialog does them, in one read
    // transaction.
    bool ReadLikeDialog(const std::string& reservationNo, const SheetSettings& settings,
                        DialogReads* out) {
        return m_plain->ReadConsistently([&] { return ReadDialog(reservationNo, settings, out); });
    }

    // The save of a came reservation with its fee in one transaction, as SaveReservation
    // does it for a new booking.
    bool SaveCameBooking(const Booking& b, const SheetSettings& settings, const Setup& s) {
        if (!m_plain->Begin()) return false;
        const bool saved = SaveInTransaction(b, settings, s);
        if (saved && m_plain->Commit()) return true;
        m_plain->Rollback();
        return false;
    }

private:
    bool ReadDialog(const std::string& reservationNo, const SheetSettings& settings,
                    DialogReads* out) {
        tagRESERVATIONDB r;
        if (!ReadOne(m_reservation, {reservationNo}, &r)) return false;
        const std::string patientId = FieldText(r.PatientID);
        const std::string day = FieldText(r.ResDate);
        auto patient = std::make_unique<tagPATIENTDB>();
        if (!ReadPatient(patientId, patient.get())) return false;
        out->patientId = FieldText(patient->PatientID);

        std::vector<StripItem> strip;
        ReadStrip(FieldText(r.UnitCode), day, reservationNo, settings.clock24, &strip);
        out->strip = strip.size();
        out->window = ReadWindow(patientId, day, settings, reservationNo).size();
        out->payments = ReadPayments(patientId, day).size();
        out->nextVisitFilled = 0;
        for (const NextVisitRow& row : NextVisit(*patient))
            out->nextVisitFilled += row.value.isEmpty() ? 0 : 1;

        std::vector<QString> names;
        std::string firstCategory;
        for (const char* kind : {"1", "0", "2"}) {
            ReadEach<tagCATEGORYDB>(m_categories, {kind}, [&](const tagCATEGORYDB& c) {
                if (std::strncmp(c.HiddenMark, "__", 2) != 0)
                    names.push_back(Cp932FieldToQString(c.Name));
            });
        }
        ReadNames<tagDOCTORDB>(m_doctors, &names);
        ReadEach<tagCREDITCATEGORYDB>(m_feeCategories, {}, [&](const tagCREDITCATEGORYDB& c) {
            if (std::strncmp(c.HiddenMark, "__", 2) == 0) return;
            if (firstCategory.empty()) firstCategory = FieldText(c.Code);
            names.push_back(Cp932FieldToQString(c.Name));
        });
        const std::string category = r.CreditCateCode[0] != '\0' ? FieldText(r.CreditCateCode) : firstCategory;
        if (!category.empty()) {
            ReadEach<tagCREDITITEMDB>(m_feeItems, {category}, [&](const tagCREDITITEMDB& c) {
                if (std::strncmp(c.HiddenMark, "__", 2) != 0)
                    names.push_back(Cp932FieldToQString(c.ItemName));
            });
        }
        for (sqlite3_stmt* numbered : {m_staff, m_ways}) {
            names.push_back(CVeloComDlg::NotChosenText());
            ReadEach<tagSTAFFDB>(numbered, {}, [&](const tagSTAFFDB& c) {
                if (std::strncmp(c.HiddenMark, "__", 3) != 0)
                    names.push_back(Cp932FieldToQString(c.Name));
            });
        }
        out->masterEntries = names.size();

        out->lab.clear();
        tagMATERIALDB lab;
        if (r.MaterialNo[0] != '\0' && ReadOne(m_material, {FieldText(r.MaterialNo)}, &lab))
            out->lab = Cp932FieldToQString(lab.ItemName) +
                       CTools::MakeDate(FieldText(lab.CompletionDate).c_str());
        return true;
    }

    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* stmt = nullptr;
        if (m_db == nullptr || sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
            m_ready = false;
            return nullptr;
        }
        m_statements.push_back(stmt);
        return stmt;
    }

    // Runs `stmt` with the texts bound and calls visit with each row's first column as a record.
    template <typename Record, typename Visit>
    void ReadEach(sqlite3_stmt* stmt, std::initializer_list<std::string> keys, Visit visit) {
        BindTexts(stmt, keys);
        Record record;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            ColumnRecord(stmt, 0, &record);
            visit(record);
        }
        sqlite3_reset(stmt);
    }

    template <typename Record>
    bool ReadOne(sqlite3_stmt* stmt, std::initializer_list<std::string> keys, Record* out) {
        BindTexts(stmt, keys);
        const bool found = sqlite3_step(stmt) == SQLITE_ROW;
        if (found) ColumnRecord(stmt, 0, out);
        sqlite3_reset(stmt);
        return found;
    }

    template <typename Record>
    void ReadNames(sqlite3_stmt* stmt, std::vector<QString>* names) {
        ReadEach<Record>(stmt, {}, [&](const Record& c) {
            if (std::strncmp(c.HiddenMark, "__", 2) != 0)
                names->push_back(Cp932FieldToQString(c.Name));
        });
    }

    // Both records of a patient; a missing second record reads as zeros.
    bool ReadPatient(const std::string& id, tagPATIENTDB* out) {
        auto* bytes = reinterpret_cast<char*>(out);
        if (!ReadOne(m_patient, {id}, reinterpret_cast<tagPATIENT1DB*>(bytes))) return false;
        auto* second = reinterpret_cast<tagPATIENT2DB*>(bytes + sizeof(tagPATIENT1DB));
        if (!ReadOne(m_patient2, {id}, second)) std::memset(second, 0, sizeof *second);
        return true;
    }

    void ReadStrip(const std::string& unit, const std::string& day, const std::string& editingNo,
                   bool clock24, std::vector<StripItem>* items) {
        ReadEach<tagRESERVATIONDB>(m_column, {unit, day}, [&](const tagRESERVATIONDB& r) {
            if (!IsLiveStatus(r.Status) || FieldText(r.ReservationNo) == editingNo) return;
            tagPATIENT1DB patient;
            const bool named =
                r.PatientID[0] != '\0' && ReadOne(m_patient, {FieldText(r.PatientID)}, &patient);
            if (auto item = PlainStripItem(r, named ? &patient : nullptr, editingNo, clock24))
                items->push_back(std::move(*item));
        });
    }

    std::vector<DuplicateEntry> ReadWindow(const std::string& patientId, const std::string& day,
                                           const SheetSettings& settings,
                                           const std::string& editingNo) {
        std::vector<DuplicateEntry> entries;
        const int days = settings.daysOfCheckingDuplicatedRes;
        const std::string from = CDate::AddDays(day.c_str(), -days);
        const std::string to = CDate::AddDays(day.c_str(), days);
        ReadEach<tagRESERVATIONDB>(m_window, {patientId, from, to}, [&](const tagRESERVATIONDB& r) {
            if (!IsLiveStatus(r.Status) || FieldText(r.ReservationNo) == editingNo) return;
            const int start = ParseTimeField(r.StartTime);
            const int end = ParseTimeField(r.EndTime);
            DuplicateEntry entry;
            entry.reservationNo = FieldText(r.ReservationNo);
            entry.date = DuplicateDateText(FieldText(r.ResDate));
            entry.time = ClockText(start, settings.clock24) + QStringLiteral(" ～ ") +
                         ClockText(end, settings.clock24);
            entry.length = QStringLiteral("%1分間").arg(BandMinutes(start, end));
            entry.treatment = Cp932FieldToQString(r.Treatment);
            entries.push_back(std::move(entry));
        });
        return entries;
    }

    std::vector<PendingPayment> ReadPayments(const std::string& patientId, const std::string& day) {
        std::vector<PendingPayment> payments;
        ReadEach<tagCONTRACTITEMDB>(m_payments, {patientId, day.substr(0, 6) + "32"},
                                    [&](const tagCONTRACTITEMDB& item) {
                                        if (item.BillingFlag == 1 && item.PaidFlag == 0 &&
                                            item.Amount != 0)
                                            payments.push_back({FieldText(item.DueDate), item.Amount});
                                    });
        return payments;
    }

    std::vector<NextVisitRow> NextVisit(const tagPATIENTDB& p) {
        std::vector<NextVisitRow> rows = {{QStringLiteral("時期"), {}},
                                          {QStringLiteral("予定時間"), {}},
                                          {QStringLiteral("内容"), {}},
                                          {QStringLiteral("回収"), {}}};
        if (::strnlen(p.NextVisitDate, sizeof p.NextVisitDate) != 8) return rows;
        static const char* const kUnits[] = {"日", "週", "ｶ月", "年"};
        const QString unit =
            p.NextIntervalUnit < 4 ? QString::fromUtf8(kUnits[p.NextIntervalUnit]) : QString();
        rows[0].value = QStringLiteral("%1 %2").arg(p.NextInterval).arg(unit);
        rows[1].value = QStringLiteral("%1分").arg(p.NextDuration);
        rows[2].value = Cp932FieldToQString(p.NextVisitContent);
        tagCREDITITEMDB item;
        if (ReadOne(m_credit, {FieldText(p.NextFeeCateCode), FieldText(p.NextFeeItemCode)}, &item))
            rows[3].value = QStringLiteral("%1 %2").arg(Cp932FieldToQString(item.ItemName),
                                                        CTools::NumericFormat(p.NextFee));
        return rows;
    }

    bool Step(sqlite3_stmt* stmt) {
        const bool done = sqlite3_step(stmt) == SQLITE_DONE;
        sqlite3_reset(stmt);
        return done && sqlite3_changes(m_db) == 1;
    }

    template <typename Record>
    bool WriteRecord(sqlite3_stmt* stmt, const Record& record, std::initializer_list<std::string> keys) {
        sqlite3_bind_blob(stmt, 1, &record, sizeof record, SQLITE_TRANSIENT);
        int column = 1;
        for (const std::string& key : keys)
            sqlite3_bind_text(stmt, ++column, key.c_str(), -1, SQLITE_TRANSIENT);
        return Step(stmt);
    }

    // Takes the next reservation number and advances the counter.
    bool TakeNumber(std::string* number) {
        tagINDEXCONTROLDB counter;
        if (!ReadOne(m_counter, {kReservationCounter}, &counter)) return false;
        *number = TakeCounterNumber(&counter);
        return WriteRecord(m_counterUpdate, counter, {kReservationCounter});
    }

    bool InsertReservation(const tagRESERVATIONDB& r) {
        BindTexts(m_insert, {FieldText(r.ReservationNo), FieldText(r.PatientID), FieldText(r.ResDate),
                             FieldText(r.StartTime), FieldText(r.DoctorCode), FieldText(r.UnitCode),
                             FieldText(r.MaterialNo)});
        sqlite3_bind_blob(m_insert, 8, &r, sizeof r, SQLITE_TRANSIENT);
        return Step(m_insert);
    }

    bool BookSale(tagRESERVATIONDB& r, const SheetSettings& settings) {
        tagCREDITITEMDB item;
        const bool named = ReadOne(m_credit, {FieldText(r.CreditCateCode), FieldText(r.CreditItemCode)}, &item);
        const bool read = sqlite3_step(m_lastSale) == SQLITE_ROW;
        const long long last = read ? sqlite3_column_int64(m_lastSale, 0) : 0;
        sqlite3_reset(m_lastSale);
        if (!read) return false;
        tagSALEDB sale;
        tagSALEITEM line;
        BookFee(&r, last, settings, named ? &item : nullptr, &sale, &line);
        const std::string saleNo = FieldText(sale.SaleNo);
        BindTexts(m_saleInsert, {saleNo, FieldText(r.PatientID), FieldText(r.ResDate)});
        sqlite3_bind_blob(m_saleInsert, 4, &sale, sizeof sale, SQLITE_TRANSIENT);
        BindTexts(m_lineInsert, {saleNo, "001", FieldText(r.PatientID), FieldText(r.ResDate)});
        sqlite3_bind_blob(m_lineInsert, 5, &line, sizeof line, SQLITE_TRANSIENT);
        if (!Step(m_saleInsert) || !Step(m_lineInsert)) return false;
        return WriteRecord(m_update, r, {FieldText(r.ReservationNo)});
    }

    // The patient's latest came day on or before the booking becomes the last visit.
    bool KeepLastVisit(const std::string& patientId, const std::string& day) {
        std::string came;
        BindTexts(m_visits, {patientId, day});
        while (came.empty() && sqlite3_step(m_visits) == SQLITE_ROW) {
            tagRESERVATIONDB r;
            ColumnRecord(m_visits, 1, &r);
            if (r.Status == uint8_t(ResStatus::Came)) came = Column(m_visits, 0);
        }
        sqlite3_reset(m_visits);
        auto patient = std::make_unique<tagPATIENTDB>();
        // A booking of a patient who is no longer in the file still saves.
        if (!ReadPatient(patientId, patient.get())) return true;
        ::KeepLastVisit(came, patient.get());
        const auto* bytes = reinterpret_cast<const char*>(patient.get());
        return WriteRecord(m_patientUpdate, *reinterpret_cast<const tagPATIENT1DB*>(bytes), {patientId}) &&
               WriteRecord(m_patient2Update,
                           *reinterpret_cast<const tagPATIENT2DB*>(bytes + sizeof(tagPATIENT1DB)),
                           {patientId});
    }

    bool SaveInTransaction(const Booking& b, const SheetSettings& settings, const Setup& s) {
        std::string number;
        if (!TakeNumber(&number)) return false;
        tagRESERVATIONDB r = CameReservation(b, number, s.fee);
        if (!InsertReservation(r)) return false;

        std::vector<StripItem> strip;
        ReadStrip(b.unit, b.day, number, settings.clock24, &strip);
        if (FindOverlap(strip, b.start, b.end) != nullptr) return false;
        return BookSale(r, settings) && KeepLastVisit(b.patient, b.day);
    }

    std::unique_ptr<CPlainDb> m_plain;
    sqlite3* m_db = nullptr;
    bool m_ready = true;
    std::vector<sqlite3_stmt*> m_statements;
    sqlite3_stmt *m_reservation, *m_column, *m_window, *m_visits, *m_patient, *m_patient2,
        *m_payments, *m_credit, *m_categories, *m_doctors, *m_feeCategories, *m_feeItems,
        *m_staff, *m_ways, *m_material, *m_counter, *m_counterUpdate, *m_insert,
        *m_update, *m_lastSale, *m_saleInsert, *m_lineInsert, *m_patientUpdate,
        *m_patient2Update;
};

// ---- The saves through the suite ------------------------------------------------------------

// The next planned band of one side; each side books every band once in its own copy.
const Booking* NextBooking(const Setup& s, size_t* next) {
    return *next < s.plan.size() ? &s.plan[(*next)++] : nullptr;
}

// The dialog's reads agree on both sides before either is timed, or the ratio would
// compare different work.
std::string CheckSameReads(const Setup& s) {
    CVeloDBSys db(s.folder);
    const SheetSettings settings = ReadSheetSettings();
    QComboBox unit, doctor, type, insurance, feeCategory, feeItem, staff, way;
    DialogReads ours, plain;
    if (ReadLikeDialog(&db, s.reservationNo, settings,
                       {&unit, &doctor, &type, &insurance, &feeCategory, &feeItem, &staff, &way},
                       &ours) != 0)
        return "the suite could not read the dialog's records";
    CPlainClinic clinic(s.plain);
    if (!clinic.Ready() || !clinic.ReadLikeDialog(s.reservationNo, settings, &plain))
        return "SQLite could not read the dialog's records";
    if (!(ours == plain)) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "the two sides read differently: strip %zu/%zu, window %zu/%zu, payments "
                      "%zu/%zu, master entries %zu/%zu",
                      ours.strip, plain.strip, ours.window, plain.window, ours.payments,
                      plain.payments, ours.masterEntries, plain.masterEntries);
        return text;
    }
    std::fprintf(stderr,
                 "booking: the dialog reads %zu strip items, %zu nearby reservations, %zu "
                 "payments, %zu master entries on both sides\n",
                 ours.strip, ours.window, ours.payments, ours.masterEntries);
    return std::string();
}

const std::string& ReadsError() {
    static const std::string error = TheSetup().error.empty() ? CheckSameReads(TheSetup())
                                                              : TheSetup().error;
    return error;
}

// ---- The cases ------------------------------------------------------------------------

void BM_DialogOpen(benchmark::State& state) {
    const Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    CVeloDBSys db(s.folder);
    ReservationDlgInputs inputs;
    inputs.reservationNo = s.reservationNo;
    inputs.columnKey = s.unit;
    for (auto _ : state) {
        auto dialog = std::make_unique<CReservationDlg>(&db, inputs);
        benchmark::DoNotOptimize(dialog.get());
        state.PauseTiming();
        if (dialog->PatientId().empty()) state.SkipWithError("the dialog shows no patient");
        dialog.reset();
        state.ResumeTiming();
    }
}

void BM_DialogReads_Recman(benchmark::State& state) {
    if (!ReadsError().empty()) return state.SkipWithError(ReadsError().c_str());
    const Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    const SheetSettings settings = ReadSheetSettings();
    // The dialog lists the items of the category its category combo shows first.
    QComboBox feeCategory;
    MasterCombos combos;
    combos.feeCategory = &feeCategory;
    for (auto _ : state) {
        DialogReads reads;
        if (ReadLikeDialog(&db, s.reservationNo, settings, combos, &reads) != 0)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(reads.strip);
    }
}

void BM_DialogReads_Sqlite(benchmark::State& state) {
    if (!ReadsError().empty()) return state.SkipWithError(ReadsError().c_str());
    const Setup& s = TheSetup();
    CVeloDBSys db(s.folder);  // the settings come from the same clinic
    const SheetSettings settings = ReadSheetSettings();
    CPlainClinic clinic(s.plain);
    for (auto _ : state) {
        DialogReads reads;
        if (!clinic.ReadLikeDialog(s.reservationNo, settings, &reads))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(reads.strip);
    }
}

void BM_BookingSave_Recman(benchmark::State& state) {
    const Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    static size_t next = 0;
    CVeloDBSys db(s.folder);
    const SheetSettings settings = ReadSheetSettings();
    for (auto _ : state) {
        const Booking* booking = NextBooking(s, &next);
        if (booking == nullptr) return state.SkipWithError("the planned free bands ran out");
        const SaveResult result = SaveReservation(&db, CameBookingInput(*booking, s.fee), settings);
        if (!result.ok) return state.SkipWithError("the save failed");
    }
}

void BM_BookingSave_Sqlite(benchmark::State& state) {
    const Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    static size_t next = 0;
    CVeloDBSys db(s.folder);
    const SheetSettings settings = ReadSheetSettings();
    CPlainClinic clinic(s.plain);
    if (!clinic.Ready()) return state.SkipWithError("SQLite could not prepare the save");
    for (auto _ : state) {
        const Booking* booking = NextBooking(s, &next);
        if (booking == nullptr) return state.SkipWithError("the planned free bands ran out");
        if (!clinic.SaveCameBooking(*booking, settings, s))
            return state.SkipWithError("the save failed");
    }
}

BENCHMARK(BM_DialogOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DialogReads_Recman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DialogReads_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BookingSave_Recman)->Unit(benchmark::kMillisecond)->Iterations(kSavesPerRepetition);
BENCHMARK(BM_BookingSave_Sqlite)->Unit(benchmark::kMillisecond)->Iterations(kSavesPerRepetition);

}  // namespace

int main(int argc, char** argv) {
    if (BenchDemoClinic("bench_booking") == nullptr) return 0;
    // The dialog needs an application object; nothing is shown.
    UseOffscreenWindows();
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    CRatioReporter reporter;
    RunBenchmarks(argc, argv, &reporter);
    reporter.PrintRatios({{"DialogReads", 3.0}, {"BookingSave", 3.0}});
    const Setup& s = TheSetup();
    if (const auto t = reporter.Time("BM_DialogOpen"))
        std::printf("FIGURE DialogOpen %.2f ms (target < 30)\n", *t);
    if (const auto t = reporter.Time("BM_BookingSave_Recman"))
        std::printf("FIGURE BookingSave %.2f ms (target < 20 apart from the disk's sync; %s)\n", *t,
                    s.onTmpfs ? "on tmpfs" : "on TMPDIR, sync included");
    recman::Shutdown();
    std::error_code error;
    if (!s.work.empty()) fs::remove_all(s.work, error);
    return 0;
}
