// Loading of the appointment sheet's data: the grid's columns, one day's (or a week's)
// live reservations as bars with their 30 item values and day-list rows, and the month's
// per-day counts. Master names, patients and lab items are read once per load and kept
// in maps, so a busy day reads each master record and each patient only once.
#include "sheet/sheetdata.h"

#include <QDate>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "recman/recman.h"
#include "sheet/reservation.h"
#include "sheet/sheetsettings.h"
#include "sheet/timegrid.h"
#include "suite/comdlg/patientmasters.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/tablestamp.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/tools.h"

namespace velo::sheet {
namespace {

// Item indices of the display-item catalogue, in its order.
enum Item : int {
    kItemName = 0,
    kItemTime,
    kItemDoctor,
    kItemUnit,
    kItemType,
    kItemFee,
    kItemLab,
    kItemTreatment,
    kItemBirthDate,
    kItemFirstVisit,
    kItemCondition,
    kItemReferringDoctor,
    kItemFamilyDoctor,
    kItemAddress,
    kItemTelephone,
    kItemMail,
    kItemWorkplace,
    kItemTraits,
    kItemInsurance,
    kItemComment,
    kItemGuardianName,
    kItemGuardianJob,
    kItemStaff,
    kItemEntryDate,
    kItemResWay,
    kItemFreeTable1,
};
static_assert(kItemFreeTable1 + 5 == kSheetItemCount);

const char* const kCategoryResType = "0";
const char* const kCategoryUnit = "1";
const char* const kCategoryInsurance = "2";
const char* const kHiddenMark = "__";
const char* const kNoPatientText = "予約不可設定\n";
const char* const kNotAvailable = "NA";

template <size_t N>
bool IsHidden(const char (&field)[N]) {
    return std::strncmp(field, kHiddenMark, 2) == 0;
}

uint16_t TimeField(const char* field) {
    int value = 0;
    for (int i = 0; i < 4 && field[i] >= '0' && field[i] <= '9'; ++i)
        value = value * 10 + (field[i] - '0');
    return static_cast<uint16_t>(value);
}

QString NotFoundName(const std::string& code) {
    return QStringLiteral("%1 [%2]").arg(QString::fromUtf8(kNotAvailable), Cp932ToQString(code));
}

QString DateText(const char* field, size_t width) {
    if (::strnlen(field, width) != 8) return QString();
    return CTools::MakeDate(std::string(field, 8).c_str());
}

// One table opened on the handle's folder; a table that cannot be opened yields nothing
// (so a missing master never stops a load) and, when asked, the failure.
template <typename Table>
std::unique_ptr<Table> OpenTable(CVeloDBSys* db, ReadFailure* failure = nullptr) {
    auto table = std::make_unique<Table>();
    const int result = table->SetAssociatedDB(db);
    if (result == recman::kOk) return table;
    if (failure != nullptr) *failure = {result, table->GetFileName()};
    return nullptr;
}

// A patient is kept in two files; this names the one that an open (empty patientId) or a
// read of that patient fails on.
std::string FailingPatientFile(CVeloDBSys* db, const std::string& patientId) {
    CPatient1DB first;
    int status = first.SetAssociatedDB(db);
    if (status == recman::kOk && !patientId.empty()) {
        status = first.GetPatient1Data(patientId.c_str());
    }
    if (status != recman::kOk && status != recman::kKeyNotFound) return first.GetFileName();
    return CPatient2DB().GetFileName();
}

// The end of a read loop: running off the end of the index is no failure.
bool IsReadError(int status) {
    return status != recman::kOk && status != recman::kEndOfFile && status != recman::kKeyNotFound;
}

struct TypeInfo {
    QString name;
    uint32_t colour = kDefaultBarColour;
};

// A master table opened on first use.
template <typename Table>
struct Lazy {
    std::unique_ptr<Table> table;
    bool tried = false;
    Table* operator->() { return table.get(); }
};

struct PatientEntry {
    int status = recman::kOk;  // 0 found, 4 not found, other: read error
    tagPATIENTDB record{};
};

// The names of the entries of the masters that only the patient detail items name: treatment
// conditions, outside doctors, and the tables of CUSTOMTBL.BTR (patient traits, free tables).
// They are read whole before a load's read transaction, because together with the files the
// load reads they would be more than one transaction may hold. They are short lists that
// change seldom, and a name read a moment before the reservations cannot show a booking
// half-changed. The handle keeps them while the three files stay as they were, so a sheet
// that reloads again and again reads them once and its loads keep to the files they need.
class CDetailNames {
public:
    // Reads the three masters in a read transaction of their own unless the handle holds
    // their names from files that have not changed since; a master that cannot be read
    // leaves its names unknown (empty), like any master entry that is not found, and is read
    // again by the next load.
    explicit CDetailNames(CVeloDBSys* db) : m_names(db->PatientMasterNames()) {
        std::vector<CTableStamp> stamps;
        const bool stamped = StampMasters(db, &stamps);
        if (stamped && Unchanged(stamps)) return;
        // Stamped before reading: a commit in between leaves the stamps behind the names,
        // which only means they are read again next time.
        const bool complete = ReadNames(db);
        m_names.stamps = stamped && complete ? std::move(stamps) : std::vector<CTableStamp>();
    }

