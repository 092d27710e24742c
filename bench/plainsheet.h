// The sheet's loads as the plain sides of the benchmarks build them: from a day's
// reservations read in time order, the bars and day-list rows the suite builds, each master
// entry and patient looked up once per load. Where a plain side finds the records (SQLite
// statements, rows a server sent in one round trip) is its own, behind CPlainSheetLookup.
// Also the comparison both sides pass before anything is timed.
#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sheet/sheetdata.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"

// Finds the records a load looks up by their key texts.
class CPlainSheetLookup {
public:
    enum class Table {
        kPatient1,    // by id
        kPatient2,    // by id
        kMaterial,    // by lab item number
        kCreditItem,  // by fee category and item
        kStaff,       // by code
        kWay,         // by code
        kCategory,    // by type and code
        kDoctor,      // by code
        kCondition,   // by code
        kIntroDr,     // by code
        kCustom,      // by table and code
    };

    // Copies the record of `table` whose keys are `keys` into out (size bytes); false, with
    // out unchanged, when there is none.
    virtual bool Find(Table table, std::initializer_list<std::string> keys, void* out,
                      size_t size) = 0;

protected:
    ~CPlainSheetLookup() = default;
};

class CPlainSheetBuilder {
public:
    explicit CPlainSheetBuilder(CPlainSheetLookup* lookup) : m_lookup(lookup) {}

    // A new load: what the last one looked up is looked up again.
    void StartLoad() { m_caches = Caches(); }

    // Starts the day `date` (YYYYMMDD) in *out; its reservations follow in time order.
    void StartDay(const std::string& date, velo::sheet::DayData* out);

    // Adds one reservation of the day: a bar, and a day-list row when it has a patient;
    // cancelled ones and inactive patients' are left out. `units` are the shown columns.
    void Add(const tagRESERVATIONDB& r, const std::vector<std::string>& units, bool weekStyle,
             bool clock24, velo::sheet::DayData* out);

    static void FinishDay(velo::sheet::DayData* out) { out->count = int(out->list.size()); }

private:
    struct Caches {
        std::unordered_map<std::string, std::optional<tagPATIENTDB>> people;
        std::unordered_map<std::string, std::pair<QString, uint32_t>> types;
        std::unordered_map<std::string, QString> units, doctors, labDay, labWeek, credits, staff,
            ways, insurance, workKinds, conditions, introDrs, custom;
    };

    template <typename Record>
    bool Find(CPlainSheetLookup::Table table, std::initializer_list<std::string> keys,
              Record* out) {
        return m_lookup->Find(table, keys, out, sizeof *out);
    }

    void FillItems(const tagRESERVATIONDB& r, const tagPATIENTDB* p, const QString& unit,
                   const QString& doctor, const QString& type, bool weekStyle, bool clock24,
                   QString* items);
    void FillPatientItems(const tagPATIENTDB& p, QString* items);
    const std::optional<tagPATIENTDB>& PersonOf(const std::string& id);
    const QString& LabOf(const std::string& no, bool weekStyle);
    const QString& CreditOf(const std::string& cate, const std::string& item);
    const QString& NameOf(CPlainSheetLookup::Table table, const std::string& code,
                          std::unordered_map<std::string, QString>& cache);
    const QString& CategoryName(const char* type, const std::string& code,
                                std::unordered_map<std::string, QString>& cache);
    const std::pair<QString, uint32_t>& TypeOf(const std::string& code);
    const QString& UnitOf(const std::string& code);
    const QString& DoctorOf(const std::string& code);
    const QString& ConditionOf(const std::string& code);
    const QString& IntroDrOf(const std::string& code);
    const QString& CustomOf(const std::string& table, const std::string& code);

    CPlainSheetLookup* m_lookup;
    Caches m_caches;
};

// The time field HHMM as a number, as the sheet reads it.
uint16_t PlainTimeField(const char* field);

// The codes of the shown columns, in their order.
std::vector<std::string> UnitCodes(const std::vector<velo::sheet::ColumnEntity>& columns);

// Whether two loads of a day agree in every bar and row.
bool SameDay(const velo::sheet::DayData& a, const velo::sheet::DayData& b);
