// The sheet's loads as the plain sides of the benchmarks build them.
#include "plainsheet.h"

#include <QStringList>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <tuple>

#include "sheet/reservation.h"
#include "sheet/timegrid.h"
#include "suite/comdlg/patientmasters.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/tools.h"

using namespace velo::sheet;
using Table = CPlainSheetLookup::Table;

namespace {

// The texts the sheet builds from dates, names and parts, as the suite builds them.
QString DateText(const char* field, size_t width) {
    if (::strnlen(field, width) != 8) return QString();
    return CTools::MakeDate(std::string(field, 8).c_str());
}

QString NotFoundName(const std::string& code) {
    return QStringLiteral("NA [%1]").arg(Cp932ToQString(code));
}

QString JoinNonEmpty(const QString& format, std::initializer_list<QString> parts) {
    bool any = false;
    for (const QString& part : parts) any = any || !part.isEmpty();
    if (!any) return QString();
    QString text = format;
    for (const QString& part : parts) text = text.arg(part);
    return text;
}

QString JoinPresent(std::initializer_list<QString> parts) {
    QStringList present;
    for (const QString& part : parts) {
        if (!part.isEmpty()) present << part;
    }
    return present.join(QLatin1Char(' '));
}

template <typename Make>
const QString& Cached(std::unordered_map<std::string, QString>& cache, const std::string& key,
                      Make make) {
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    return cache.emplace(key, make()).first->second;
}

auto BarFields(const ReservationBar& b) {
    return std::tie(b.reservationNo, b.patientId, b.date, b.start, b.end, b.column, b.status,
                    b.colour);
}

}  // namespace

uint16_t PlainTimeField(const char* field) {
    int value = 0;
    for (int i = 0; i < 4 && field[i] >= '0' && field[i] <= '9'; ++i)
        value = value * 10 + (field[i] - '0');
    return uint16_t(value);
}

void CPlainSheetBuilder::StartDay(const std::string& date, DayData* out) {
    *out = DayData();
    out->date = date;
    out->dayOff = CDate().IsDayOff(date.c_str()) != 0;
}

void CPlainSheetBuilder::Add(const tagRESERVATIONDB& r, const std::vector<std::string>& units,
                             bool weekStyle, bool clock24, DayData* out) {
    if (!IsLiveStatus(r.Status)) return;
    const std::string id = FieldText(r.PatientID);
    const std::optional<tagPATIENTDB>& patient = PersonOf(id);
    const tagPATIENTDB* p = patient ? &*patient : nullptr;
    if (p != nullptr && p->InactiveFlag == 1) return;
    const auto& type = TypeOf(FieldText(r.ResTypeCode));
    const std::string unitCode = FieldText(r.UnitCode);
    const QString& unit = UnitOf(unitCode);
    const QString& doctor = DoctorOf(FieldText(r.DoctorCode));
    ReservationBar bar;
    bar.reservationNo = FieldText(r.ReservationNo);
    bar.patientId = id;
    bar.date = out->date;
    bar.start = PlainTimeField(r.StartTime);
    bar.end = PlainTimeField(r.EndTime);
    const auto column = std::find(units.begin(), units.end(), unitCode);
    bar.column = column != units.end() ? uint16_t(column - units.begin()) : kNoColumn;
    bar.status = r.Status;
    bar.colour = type.second;
    FillItems(r, p, unit, doctor, type.first, weekStyle, clock24, bar.items);
    if (!id.empty()) {
        DayListRow row;
        row.reservationNo = bar.reservationNo;
        row.patientId = id;
        row.status = r.Status;
        row.columns[0] = QString::fromStdString(ListTimeText(bar.start, bar.end, clock24));
        row.columns[1] = p != nullptr ? Cp932FieldToQString(p->Name) : QString();
        row.columns[2] = unit;
        row.columns[3] = Cp932FieldToQString(r.Treatment);
        row.columns[4] = doctor;
        row.came = r.Status == uint8_t(ResStatus::Came);
        out->list.push_back(std::move(row));
    }
    out->bars.push_back(std::move(bar));
}

