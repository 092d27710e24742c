// Builds the patient screen's lines from the patient record and the doctor and insurance
// masters.
#include "suite/core/patientsummary.h"

#include <cstring>

#include "recman/recman.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/tools.h"

namespace {

// Category kind of insurance types in the category master.
constexpr const char kInsuranceTypeKind[] = "2";

int OpenTable(CBaseDBCall& table, CVeloDBSys* db) {
    if (db != nullptr && !db->GetDatabaseFolder().empty())
        return table.Open(db->GetDatabaseFolder());
    return table.Open();
}

QString DateText(const char* yyyymmdd) {
    return CDate::IsValid(yyyymmdd) ? CTools::MakeDate(yyyymmdd) : QString();
}

QString AgeText(const char* birth, const std::string& today) {
    if (!CDate::IsValid(birth) || !CDate::IsValid(today.c_str())) return QString();
    int years = 0;
    int months = 0;
    CTools::CaclAge(birth, today.c_str(), &years, &months);
    return QStringLiteral("%1歳%2ヶ月").arg(years).arg(months);
}

// The doctor's name, or the bare code when the master has no such doctor.
QString DoctorName(CVeloDBSys* db, const char (&code)[3]) {
    if (code[0] == '\0') return QString();
    CDoctorDB doctors;
    if (OpenTable(doctors, db) == 0 && doctors.GetDoctorData(code) == 0)
        return Cp932FieldToQString(doctors.m_Data.Name);
    return Cp932FieldToQString(code);
}

QString InsuranceName(CVeloDBSys* db, const char (&code)[3]) {
    if (code[0] == '\0') return QString();
    CCategoryDB categories;
    if (OpenTable(categories, db) == 0 &&
        categories.GetCategoryData(kInsuranceTypeKind,
                                   std::string(code, strnlen(code, 3)).c_str()) == 0)
        return Cp932FieldToQString(categories.m_Data.Name);
    return Cp932FieldToQString(code);
}

QString Joined(const QString& a, const QString& b) {
    if (a.isEmpty()) return b;
    if (b.isEmpty()) return a;
    return a + QLatin1Char(' ') + b;
}

}  // namespace

int LoadPatientFields(CVeloDBSys* db, const char* patientId, const std::string& today,
                      std::vector<CPatientField>* fields) {
    if (fields == nullptr) return recman::kInvalidOperation;
    fields->clear();
    if (patientId == nullptr || patientId[0] == '\0') return recman::kKeyNotFound;
    CPatientDB patients;
    int status = OpenTable(patients, db);
    if (status != 0) return status;
    status = patients.GetPatientData(patientId);
    if (status != 0) return status;
    const tagPATIENTDB& r = patients.m_Data;

    QString zip = Cp932FieldToQString(r.ZipCode);
    if (!zip.isEmpty()) zip = QStringLiteral("〒") + zip;
    *fields = {
        {QStringLiteral("患者ID"), Cp932FieldToQString(r.ChartNo)},
        {QStringLiteral("登録番号"), Cp932FieldToQString(r.PatientID)},
        {QStringLiteral("氏名"), Cp932FieldToQString(r.Name)},
        {QStringLiteral("フリガナ"), Cp932FieldToQString(r.Kana)},
        {QStringLiteral("性別"), r.Sex[0] == '1' ? QStringLiteral("男") : QStringLiteral("女")},
        {QStringLiteral("生年月日"), DateText(r.BirthDate)},
        {QStringLiteral("年齢"), AgeText(r.BirthDate, today)},
        {QStringLiteral("初診日"), DateText(r.FirstVisitDate)},
        {QStringLiteral("最終来院日"), DateText(r.LastVisitDate)},
        {QStringLiteral("担当医"), DoctorName(db, r.DoctorCode)},
        {QStringLiteral("自宅電話"), Cp932FieldToQString(r.HomeTel)},
        {QStringLiteral("携帯電話"), Cp932FieldToQString(r.MobileTel)},
        {QStringLiteral("その他電話"), Cp932FieldToQString(r.OtherTel)},
        {QStringLiteral("郵便番号"), zip},
        {QStringLiteral("住所"),
         Joined(Cp932FieldToQString(r.Address1), Cp932FieldToQString(r.Address2))},
        {QStringLiteral("メール"), Cp932FieldToQString(r.Email)},
        {QStringLiteral("保険種別"), InsuranceName(db, r.InsuranceType)},
    };
    return 0;
}