    QString Condition(const std::string& code) const { return Find(m_names.conditions, code); }
    // A referring or family doctor: the clinic and the doctor's name.
    QString OutsideDoctor(const std::string& code) const {
        return Find(m_names.outsideDoctors, code);
    }
    // An entry of a table of CUSTOMTBL.BTR.
    QString CustomEntry(const std::string& table, const std::string& code) const {
        return Find(m_names.customEntries, CustomKey(table, code));
    }

private:
    static std::vector<std::string> MasterFiles() {
        return {CConditionDB().GetFileName(), CIntroDrDB().GetFileName(),
                CCustomTblDB().GetFileName()};
    }

    // False when a master is no file of the folder: its names cannot be kept.
    static bool StampMasters(CVeloDBSys* db, std::vector<CTableStamp>* stamps) {
        for (const std::string& file : MasterFiles()) {
            CTableStamp stamp;
            if (!StampTableFile(db->GetDatabaseFolder(), file, &stamp)) return false;
            stamps->push_back(stamp);
        }
        return true;
    }

    bool Unchanged(const std::vector<CTableStamp>& now) const {
        if (m_names.stamps.size() != now.size()) return false;
        for (size_t i = 0; i < now.size(); ++i) {
            if (!StillCurrent(m_names.stamps[i], now[i])) return false;
        }
        return true;
    }

    // True when every master was read to its end.
    bool ReadNames(CVeloDBSys* db) {
        bool complete = true;
        CBaseDBCall::ReadConsistently([&] {
            m_names.conditions.clear();
            m_names.outsideDoctors.clear();
            m_names.customEntries.clear();
            complete = ReadAll<CConditionDB>(db, [&](const tagCONDITIONDB& r) {
                m_names.conditions.emplace(FieldText(r.Code), Cp932FieldToQString(r.Name));
            });
            complete &= ReadAll<CIntroDrDB>(db, [&](const tagINTRODRDB& r) {
                m_names.outsideDoctors.emplace(FieldText(r.Code),
                                               IntroDrDisplayName(Cp932FieldToQString(r.ClinicName),
                                                                  Cp932FieldToQString(r.Name)));
            });
            complete &= ReadAll<CCustomTblDB>(db, [&](const tagCUSTOMTBLDB& r) {
                m_names.customEntries.emplace(CustomKey(FieldText(r.TableID), FieldText(r.Code)),
                                              Cp932FieldToQString(r.Name));
            });
            return recman::kOk;
        });
        return complete;
    }

    template <typename Table, typename Take>
    static bool ReadAll(CVeloDBSys* db, Take take) {
        auto table = OpenTable<Table>(db);
        if (!table) return false;
        table->SetKey(0);
        int s = table->GetFIRST();
        for (; s == recman::kOk; s = table->GetNEXT()) take(table->m_Data);
        return !IsReadError(s);
    }

    static std::string CustomKey(const std::string& table, const std::string& code) {
        return table + '\x1f' + code;
    }

    static QString Find(const std::unordered_map<std::string, QString>& names,
                        const std::string& key) {
        auto it = names.find(key);
        return it != names.end() ? it->second : QString();
    }

    CVeloDBSys::CPatientMasterNames& m_names;
};

// The lookups of one load, each master read at most once per code.
class CLoadContext {
public:
    CLoadContext(CVeloDBSys* db, const CDetailNames& details) : m_db(db), m_details(details) {}

