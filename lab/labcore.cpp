// The lab-work schedule's reading logic: doctor and staff name tables, the list rows in
// due-day order with their patients, the by-item card grid, and deletion of an item.
#include "lab/labcore.h"

#include <QDate>
#include <QStringList>
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <optional>

#include "lab/labstrings.h"
#include "recman/recman.h"
#include "suite/dbcall/basedbcall.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/strings.h"
#include "suite/tool/tools.h"

const char* const kLabColumnHeaders[kColumnCount] = {
    "予定", "スタッフ・外注先", "発注日", "完成予定日", "完成日",
    "患者", "フリガナ",         "担当医", "備考",
};
const int kLabColumnWidths[kColumnCount] = {200, 200, 80, 130, 80, 140, 140, 80, 300};

const char* const kSixMonthMessage =
    "予定のない日も出力する場合は、検索範囲を６ヶ月以内に設定してください。";

namespace {

constexpr int kLongestEmptyDayRange = 178;  // days between the range's start and end

// The number of a code made only of digits; nullopt for an empty or other text.
std::optional<size_t> CodeNumber(const char* code, size_t width) {
    if (code == nullptr) return std::nullopt;
    const size_t length = ::strnlen(code, width);
    if (length == 0) return std::nullopt;
    size_t value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (code[i] < '0' || code[i] > '9') return std::nullopt;
        value = value * 10 + static_cast<size_t>(code[i] - '0');
    }
    return value;
}

// Puts name at index n, filling the indices skipped on the way with "NA [...]".
void PutNamed(std::vector<QString>* names, size_t n, const QString& name, int gapDigits) {
    while (names->size() < n) {
        names->push_back(QStringLiteral("NA [%1]").arg(names->size(), gapDigits, 10, QChar('0')));
    }
    if (names->size() == n) {
        names->push_back(name);
    } else {
        (*names)[n] = name;
    }
}

QString NameAt(const std::vector<QString>& names, const char* code, size_t width) {
    const std::optional<size_t> n = CodeNumber(code, width);
    if (!n || *n >= names.size()) return QString();
    return names[*n];
}

bool IsEndOfScan(int status) {
    return status == recman::kEndOfFile || status == recman::kKeyNotFound;
}

// What a row needs of a patient, read once per refresh.
struct PatientInfo {
    bool found = false;
    bool inactive = false;
    std::string chartNo;
    QString name, kana;
    char doctorCode[sizeof(tagPATIENT1DB::DoctorCode)] = {};
};

class CPatientCache {
public:
    explicit CPatientCache(CVeloDBSys* db) { m_status = m_patients.SetAssociatedDB(db); }

    // The patient; not found when there is none. REQUIRES: Status() is 0.
    const PatientInfo& Get(const char* patientId) {
        const std::string id(patientId, ::strnlen(patientId, sizeof(tagMATERIALDB::PatientID)));
        auto found = m_cache.find(id);
        if (found != m_cache.end()) return found->second;
        PatientInfo info;
        const int status =
            id.empty() ? recman::kKeyNotFound : m_patients.GetPatient1Data(id.c_str());
        if (status == 0) {
            const tagPATIENT1DB& p = m_patients.m_Data;
            info.found = true;
            info.inactive = p.InactiveFlag == 1;
            info.chartNo = FieldText(p.ChartNo);
            info.name = Cp932FieldToQString(p.Name);
            info.kana = Cp932FieldToQString(p.Kana);
            std::memcpy(info.doctorCode, p.DoctorCode, sizeof info.doctorCode);
        } else if (status != recman::kKeyNotFound) {
            m_status = status;
        }
        return m_cache.emplace(id, std::move(info)).first->second;
    }
    // Has the patients of these items at hand for the Get calls that follow: on a server one
    // statement reads them all. A failed read here only misses the shortcut.
    void Prefetch(const std::vector<tagMATERIALDB>& items) {
        std::vector<std::string> ids;
        for (const tagMATERIALDB& item : items) {
            std::string id = FieldText(item.PatientID);
            if (!id.empty() && !m_cache.count(id)) ids.push_back(std::move(id));
        }
        if (!ids.empty())
            m_patients.PrefetchEqual(CPatient1DB::kKeyPatientID, sizeof(tagPATIENT1DB::PatientID),
                                     ids);
    }
    // 0, or the status with which the patient file could not be opened or read: an item
    // whose patient could not be read might belong to an inactive patient.
    int Status() const { return m_status; }
    std::string FileName() const { return m_patients.GetFileName(); }

private:
    CPatient1DB m_patients;
    int m_status = 0;
    std::map<std::string, PatientInfo> m_cache;
};

// Records the table file and status of a failed read; the first failure is kept.
int Fail(LabReadFailure* failure, const std::string& tableFile, int status) {
    if (failure != nullptr && !failure->Failed()) *failure = {status, tableFile};
    return status;
}