// The 30 item values of a bar, in the display-item catalogue's order.
void CPlainSheetBuilder::FillItems(const tagRESERVATIONDB& r, const tagPATIENTDB* p,
                                   const QString& unit, const QString& doctor, const QString& type,
                                   bool weekStyle, bool clock24, QString* items) {
    if (p == nullptr) {
        items[0] = QString::fromUtf8("予約不可設定\n");
    } else if (weekStyle) {
        items[0] = QStringLiteral("[%1] %2").arg(Cp932FieldToQString(p->ChartNo),
                                                 Cp932FieldToQString(p->Name));
    } else {
        items[0] = QStringLiteral("[%1] %2$KANA%3")
                       .arg(Cp932FieldToQString(p->ChartNo), Cp932FieldToQString(p->Name),
                            Cp932FieldToQString(p->Kana));
    }
    items[1] = QString::fromStdString(
        ReservationTimeItemText(DateText(r.ResDate, sizeof r.ResDate).toStdString(),
                                PlainTimeField(r.StartTime), PlainTimeField(r.EndTime), clock24));
    items[2] = doctor;
    items[3] = unit;
    items[4] = type;
    if (r.CreditItemCode[0] != '\0')
        items[5] = QStringLiteral("%1 %2").arg(
            CreditOf(FieldText(r.CreditCateCode), FieldText(r.CreditItemCode)),
            QString::number(r.Fee));
    if (r.MaterialNo[0] != '\0') items[6] = LabOf(FieldText(r.MaterialNo), weekStyle);
    items[7] = Cp932FieldToQString(r.Treatment);
    if (p != nullptr) FillPatientItems(*p, items);
    const std::string staff = FieldText(r.StaffCode);
    if (!staff.empty() && staff != "000") items[22] = NameOf(Table::kStaff, staff, m_caches.staff);
    items[23] = DateText(r.EntryDate, sizeof r.EntryDate);
    const std::string way = FieldText(r.ResWayCode);
    if (!way.empty() && way != "000") items[24] = NameOf(Table::kWay, way, m_caches.ways);
}

void CPlainSheetBuilder::FillPatientItems(const tagPATIENTDB& p, QString* items) {
    items[8] = DateText(p.BirthDate, sizeof p.BirthDate);
    items[9] = DateText(p.FirstVisitDate, sizeof p.FirstVisitDate);
    if (p.ConditionCode[0] != '\0') items[10] = ConditionOf(FieldText(p.ConditionCode));
    if (p.IntroDrCode[0] != '\0') items[11] = IntroDrOf(FieldText(p.IntroDrCode));
    if (p.FamilyDrCode[0] != '\0') items[12] = IntroDrOf(FieldText(p.FamilyDrCode));
    items[13] = JoinNonEmpty(QStringLiteral("〒%1 %2 %3"),
                             {Cp932FieldToQString(p.ZipCode), Cp932FieldToQString(p.Address1),
                              Cp932FieldToQString(p.Address2)});
    items[14] = JoinNonEmpty(QStringLiteral("自: %1 携: %2 他: %3"),
                             {Cp932FieldToQString(p.HomeTel), Cp932FieldToQString(p.MobileTel),
                              Cp932FieldToQString(p.OtherTel)});
    items[15] = Cp932FieldToQString(p.Email);
    const QString workKind =
        p.WorkKindCode[0] != '\0'
            ? CategoryName(kWorkKindCategory, FieldText(p.WorkKindCode), m_caches.workKinds)
            : QString();
    items[16] = JoinPresent(
        {workKind, Cp932FieldToQString(p.WorkplaceName), Cp932FieldToQString(p.WorkplaceTel)});
    if (p.TraitCode[0] != '\0') items[17] = CustomOf(kPatientTraitTable, FieldText(p.TraitCode));
    if (p.InsuranceType[0] != '\0') {
        const std::string code = FieldText(p.InsuranceType);
        items[18] = QStringLiteral("%1(%2)").arg(CategoryName("2", code, m_caches.insurance),
                                                 Cp932ToQString(code));
    }
    items[19] = Cp932FieldToQString(p.Comment);
    if (p.GuardianName[0] != '\0' || p.GuardianKana[0] != '\0')
        items[20] =
            QStringLiteral("%1$KANA%2")
                .arg(Cp932FieldToQString(p.GuardianName), Cp932FieldToQString(p.GuardianKana));
    items[21] = Cp932FieldToQString(p.GuardianJob);
    for (int i = 0; i < kPatientFreeTableCount; ++i) {
        if (p.FreeTblCode[i][0] == '\0') continue;
        items[25 + i] = CustomOf(FreeTableId(i), FieldText(p.FreeTblCode[i]));
    }
}

// Both records of a patient, as the suite keeps them; nothing when the first is missing.
const std::optional<tagPATIENTDB>& CPlainSheetBuilder::PersonOf(const std::string& id) {
    auto it = m_caches.people.find(id);
    if (it != m_caches.people.end()) return it->second;
    std::optional<tagPATIENTDB> person;
    if (!id.empty()) {
        tagPATIENTDB record{};
        auto* bytes = reinterpret_cast<char*>(&record);
        if (Find(Table::kPatient1, {id}, reinterpret_cast<tagPATIENT1DB*>(bytes))) {
            Find(Table::kPatient2, {id},
                 reinterpret_cast<tagPATIENT2DB*>(bytes + sizeof(tagPATIENT1DB)));
            person = record;
        }
    }
    return m_caches.people.emplace(id, person).first->second;
}