    const CDetailNames& Details() const { return m_details; }

    int OpenMain(ReadFailure* failure) {
        m_reservations = OpenTable<CReservationDB>(m_db, failure);
        if (!m_reservations) return failure->status;
        m_patients = OpenTable<CPatientDB>(m_db, failure);
        if (!m_patients) {
            failure->tableFile = FailingPatientFile(m_db, std::string());
            return failure->status;
        }
        return recman::kOk;
    }

    CVeloDBSys* Db() const { return m_db; }

    CReservationDB& Reservations() { return *m_reservations; }

    // Has the patients and lab items of these reservations at hand for the lookups that follow
    // (on a server, a statement for each table rather than one per reservation). A failed
    // read here is only a missed shortcut: the lookups read and report as always.
    void Prefetch(const std::vector<tagRESERVATIONDB>& reservations) {
        std::vector<std::string> patients, materials;
        for (const tagRESERVATIONDB& r : reservations) {
            std::string id = FieldText(r.PatientID);
            if (!id.empty() && !m_patientCache.count(id)) patients.push_back(std::move(id));
            if (r.MaterialNo[0] != '\0') materials.push_back(FieldText(r.MaterialNo));
        }
        if (!patients.empty()) m_patients->PrefetchPatients(patients);
        if (!materials.empty() && Ensure(m_materials)) m_materials->PrefetchMaterials(materials);
    }

    const PatientEntry& Patient(const std::string& id) {
        auto it = m_patientCache.find(id);
        if (it != m_patientCache.end()) return it->second;
        PatientEntry entry;
        if (id.empty()) {
            entry.status = recman::kKeyNotFound;
        } else {
            entry.status = m_patients->GetPatientData(id.c_str());
            if (entry.status == recman::kOk) entry.record = m_patients->m_Data;
        }
        return m_patientCache.emplace(id, entry).first->second;
    }

    const TypeInfo& ResType(const std::string& code) {
        auto it = m_types.find(code);
        if (it != m_types.end()) return it->second;
        TypeInfo info;
        const tagCATEGORYDB* record = Category(kCategoryResType, code);
        if (record != nullptr) {
            info.name = Cp932FieldToQString(record->Name);
            info.colour = static_cast<uint32_t>(record->Colour);
        }
        return m_types.emplace(code, info).first->second;
    }

    const QString& UnitName(const std::string& code) {
        return Cached(m_unitNames, code, [&] {
            const tagCATEGORYDB* record = Category(kCategoryUnit, code);
            return record != nullptr ? Cp932FieldToQString(record->Name) : NotFoundName(code);
        });
    }

    const QString& InsuranceName(const std::string& code) {
        return Cached(m_insuranceNames, code, [&] {
            const tagCATEGORYDB* record = Category(kCategoryInsurance, code);
            return record != nullptr ? Cp932FieldToQString(record->Name) : QString();
        });
    }

    const QString& DoctorName(const std::string& code) {
        return Cached(m_doctorNames, code, [&] {
            if (!Ensure(m_doctors)) return NotFoundName(code);
            return m_doctors->GetDoctorData(code.c_str()) == recman::kOk
                       ? Cp932FieldToQString(m_doctors->m_Data.Name)
                       : NotFoundName(code);
        });
    }

    const QString& CreditItemName(const std::string& category, const std::string& item) {
        return Cached(m_creditNames, category + '\x1f' + item, [&] {
            if (!Ensure(m_creditItems)) return QString();
            return m_creditItems->GetCreditItemData(category.c_str(), item.c_str()) == recman::kOk
                       ? Cp932FieldToQString(m_creditItems->m_Data.ItemName)
                       : QString();
        });
    }

    const QString& StaffName(const std::string& code) {
        return Cached(m_staffNames, code, [&] {
            if (!Ensure(m_staff)) return QString();
            return m_staff->GetStaffData(code.c_str()) == recman::kOk
                       ? Cp932FieldToQString(m_staff->m_Data.Name)
                       : QString();
        });
    }

    const QString& WorkKindName(const std::string& code) {
        return Cached(m_workKindNames, code, [&] {
            const tagCATEGORYDB* record = Category(kWorkKindCategory, code);
            return record != nullptr ? Cp932FieldToQString(record->Name) : QString();
        });
    }