LabRow MakeRow(const tagMATERIALDB& item, const PatientInfo& patient, const LabFilter& f,
               const LabNames& names) {
    LabRow row;
    row.item = item;
    row.materialNo = FieldText(item.MaterialNo);
    row.dueDate = FieldText(item.CompletionDate);
    row.finished = item.FinishedDate[0] != '\0';
    row.text[kColItem] = Cp932FieldToQString(item.ItemName);
    row.text[kColStaff] = StaffName(names, item.StaffCode);
    row.text[kColOrder] = CTools::MakeDate(FieldText(item.OrderDate).c_str());
    row.text[kColDue] = DueText(item);
    if (row.finished)
        row.text[kColFinished] = CTools::MakeDate(FieldText(item.FinishedDate).c_str());
    if (patient.found) {
        row.hasPatient = true;
        row.chartNo = patient.chartNo;
        row.name = patient.name;
        row.text[kColPatient] =
            f.showId ? QStringLiteral("[%1]%2").arg(Cp932ToQString(patient.chartNo), patient.name)
                     : patient.name;
        row.text[kColKana] = patient.kana;
        row.text[kColDoctor] = NameAt(names.doctors, patient.doctorCode, sizeof patient.doctorCode);
    }
    row.text[kColMemo] = Cp932FieldToQString(item.Memo);
    return row;
}

}  // namespace

int RefreshDoctorCache(CVeloDBSys* db) {
    if (db == nullptr) return recman::kFileNotOpen;
    CDoctorDB doctors;
    int status = doctors.SetAssociatedDB(db);
    if (status != 0) return status;
    // A table with no file of its own (one kept on the database server; it opened above)
    // has no time to keep its names by: they are read every time, which the server engine
    // answers from the table it keeps whole in the process.
    int64_t fileTime = 0;
    status = doctors.GetFileTime(&fileTime);
    if (status == recman::kFileNotFound)
        fileTime = -1;
    else if (status != 0)
        return status;
    CVeloDBSys::CDoctorNameCache& cache = db->DoctorNameCache();
    if (fileTime >= 0 && cache.fileTime == fileTime) return 0;

    std::vector<QString> names;
    doctors.SetKey(CDoctorDB::kKeyCode);
    for (status = doctors.GetFIRST(); status == 0; status = doctors.GetNEXT()) {
        const tagDOCTORDB& r = doctors.m_Data;
        const std::optional<size_t> code = CodeNumber(r.Code, sizeof r.Code);
        if (code) PutNamed(&names, *code, Cp932FieldToQString(r.Name), 2);
    }
    if (!IsEndOfScan(status)) return status;
    cache.names = std::move(names);
    cache.fileTime = fileTime;
    return 0;
}

LabNames LoadLabNames(CVeloDBSys* db) {
    LabNames names;
    if (db == nullptr) return names;
    int status = RefreshDoctorCache(db);
    if (status != 0) Fail(&names.failure, CDoctorDB().GetFileName(), status);
    names.doctors = db->DoctorNameCache().names;

    CCustomTblDB custom;
    status = custom.SetAssociatedDB(db);
    if (status != 0) {
        Fail(&names.failure, custom.GetFileName(), status);
        return names;
    }
    char key[sizeof(tagCUSTOMTBLDB::TableID) + sizeof(tagCUSTOMTBLDB::Code)] = {'A', 'A'};
    custom.SetKey(CCustomTblDB::kKeyTableCode);
    custom.SetKeyBuffer(key, sizeof key);
    for (status = custom.GetGREQ(); status == 0; status = custom.GetNEXT()) {
        const tagCUSTOMTBLDB& r = custom.m_Data;
        if (std::strncmp(r.TableID, "AA", sizeof r.TableID) != 0) break;
        const std::optional<size_t> code = CodeNumber(r.Code, sizeof r.Code);
        if (code) PutNamed(&names.staff, *code, Cp932FieldToQString(r.Name), 4);
    }
    if (status != 0 && !IsEndOfScan(status)) Fail(&names.failure, custom.GetFileName(), status);
    return names;
}

QString StaffName(const LabNames& names, const char* code) {
    return NameAt(names.staff, code, sizeof(tagMATERIALDB::StaffCode));
}

QString DoctorName(const LabNames& names, const char* code) {
    return NameAt(names.doctors, code, sizeof(tagPATIENTDB::DoctorCode));
}

QString DueText(const tagMATERIALDB& item) {
    const QString day = CTools::MakeDate(FieldText(item.CompletionDate).c_str());
    if (item.DueKind == 2) {
        const int hhmm = std::atoi(FieldText(item.DueTime).c_str());
        return QStringLiteral("%1 %2:%3")
            .arg(day)
            .arg(hhmm / 100, 2, 10, QChar('0'))
            .arg(hhmm % 100, 2, 10, QChar('0'));
    }
    return QStringLiteral("%1 %2").arg(
        day, item.DueKind == 1 ? QStringLiteral("午後") : QStringLiteral("午前"));
}