const QString& CPlainSheetBuilder::LabOf(const std::string& no, bool weekStyle) {
    return Cached(weekStyle ? m_caches.labWeek : m_caches.labDay, no, [&] {
        tagMATERIALDB m;
        if (!Find(Table::kMaterial, {no}, &m)) return QString();
        const QString name = Cp932FieldToQString(m.ItemName);
        const QString finished = DateText(m.FinishedDate, sizeof m.FinishedDate);
        const QString due = DateText(m.CompletionDate, sizeof m.CompletionDate);
        if (!weekStyle && !finished.isEmpty())
            return QStringLiteral("%1 [完成済み: %2]").arg(name, finished);
        if (!due.isEmpty()) return QStringLiteral("%1 [完成予定: %2]").arg(name, due);
        return QString();
    });
}

const QString& CPlainSheetBuilder::CreditOf(const std::string& cate, const std::string& item) {
    return Cached(m_caches.credits, cate + '\x1f' + item, [&] {
        tagCREDITITEMDB r;
        return Find(Table::kCreditItem, {cate, item}, &r) ? Cp932FieldToQString(r.ItemName)
                                                          : QString();
    });
}

// Staff and reservation-way records share their layout's first fields (code, name).
const QString& CPlainSheetBuilder::NameOf(Table table, const std::string& code,
                                          std::unordered_map<std::string, QString>& cache) {
    return Cached(cache, code, [&] {
        tagSTAFFDB r;
        return Find(table, {code}, &r) ? Cp932FieldToQString(r.Name) : QString();
    });
}

const QString& CPlainSheetBuilder::CategoryName(const char* type, const std::string& code,
                                                std::unordered_map<std::string, QString>& cache) {
    return Cached(cache, code, [&] {
        tagCATEGORYDB r;
        return Find(Table::kCategory, {type, code}, &r) ? Cp932FieldToQString(r.Name) : QString();
    });
}

const std::pair<QString, uint32_t>& CPlainSheetBuilder::TypeOf(const std::string& code) {
    auto it = m_caches.types.find(code);
    if (it != m_caches.types.end()) return it->second;
    tagCATEGORYDB r;
    std::pair<QString, uint32_t> value{QString(), kDefaultBarColour};
    if (Find(Table::kCategory, {"0", code}, &r))
        value = {Cp932FieldToQString(r.Name), uint32_t(r.Colour)};
    return m_caches.types.emplace(code, value).first->second;
}

const QString& CPlainSheetBuilder::UnitOf(const std::string& code) {
    return Cached(m_caches.units, code, [&] {
        tagCATEGORYDB r;
        return Find(Table::kCategory, {"1", code}, &r) ? Cp932FieldToQString(r.Name)
                                                       : NotFoundName(code);
    });
}

const QString& CPlainSheetBuilder::DoctorOf(const std::string& code) {
    return Cached(m_caches.doctors, code, [&] {
        tagDOCTORDB r;
        return Find(Table::kDoctor, {code}, &r) ? Cp932FieldToQString(r.Name) : NotFoundName(code);
    });
}

const QString& CPlainSheetBuilder::ConditionOf(const std::string& code) {
    return Cached(m_caches.conditions, code, [&] {
        tagCONDITIONDB r;
        return Find(Table::kCondition, {code}, &r) ? Cp932FieldToQString(r.Name) : QString();
    });
}

const QString& CPlainSheetBuilder::IntroDrOf(const std::string& code) {
    return Cached(m_caches.introDrs, code, [&] {
        tagINTRODRDB r;
        return Find(Table::kIntroDr, {code}, &r)
                   ? IntroDrDisplayName(Cp932FieldToQString(r.ClinicName),
                                        Cp932FieldToQString(r.Name))
                   : QString();
    });
}

const QString& CPlainSheetBuilder::CustomOf(const std::string& table, const std::string& code) {
    return Cached(m_caches.custom, table + '\x1f' + code, [&] {
        tagCUSTOMTBLDB r;
        return Find(Table::kCustom, {table, code}, &r) ? Cp932FieldToQString(r.Name) : QString();
    });
}

std::vector<std::string> UnitCodes(const std::vector<ColumnEntity>& columns) {
    std::vector<std::string> codes;
    for (const ColumnEntity& c : columns) codes.push_back(c.code);
    return codes;
}

bool SameDay(const DayData& a, const DayData& b) {
    if (a.date != b.date || a.dayOff != b.dayOff || a.count != b.count ||
        a.bars.size() != b.bars.size() || a.list.size() != b.list.size())
        return false;
    for (size_t i = 0; i < a.bars.size(); ++i) {
        if (BarFields(a.bars[i]) != BarFields(b.bars[i]) ||
            !std::equal(std::begin(a.bars[i].items), std::end(a.bars[i].items),
                        std::begin(b.bars[i].items)))
            return false;
    }
    for (size_t i = 0; i < a.list.size(); ++i) {
        const DayListRow& x = a.list[i];
        const DayListRow& y = b.list[i];
        if (x.reservationNo != y.reservationNo || x.patientId != y.patientId ||
            x.status != y.status || x.came != y.came ||
            !std::equal(std::begin(x.columns), std::end(x.columns), std::begin(y.columns)))
            return false;
    }
    return true;
}