    const QString& ResWayName(const std::string& code) {
        return Cached(m_wayNames, code, [&] {
            if (!Ensure(m_ways)) return QString();
            return m_ways->GetReservationWayData(code.c_str()) == recman::kOk
                       ? Cp932FieldToQString(m_ways->m_Data.Name)
                       : QString();
        });
    }

    // The lab-work item text: completed, else due, else empty. The week view shows
    // only the due variant.
    const QString& LabText(const std::string& materialNo, bool weekStyle) {
        return Cached(weekStyle ? m_labWeek : m_labDay, materialNo, [&] {
            if (!Ensure(m_materials) ||
                m_materials->GetMaterialData(materialNo.c_str()) != recman::kOk) {
                return QString();
            }
            const tagMATERIALDB& m = m_materials->m_Data;
            const QString name = Cp932FieldToQString(m.ItemName);
            const QString finished = DateText(m.FinishedDate, sizeof m.FinishedDate);
            const QString due = DateText(m.CompletionDate, sizeof m.CompletionDate);
            if (!weekStyle && !finished.isEmpty()) {
                return QStringLiteral("%1 [完成済み: %2]").arg(name, finished);
            }
            if (!due.isEmpty()) return QStringLiteral("%1 [完成予定: %2]").arg(name, due);
            return QString();
        });
    }

private:
    // Opens a master on first use; false when it cannot be opened (tried only once).
    template <typename Table>
    bool Ensure(Lazy<Table>& slot) {
        if (!slot.tried) {
            slot.table = OpenTable<Table>(m_db);
            slot.tried = true;
        }
        return slot.table != nullptr;
    }

    template <typename Make>
    static const QString& Cached(std::unordered_map<std::string, QString>& map,
                                 const std::string& key, Make make) {
        auto it = map.find(key);
        if (it != map.end()) return it->second;
        return map.emplace(key, make()).first->second;
    }

    const tagCATEGORYDB* Category(const char* type, const std::string& code) {
        if (!m_categoriesOpened) {
            m_categories = OpenTable<CCategoryDB>(m_db);
            m_categoriesOpened = true;
        }
        if (!m_categories) return nullptr;
        if (m_categories->GetCategoryData(type, code.c_str()) != recman::kOk) return nullptr;
        return &m_categories->m_Data;
    }