namespace {

// ReadLabRows without its read transaction.
int ReadLabRowsOnce(CVeloDBSys* db, const LabFilter& f, const LabNames& names,
                    std::vector<LabRow>* rows, LabReadFailure* failure) {
    const std::string from = f.useRange ? f.from : "00000000";
    const std::string to = f.useRange ? f.to : "99999999";

    CMaterialDB items;
    int status = items.SetAssociatedDB(db);
    if (status != 0) return Fail(failure, items.GetFileName(), status);
    const tagMATERIALDB& r = items.m_Data;
    const bool byPatient = !f.patientId.empty();
    if (byPatient) {
        char key[sizeof r.PatientID + sizeof r.CompletionDate] = {};
        SetField(key, sizeof r.PatientID, f.patientId.c_str());
        SetField(key + sizeof r.PatientID, sizeof r.CompletionDate, from.c_str());
        items.SetKey(CMaterialDB::kKeyPatientCompletion);
        items.SetKeyBuffer(key, sizeof key);
    } else {
        char key[sizeof r.CompletionDate + sizeof r.MaterialNo] = {};
        SetField(key, sizeof r.CompletionDate, from.c_str());
        items.SetKey(CMaterialDB::kKeyCompletion);
        items.SetKeyBuffer(key, sizeof key);
    }

    CPatientCache patients(db);
    if (patients.Status() != 0) return Fail(failure, patients.FileName(), patients.Status());
    // The items first, so that their patients are read together.
    std::vector<tagMATERIALDB> listed;
    for (status = items.GetGREQ(); status == 0; status = items.GetNEXT()) {
        if (byPatient && std::strncmp(r.PatientID, f.patientId.c_str(), sizeof r.PatientID) != 0) {
            break;
        }
        if (std::strncmp(r.CompletionDate, to.c_str(), sizeof r.CompletionDate) > 0) break;
        if (f.notFinishedOnly && r.FinishedDate[0] != '\0') continue;
        listed.push_back(r);
    }
    patients.Prefetch(listed);
    for (const tagMATERIALDB& item : listed) {
        const PatientInfo& patient = patients.Get(item.PatientID);
        if (patients.Status() != 0) return Fail(failure, patients.FileName(), patients.Status());
        if (patient.inactive) continue;
        rows->push_back(MakeRow(item, patient, f, names));
    }
    return IsEndOfScan(status) ? 0 : Fail(failure, items.GetFileName(), status);
}

}  // namespace

int ReadLabRows(CVeloDBSys* db, const LabFilter& f, const LabNames& names,
                std::vector<LabRow>* rows, LabReadFailure* failure) {
    if (db == nullptr || rows == nullptr) return recman::kFileNotOpen;
    // One read transaction: the list shows one state of the items and their patients, and
    // each file's shared lock is taken once rather than once for every record read. A
    // second attempt (without the transaction) starts from what the caller handed in.
    const size_t kept = rows->size();
    const LabReadFailure before = failure != nullptr ? *failure : LabReadFailure();
    return CBaseDBCall::ReadConsistently([&] {
        rows->erase(rows->begin() + static_cast<std::ptrdiff_t>(kept), rows->end());
        if (failure != nullptr) *failure = before;
        return ReadLabRowsOnce(db, f, names, rows, failure);
    });
}