    CVeloDBSys* m_db;
    const CDetailNames& m_details;
    std::unique_ptr<CReservationDB> m_reservations;
    std::unique_ptr<CPatientDB> m_patients;
    std::unique_ptr<CCategoryDB> m_categories;
    bool m_categoriesOpened = false;
    Lazy<CDoctorDB> m_doctors;
    Lazy<CCreditItemDB> m_creditItems;
    Lazy<CStaffDB> m_staff;
    Lazy<CReservationWayDB> m_ways;
    Lazy<CMaterialDB> m_materials;
    std::unordered_map<std::string, PatientEntry> m_patientCache;
    std::unordered_map<std::string, TypeInfo> m_types;
    std::unordered_map<std::string, QString> m_unitNames, m_insuranceNames, m_doctorNames,
        m_creditNames, m_staffNames, m_wayNames, m_labDay, m_labWeek, m_workKindNames;
};

QString JoinNonEmpty(const QString& format, std::initializer_list<QString> parts) {
    bool any = false;
    for (const QString& part : parts) any = any || !part.isEmpty();
    if (!any) return QString();
    QString text = format;
    for (const QString& part : parts) text = text.arg(part);
    return text;
}

// The non-empty parts joined by blanks.
QString JoinPresent(std::initializer_list<QString> parts) {
    QStringList present;
    for (const QString& part : parts) {
        if (!part.isEmpty()) present << part;
    }
    return present.join(QLatin1Char(' '));
}

// The items that name an entry of a master by a code of the patient record, and the
// workplace and guardian's occupation texts beside them.
void FillPatientDetailItems(CLoadContext& ctx, const tagPATIENTDB& p, QString* items) {
    if (p.ConditionCode[0] != '\0') {
        items[kItemCondition] = ctx.Details().Condition(FieldText(p.ConditionCode));
    }
    if (p.IntroDrCode[0] != '\0') {
        items[kItemReferringDoctor] = ctx.Details().OutsideDoctor(FieldText(p.IntroDrCode));
    }
    if (p.FamilyDrCode[0] != '\0') {
        items[kItemFamilyDoctor] = ctx.Details().OutsideDoctor(FieldText(p.FamilyDrCode));
    }
    const QString workKind =
        p.WorkKindCode[0] != '\0' ? ctx.WorkKindName(FieldText(p.WorkKindCode)) : QString();
    items[kItemWorkplace] = JoinPresent(
        {workKind, Cp932FieldToQString(p.WorkplaceName), Cp932FieldToQString(p.WorkplaceTel)});
    if (p.TraitCode[0] != '\0') {
        items[kItemTraits] = ctx.Details().CustomEntry(kPatientTraitTable, FieldText(p.TraitCode));
    }
    items[kItemGuardianJob] = Cp932FieldToQString(p.GuardianJob);
    for (int i = 0; i < kPatientFreeTableCount; ++i) {
        if (p.FreeTblCode[i][0] == '\0') continue;
        items[kItemFreeTable1 + i] =
            ctx.Details().CustomEntry(FreeTableId(i), FieldText(p.FreeTblCode[i]));
    }
}

void FillItems(CLoadContext& ctx, const tagRESERVATIONDB& r, const tagPATIENTDB* p,
               const QString& unitName, const QString& doctorName, const TypeInfo& type,
               bool weekStyle, bool clock24, QString* items) {
    if (p == nullptr) {
        items[kItemName] = QString::fromUtf8(kNoPatientText);
    } else if (weekStyle) {
        items[kItemName] = QStringLiteral("[%1] %2").arg(Cp932FieldToQString(p->ChartNo),
                                                         Cp932FieldToQString(p->Name));
    } else {
        items[kItemName] = QStringLiteral("[%1] %2$KANA%3")
                               .arg(Cp932FieldToQString(p->ChartNo), Cp932FieldToQString(p->Name),
                                    Cp932FieldToQString(p->Kana));
    }
    const std::string dateText = DateText(r.ResDate, sizeof r.ResDate).toStdString();
    items[kItemTime] = QString::fromStdString(
        ReservationTimeItemText(dateText, TimeField(r.StartTime), TimeField(r.EndTime), clock24));
    items[kItemDoctor] = doctorName;
    items[kItemUnit] = unitName;
    items[kItemType] = type.name;
    if (r.CreditItemCode[0] != '\0') {
        items[kItemFee] = QStringLiteral("%1 %2").arg(
            ctx.CreditItemName(FieldText(r.CreditCateCode), FieldText(r.CreditItemCode)),
            QString::number(r.Fee));
    }
    if (r.MaterialNo[0] != '\0') items[kItemLab] = ctx.LabText(FieldText(r.MaterialNo), weekStyle);
    items[kItemTreatment] = Cp932FieldToQString(r.Treatment);
    if (p != nullptr) {
        items[kItemBirthDate] = DateText(p->BirthDate, sizeof p->BirthDate);
        items[kItemFirstVisit] = DateText(p->FirstVisitDate, sizeof p->FirstVisitDate);
        items[kItemAddress] =
            JoinNonEmpty(QStringLiteral("〒%1 %2 %3"),
                         {Cp932FieldToQString(p->ZipCode), Cp932FieldToQString(p->Address1),
                          Cp932FieldToQString(p->Address2)});
        items[kItemTelephone] =
            JoinNonEmpty(QStringLiteral("自: %1 携: %2 他: %3"),
                         {Cp932FieldToQString(p->HomeTel), Cp932FieldToQString(p->MobileTel),
                          Cp932FieldToQString(p->OtherTel)});
        items[kItemMail] = Cp932FieldToQString(p->Email);
        if (p->InsuranceType[0] != '\0') {
            const std::string code = FieldText(p->InsuranceType);
            items[kItemInsurance] =
                QStringLiteral("%1(%2)").arg(ctx.InsuranceName(code), Cp932ToQString(code));
        }
        items[kItemComment] = Cp932FieldToQString(p->Comment);
        if (p->GuardianName[0] != '\0' || p->GuardianKana[0] != '\0') {
            items[kItemGuardianName] = QStringLiteral("%1$KANA%2")
                                           .arg(Cp932FieldToQString(p->GuardianName),
                                                Cp932FieldToQString(p->GuardianKana));
        }
        FillPatientDetailItems(ctx, *p, items);
    }
    const std::string staff = FieldText(r.StaffCode);
    if (!staff.empty() && staff != "000") items[kItemStaff] = ctx.StaffName(staff);
    items[kItemEntryDate] = DateText(r.EntryDate, sizeof r.EntryDate);
    const std::string way = FieldText(r.ResWayCode);
    if (!way.empty() && way != "000") items[kItemResWay] = ctx.ResWayName(way);
}

uint16_t ColumnOf(const std::vector<ColumnEntity>& columns, const std::string& code) {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].code == code) return static_cast<uint16_t>(i);
    }
    return kNoColumn;
}