ByItemResult BuildByItemGrid(CVeloDBSys* db, const LabFilter& f, bool showEmptyDays,
                             const LabNames& names, ByItemGrid* grid, LabReadFailure* failure) {
    if (grid == nullptr) return ByItemResult::Ok;
    *grid = ByItemGrid();
    LabFilter filter = f;
    if (!filter.useRange) {
        filter.useRange = true;
        filter.from = "01000101";
        filter.to = "99991231";
        showEmptyDays = false;
    }
    const QDate from = CDate::FromYmd(filter.from.c_str());
    const QDate to = CDate::FromYmd(filter.to.c_str());
    if (showEmptyDays && from.isValid() && to.isValid() &&
        from.daysTo(to) > kLongestEmptyDayRange) {
        return ByItemResult::RangeTooLong;
    }
    if (db == nullptr) return ByItemResult::Ok;

    CMaterialItemCateDB categories;
    int status = categories.SetAssociatedDB(db);
    if (status == 0) {
        char key[sizeof(tagMATERIALITEMCATEDB::Code)] = {};
        categories.SetKey(CMaterialItemCateDB::kKeyCodeOrder);
        categories.SetKeyBuffer(key, sizeof key);
        for (status = categories.GetGREQ(); status == 0; status = categories.GetNEXT()) {
            const tagMATERIALITEMCATEDB& c = categories.m_Data;
            if (std::strncmp(c.HiddenMark, "__", 2) == 0) continue;
            grid->columns.push_back({FieldText(c.Code), Cp932FieldToQString(c.Name)});
        }
    }
    if (!IsEndOfScan(status)) Fail(failure, categories.GetFileName(), status);
    if (grid->columns.empty()) grid->columns.push_back({"0000", QString()});
    std::map<size_t, size_t> columnOf;  // category number -> first column with it
    for (size_t i = 0; i < grid->columns.size(); ++i) {
        const std::string& code = grid->columns[i].code;
        const std::optional<size_t> n = CodeNumber(code.c_str(), code.size() + 1);
        if (n) columnOf.emplace(*n, i);
    }

    std::vector<LabRow> rows;
    ReadLabRows(db, filter, names, &rows, failure);

    std::map<std::string, ByItemDay> byDate;
    const size_t columnCount = grid->columns.size();
    for (const LabRow& row : rows) {
        const char* category = row.item.CategoryCode;
        const std::optional<size_t> n = category[0] == '\0'
                                            ? std::optional<size_t>(0)
                                            : CodeNumber(category, sizeof row.item.CategoryCode);
        if (!n) continue;
        const auto column = columnOf.find(*n);
        if (column == columnOf.end()) continue;
        if (!CDate::IsValid(row.dueDate.c_str())) continue;

        QString text =
            QStringLiteral("患　者　： [%1] %2\n技工物　： %3\n完成予定： %4\n担当者　： %5")
                .arg(Cp932ToQString(row.chartNo), row.name, row.text[kColItem], row.text[kColDue],
                     row.text[kColStaff]);
        if (row.finished) text += QStringLiteral("\n完成日　： ") + row.text[kColFinished];
        if (!row.text[kColMemo].isEmpty())
            text += QStringLiteral("\n備　考　： ") + row.text[kColMemo];

        ByItemDay& day = byDate[row.dueDate];
        if (day.cells.empty()) {
            day.date = row.dueDate;
            day.cells.resize(columnCount);
        }
        std::vector<ByItemCard>& cell = day.cells[column->second];
        cell.push_back({row.materialNo, text, row.finished});
        day.rows = std::max(day.rows, static_cast<int>(cell.size()));
    }

    QDate first, last;
    if (showEmptyDays) {
        first = from;
        last = to;
    } else if (!byDate.empty()) {
        first = CDate::FromYmd(byDate.begin()->first.c_str());
        last = CDate::FromYmd(byDate.rbegin()->first.c_str());
    }
    if (!first.isValid() || !last.isValid()) return ByItemResult::Ok;
    for (QDate d = first; d <= last; d = d.addDays(1)) {
        const std::string ymd = CDate::ToYmd(d);
        auto found = byDate.find(ymd);
        if (found != byDate.end()) {
            grid->days.push_back(std::move(found->second));
        } else {
            ByItemDay day;
            day.date = ymd;
            day.cells.resize(columnCount);
            grid->days.push_back(std::move(day));
        }
    }
    return ByItemResult::Ok;
}

QString ByItemDayLabel(const std::string& yyyymmdd) {
    const QDate date = CDate::FromYmd(yyyymmdd.c_str());
    if (!date.isValid()) return QString();
    QString weekdays = LoadString(kIdsLabWeekdays);
    if (weekdays.isEmpty()) {
        RegisterLabStrings();
        weekdays = LoadString(kIdsLabWeekdays);
    }
    const QStringList names = weekdays.split(QLatin1Char(' '));
    const int weekday = date.dayOfWeek() % 7;  // Sunday first
    const QString name = weekday < names.size() ? names[weekday] : QString();
    return QStringLiteral("%1/%2 \n(%3) ").arg(date.month(), 2).arg(date.day(), 2).arg(name);
}

int DeleteLabItem(CVeloDBSys* db, const std::string& materialNo,
                  const std::function<bool()>& confirm) {
    if (db == nullptr) return recman::kFileNotOpen;
    CMaterialDB items;
    int status = items.SetAssociatedDB(db);
    if (status != 0) return status;
    status = CBaseDBCall::BeginTran();
    if (status != 0) return status;
    status = items.GetMaterialData(materialNo.c_str());
    if (status != 0) {
        CBaseDBCall::AbortTran();
        return status;
    }
    if (confirm && !confirm()) {
        CBaseDBCall::AbortTran();
        return 2;
    }
    status = items.Delete();
    if (status != 0) {
        CBaseDBCall::AbortTran();
        return status;
    }
    status = CBaseDBCall::EndTran();
    if (status != 0) CBaseDBCall::AbortTran();
    return status;
}