// A busy day's reservations of every column, read at once.
constexpr uint32_t kDayRows = 64;

int LoadOneDay(CLoadContext& ctx, const std::string& date, int layoutMode,
               const std::vector<ColumnEntity>& columns, bool weekStyle, bool clock24,
               DayData* out) {
    out->date = date;
    out->dayOff = CDate().IsDayOff(date.c_str()) != 0;
    CReservationDB& table = ctx.Reservations();
    table.SetKey(CReservationDB::kKeyTime);
    char key[kDateWidth + kTimeWidth] = {};
    std::memcpy(key, date.data(), std::min(date.size(), kDateWidth - 1));
    table.SetKeyBuffer(key, sizeof key);
    // The day's reservations first, so that their patients and lab items are read together.
    std::vector<tagRESERVATIONDB> live;
    table.ExpectRows(kDayRows);
    int status = table.GetGREQ();
    for (; status == recman::kOk; status = table.GetNEXT()) {
        const tagRESERVATIONDB& r = table.m_Data;
        if (std::string_view(r.ResDate, ::strnlen(r.ResDate, sizeof r.ResDate)) != date) break;
        if (IsLiveStatus(r.Status)) live.push_back(r);
    }
    ctx.Prefetch(live);
    for (const tagRESERVATIONDB& r : live) {
        const std::string patientId = FieldText(r.PatientID);
        const PatientEntry& patient = ctx.Patient(patientId);
        if (patient.status != recman::kOk && patient.status != recman::kKeyNotFound) {
            // Left out, so the day is not complete: its cells may look free when they are not.
            if (!out->failure.Failed()) {
                out->failure = {patient.status, FailingPatientFile(ctx.Db(), patientId)};
            }
            continue;
        }
        const tagPATIENTDB* p = patient.status == recman::kOk ? &patient.record : nullptr;
        if (p != nullptr && p->InactiveFlag == 1) continue;

        const TypeInfo& type = ctx.ResType(FieldText(r.ResTypeCode));
        const std::string unitCode = FieldText(r.UnitCode);
        const std::string doctorCode = FieldText(r.DoctorCode);
        const QString& unitName = ctx.UnitName(unitCode);
        const QString& doctorName = ctx.DoctorName(doctorCode);

        ReservationBar bar;
        bar.reservationNo = FieldText(r.ReservationNo);
        bar.patientId = patientId;
        bar.date = date;
        bar.start = TimeField(r.StartTime);
        bar.end = TimeField(r.EndTime);
        bar.column = ColumnOf(columns, layoutMode == 1 ? doctorCode : unitCode);
        bar.status = r.Status;
        bar.colour = type.colour;
        FillItems(ctx, r, p, unitName, doctorName, type, weekStyle, clock24, bar.items);

        if (!patientId.empty()) {
            DayListRow row;
            row.reservationNo = bar.reservationNo;
            row.patientId = patientId;
            row.status = r.Status;
            row.columns[0] = QString::fromStdString(ListTimeText(bar.start, bar.end, clock24));
            row.columns[1] = p != nullptr ? Cp932FieldToQString(p->Name) : QString();
            row.columns[2] = unitName;
            row.columns[3] = Cp932FieldToQString(r.Treatment);
            row.columns[4] = doctorName;
            row.came = r.Status == static_cast<uint8_t>(ResStatus::Came);
            out->list.push_back(std::move(row));
        }
        out->bars.push_back(std::move(bar));
    }
    out->count = static_cast<int>(out->list.size());
    if (IsReadError(status)) out->failure = {status, table.GetFileName()};
    return out->failure.status;
}

// Runs a load inside one read transaction, so that it sees a single state of the files
// (another workstation's commit lands wholly before or after it) and takes the shared
// locks once instead of once per record read. Inside a caller's transaction the load just
// runs in it. A load that needs more files than one transaction may hold runs again
// without one.
template <typename Load>
int ReadConsistently(Load load) {
    if (CBaseDBCall::BeginTran() != recman::kOk) return load();
    const int status = load();
    CBaseDBCall::EndTran();
    if (status == recman::kFileTableFull) return load();
    return status;
}

}  // namespace

std::vector<ColumnEntity> LoadColumnEntities(CVeloDBSys* db, int layoutMode, ReadFailure* failure) {
    std::vector<ColumnEntity> columns;
    ReadFailure local;
    ReadFailure& result = failure != nullptr ? *failure : local;
    result = ReadFailure();
    if (layoutMode == 1) {
        auto doctors = OpenTable<CDoctorDB>(db, &result);
        if (!doctors) return columns;
        doctors->SetKey(CDoctorDB::kKeyCode);
        int s = doctors->GetFIRST();
        for (; s == recman::kOk; s = doctors->GetNEXT()) {
            const tagDOCTORDB& d = doctors->m_Data;
            if (IsHidden(d.HiddenMark)) continue;
            columns.push_back({FieldText(d.Code), Cp932FieldToQString(d.Name)});
        }
        if (IsReadError(s)) result = {s, doctors->GetFileName()};
        return columns;
    }
    auto categories = OpenTable<CCategoryDB>(db, &result);
    if (!categories) return columns;
    categories->SetKey(CCategoryDB::kKeyTypeCode);
    char key[sizeof(tagCATEGORYDB::Type) + sizeof(tagCATEGORYDB::Code)] = {};
    std::memcpy(key, kCategoryUnit, 1);
    categories->SetKeyBuffer(key, sizeof key);
    int s = categories->GetGREQ();
    for (; s == recman::kOk; s = categories->GetNEXT()) {
        const tagCATEGORYDB& c = categories->m_Data;
        if (std::strncmp(c.Type, kCategoryUnit, sizeof c.Type) != 0) break;
        if (IsHidden(c.HiddenMark)) continue;
        columns.push_back({FieldText(c.Code), Cp932FieldToQString(c.Name)});
    }
    if (IsReadError(s)) result = {s, categories->GetFileName()};
    return columns;
}

int LoadDay(CVeloDBSys* db, const std::string& yyyymmdd, int layoutMode,
            const std::vector<ColumnEntity>& columns, bool weekStyle, DayData* out) {
    return LoadDayWithClock(db, yyyymmdd, layoutMode, columns, weekStyle,
                            ReadSheetSettings().clock24, out);
}

int LoadDayWithClock(CVeloDBSys* db, const std::string& yyyymmdd, int layoutMode,
                     const std::vector<ColumnEntity>& columns, bool weekStyle, bool clock24,
                     DayData* out) {
    if (out == nullptr) return recman::kInvalidOperation;
    const CDetailNames details(db);
    return ReadConsistently([&] {
        *out = DayData();
        out->date = yyyymmdd;
        CLoadContext ctx(db, details);
        const int status = ctx.OpenMain(&out->failure);
        if (status != recman::kOk) return status;
        return LoadOneDay(ctx, yyyymmdd, layoutMode, columns, weekStyle, clock24, out);
    });
}

int LoadWeek(CVeloDBSys* db, const std::string& weekStart, int layoutMode,
             const std::vector<ColumnEntity>& columns, std::array<DayData, 7>* out) {
    if (out == nullptr) return recman::kInvalidOperation;
    const CDate start(weekStart.c_str());
    for (DayData& day : *out) day = DayData();
    if (!start.IsValid()) return recman::kInvalidOperation;
    const bool clock24 = ReadSheetSettings().clock24;
    const CDetailNames details(db);
    return ReadConsistently([&] {
        CLoadContext ctx(db, details);
        ReadFailure openFailure;
        const int opened = ctx.OpenMain(&openFailure);
        int status = opened;
        for (int d = 0; d < 7; ++d) {
            DayData& day = (*out)[d];
            day = DayData();
            day.date = CDate::ToYmd(start.Date().addDays(d));
            if (opened != recman::kOk) {
                day.failure = openFailure;
                continue;
            }
            const int read = LoadOneDay(ctx, day.date, layoutMode, columns, true, clock24, &day);
            if (status == recman::kOk) status = read;
        }
        return status;
    });
}

namespace {

// At most this many patients' positions are kept in a handle (a few megabytes).
constexpr size_t kMaxKeptPatientPositions = 200000;

// Reads a patient's first record into patients->m_Data: at the position it was found at last
// time when the record there is still that patient's (one read by position instead of a search
// through the patient index), else by the patient's number, keeping where it was found.
// Returns the status of the read by number when that was needed.
int ReadPatient1(CVeloDBSys* db, CPatient1DB* patients, const std::string& id) {
    std::unordered_map<std::string, uint32_t>& positions = db->PatientPositions();
    const auto known = positions.find(id);
    if (known != positions.end() && patients->GetDirect(known->second) == recman::kOk &&
        FieldText(patients->m_Data.PatientID) == id) {
        return recman::kOk;
    }
    const int status = patients->GetPatient1Data(id.c_str());
    uint32_t position = 0;
    if (status != recman::kOk || patients->GetPosition(&position) != recman::kOk) {
        positions.erase(id);
        return status;
    }
    if (positions.size() >= kMaxKeptPatientPositions) positions.clear();
    positions[id] = position;
    return status;
}

}  // namespace

// CountMonth without its read transaction.
static int CountMonthOnce(CVeloDBSys* db, int year, int month, std::vector<int>* countsByDay,
                          ReadFailure* failure) {
    countsByDay->assign(32, 0);
    if (year < 1 || year > 9999 || month < 1 || month > 12) return recman::kInvalidOperation;
    auto reservations = OpenTable<CReservationDB>(db, failure);
    if (!reservations) return failure->status;
    auto patients = OpenTable<CPatient1DB>(db, failure);
    if (!patients) return failure->status;

    char first[kDateWidth] = {};
    char last[kDateWidth] = {};
    std::snprintf(first, sizeof first, "%04d%02d01", year, month);
    std::snprintf(last, sizeof last, "%04d%02d31", year, month);
    char key[kDateWidth + kTimeWidth] = {};
    std::memcpy(key, first, 8);
    reservations->SetKey(CReservationDB::kKeyTime);
    reservations->SetKeyBuffer(key, sizeof key);

    // Whether each patient counts: found and not inactive.
    std::unordered_map<std::string, bool> patientCounts;
    int status = reservations->GetGREQ();
    for (; status == recman::kOk; status = reservations->GetNEXT()) {
        const tagRESERVATIONDB& r = reservations->m_Data;
        if (std::strncmp(r.ResDate, last, 8) > 0) break;
        if (!IsLiveStatus(r.Status)) continue;
        const std::string id = FieldText(r.PatientID);
        if (id.empty()) continue;
        auto it = patientCounts.find(id);
        if (it == patientCounts.end()) {
            const int read = ReadPatient1(db, patients.get(), id);
            // A patient that cannot be read is left out of this count but tried again, and
            // the count is reported as incomplete.
            if (read != recman::kOk && read != recman::kKeyNotFound) {
                if (!failure->Failed()) *failure = {read, patients->GetFileName()};
                continue;
            }
            it =
                patientCounts.emplace(id, read == recman::kOk && patients->m_Data.InactiveFlag == 0)
                    .first;
        }
        if (!it->second) continue;
        const int day = (r.ResDate[6] - '0') * 10 + (r.ResDate[7] - '0');
        if (day >= 1 && day <= 31) ++(*countsByDay)[day];
    }
    if (IsReadError(status)) *failure = {status, reservations->GetFileName()};
    return failure->status;
}

int CountMonth(CVeloDBSys* db, int year, int month, std::vector<int>* countsByDay,
               ReadFailure* failure) {
    if (countsByDay == nullptr) return recman::kInvalidOperation;
    ReadFailure local;
    ReadFailure& result = failure != nullptr ? *failure : local;
    return ReadConsistently([&] {
        result = ReadFailure();
        return CountMonthOnce(db, year, month, countsByDay, &result);
    });
}

}  // namespace velo::sheet
