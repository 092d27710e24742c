// Patient entry: the checks of a patient's basic data, the proposed ID, the new patient key
// from the patient counter, the writing of both patient files in one transaction, the
// dialog, and CVeloComDlg::GetNewPatientData that runs it.
#include "suite/comdlg/patiententrydlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "suite/comdlg/patientmasters.h"
#include "suite/comdlg/storableedits.h"
#include "suite/comdlg/tablehelpers.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/editex.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/tools.h"
#include "suite/tool/dialogbuttons.h"

namespace {

using comdlg::OpenIn;
using comdlg::FieldText;

constexpr int kFirstYear = 1900;
constexpr char kMale[] = "1";
constexpr char kFemale[] = "2";
// Insurance combos carry "K CC": the category kind, a blank, then the code.
constexpr int kInsuranceCodeStart = 2;

const QString kLabelChartNo = QStringLiteral("ID");
const QString kLabelName = QStringLiteral("氏名");
const QString kLabelKana = QStringLiteral("フリガナ");
const QString kLabelBirth = QStringLiteral("生年月日");
const QString kLabelFirstVisit = QStringLiteral("初診日");
const QString kLabelZip = QStringLiteral("〒");
const QString kLabelAddress1 = QStringLiteral("住所1");
const QString kLabelAddress2 = QStringLiteral("住所2");
const QString kLabelHomeTel = QStringLiteral("自宅");
const QString kLabelMobileTel = QStringLiteral("携帯・PHS");
const QString kLabelOtherTel = QStringLiteral("その他");
const QString kLabelSex = QStringLiteral("性別");
const QString kLabelWorkplaceName = QStringLiteral("勤務先・学校");
const QString kLabelWorkplaceTel = QStringLiteral("勤務先電話");
const QString kLabelGuardianJob = QStringLiteral("保護者職業");

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

CPatientSaveResult Failure(EPatientResult result, const QString& field = QString()) {
    CPatientSaveResult failure;
    failure.result = result;
    failure.field = field;
    return failure;
}

CPatientSaveResult DatabaseFailure(int status) {
    CPatientSaveResult failure = Failure(EPatientResult::DatabaseError);
    failure.status = status;
    return failure;
}

// One text of the entry and the record field it goes to.
struct TextField {
    const QString& label;
    const QString& text;
    size_t width;
};

// A telephone number without "-" and blanks, for the digit-only search fields.
std::string TelDigits(const std::string& tel) {
    std::string digits;
    for (char c : tel) {
        if (c != '-' && c != ' ') digits += c;
    }
    return digits;
}

void SetText(char* field, size_t width, const QString& text) {
    SetCp932Field(field, width, text.trimmed());
}

// Writes the entry's fields into the record; the caller has checked the entry. A field the
// user left as it was shown keeps its stored bytes, so a stored value the dialog cannot show
// exactly (a text that is not code page 932, a date that is no date, a sex byte other than
// "1" or "2") is never rewritten unasked.
void ApplyEntry(const CPatientEntry& entry, tagPATIENTDB* record) {
    tagPATIENTDB& r = *record;
    const CPatientEntry shown = PatientEntryFromRecord(r);
    auto text = [](char* field, size_t width, const QString& now, const QString& before) {
        if (now != before) SetText(field, width, now);
    };
    auto date = [](char* field, size_t width, const QString& now, const QString& before) {
        if (now == before) return;
        std::string ymd;
        ParseEntryDate(now, &ymd);
        SetField(field, width, ymd.c_str());
    };
    auto code = [](char* field, size_t width, const QString& now, const QString& before) {
        if (now != before) SetField(field, width, now.trimmed().toLatin1().constData());
    };
    text(r.ChartNo, sizeof r.ChartNo, entry.chartNo, shown.chartNo);
    text(r.Name, sizeof r.Name, entry.name, shown.name);
    text(r.Kana, sizeof r.Kana, entry.kana, shown.kana);
    if (entry.sex != EPatientSex::NotChosen && (entry.sex != shown.sex || r.Sex[0] == 0)) {
        SetField(r.Sex, entry.sex == EPatientSex::Male ? kMale : kFemale);
    }
    date(r.BirthDate, sizeof r.BirthDate, entry.birthDate, shown.birthDate);
    date(r.FirstVisitDate, sizeof r.FirstVisitDate, entry.firstVisitDate, shown.firstVisitDate);
    text(r.ZipCode, sizeof r.ZipCode, entry.zipCode, shown.zipCode);
    text(r.Address1, sizeof r.Address1, entry.address1, shown.address1);
    text(r.Address2, sizeof r.Address2, entry.address2, shown.address2);
    if (entry.homeTel != shown.homeTel) {
        SetText(r.HomeTel, sizeof r.HomeTel, entry.homeTel);
        CopyTextField(r.HomeTelDigits, sizeof r.HomeTelDigits, TelDigits(FieldText(r.HomeTel)));
    }
    if (entry.mobileTel != shown.mobileTel) {
        SetText(r.MobileTel, sizeof r.MobileTel, entry.mobileTel);
        CopyTextField(r.MobileTelDigits, sizeof r.MobileTelDigits,
                      TelDigits(FieldText(r.MobileTel)));
    }
    text(r.OtherTel, sizeof r.OtherTel, entry.otherTel, shown.otherTel);
    code(r.DoctorCode, sizeof r.DoctorCode, entry.doctorCode, shown.doctorCode);
    code(r.InsuranceType, sizeof r.InsuranceType, entry.insuranceType, shown.insuranceType);
    if (entry.inactive != shown.inactive) r.InactiveFlag = entry.inactive ? 1 : 0;
    code(r.ConditionCode, sizeof r.ConditionCode, entry.conditionCode, shown.conditionCode);
    code(r.IntroDrCode, sizeof r.IntroDrCode, entry.introDrCode, shown.introDrCode);
    code(r.FamilyDrCode, sizeof r.FamilyDrCode, entry.familyDrCode, shown.familyDrCode);
    code(r.WorkKindCode, sizeof r.WorkKindCode, entry.workKindCode, shown.workKindCode);
    text(r.WorkplaceName, sizeof r.WorkplaceName, entry.workplaceName, shown.workplaceName);
    text(r.WorkplaceTel, sizeof r.WorkplaceTel, entry.workplaceTel, shown.workplaceTel);
    code(r.TraitCode, sizeof r.TraitCode, entry.traitCode, shown.traitCode);
    text(r.GuardianJob, sizeof r.GuardianJob, entry.guardianJob, shown.guardianJob);
    for (int i = 0; i < kPatientFreeTableCount; ++i) {
        code(r.FreeTblCode[i], sizeof r.FreeTblCode[i], entry.freeTableCodes[i],
             shown.freeTableCodes[i]);
    }
}

// Takes the next patient key from the patient counter, inside the caller's transaction.
int TakePatientId(CVeloDBSys* db, std::string* id) {
    CIndexControlDB counter;
    const int status = OpenIn(counter, db);
    if (status != 0) return status;
    return counter.TakePatientIndex(id);
}

// The checks of the entry that need no file: name, ID and sex given, dates valid, birth not
// after today nor after the first visit, every text within its field.
CPatientSaveResult CheckEntryFields(const CPatientEntry& entry) {
    if (entry.name.trimmed().isEmpty()) return Failure(EPatientResult::EmptyName, kLabelName);
    if (entry.chartNo.trimmed().isEmpty()) {
        return Failure(EPatientResult::EmptyChartNo, kLabelChartNo);
    }
    // A sex taken by default would record a skipped field as a fact about the patient.
    if (entry.sex == EPatientSex::NotChosen) return Failure(EPatientResult::NoSex, kLabelSex);
    const TextField texts[] = {
        {kLabelChartNo, entry.chartNo, sizeof(tagPATIENTDB::ChartNo)},
        {kLabelName, entry.name, sizeof(tagPATIENTDB::Name)},
        {kLabelKana, entry.kana, sizeof(tagPATIENTDB::Kana)},
        {kLabelZip, entry.zipCode, sizeof(tagPATIENTDB::ZipCode)},
        {kLabelAddress1, entry.address1, sizeof(tagPATIENTDB::Address1)},
        {kLabelAddress2, entry.address2, sizeof(tagPATIENTDB::Address2)},
        {kLabelHomeTel, entry.homeTel, sizeof(tagPATIENTDB::HomeTel)},
        {kLabelMobileTel, entry.mobileTel, sizeof(tagPATIENTDB::MobileTel)},
        {kLabelOtherTel, entry.otherTel, sizeof(tagPATIENTDB::OtherTel)},
        {kLabelWorkplaceName, entry.workplaceName, sizeof(tagPATIENTDB::WorkplaceName)},
        {kLabelWorkplaceTel, entry.workplaceTel, sizeof(tagPATIENTDB::WorkplaceTel)},
        {kLabelGuardianJob, entry.guardianJob, sizeof(tagPATIENTDB::GuardianJob)},
    };
    for (const TextField& field : texts) {
        if (QStringToCp932(field.text.trimmed()).size() > field.width - 1) {
            return Failure(EPatientResult::TextTooLong, field.label);
        }
    }
    std::string birth;
    std::string firstVisit;
    if (!ParseEntryDate(entry.birthDate, &birth)) {
        return Failure(EPatientResult::BadDate, kLabelBirth);
    }
    if (!ParseEntryDate(entry.firstVisitDate, &firstVisit)) {
        return Failure(EPatientResult::BadDate, kLabelFirstVisit);
    }
    if (!birth.empty() && birth > CDate::ToYmd(CDate::Today())) {
        return Failure(EPatientResult::BirthInFuture, kLabelBirth);
    }
    if (!birth.empty() && !firstVisit.empty() && birth > firstVisit) {
        return Failure(EPatientResult::BirthAfterFirstVisit, kLabelBirth);
    }
    return CPatientSaveResult();
}

// The ID is held by no patient but `ownPatientId` (inactive patients count: their IDs stay
// theirs).
CPatientSaveResult CheckChartNoFree(CVeloDBSys* db, const CPatientEntry& entry,
                                    const std::string& ownPatientId) {
    CPatient1DB patients;
    int status = OpenIn(patients, db);
    if (status != 0) return DatabaseFailure(status);
    const std::string chartNo = QStringToCp932(entry.chartNo.trimmed());
    char key[sizeof(tagPATIENTDB::ChartNo)] = {};
    std::memcpy(key, chartNo.data(), chartNo.size());
    patients.SetKey(CPatient1DB::kKeyChartNo);
    patients.SetKeyBuffer(key, sizeof key);
    for (status = patients.GetGREQ(); status == 0; status = patients.GetNEXT()) {
        if (FieldText(patients.m_Data.ChartNo) != chartNo) break;
        if (FieldText(patients.m_Data.PatientID) != ownPatientId) {
            CPatientSaveResult duplicate = Failure(EPatientResult::DuplicateChartNo, kLabelChartNo);
            duplicate.otherPatient = Cp932FieldToQString(patients.m_Data.Name);
            return duplicate;
        }
    }
    if (status != 0 && status != recman::kEndOfFile && status != recman::kKeyNotFound) {
        return DatabaseFailure(status);
    }
    return CPatientSaveResult();
}

// The ID check of a save, run inside its transaction once the patient is written: another
// desk saving the same ID at the same moment either committed first and is found here, or
// is held off until this transaction ends and then finds this patient. Returns the status
// for the transaction (a taken ID rolls it back) with the refusal in *refused.
int RefuseTakenChartNo(CVeloDBSys* db, const CPatientEntry& entry, const std::string& ownPatientId,
                       CPatientSaveResult* refused) {
    *refused = CheckChartNoFree(db, entry, ownPatientId);
    if (refused->IsOk()) return 0;
    return refused->result == EPatientResult::DuplicateChartNo ? recman::kDuplicateKey
                                                              : refused->status;
}

}  // namespace

QString PatientResultMessage(const CPatientSaveResult& result) {
    switch (result.result) {
        case EPatientResult::Ok:
            return QString();
        case EPatientResult::EmptyName:
            return QStringLiteral("氏名を入力してください。");
        case EPatientResult::EmptyChartNo:
            return QStringLiteral("IDを入力してください。");
        case EPatientResult::NoSex:
            return QStringLiteral("性別を選択してください。");
        case EPatientResult::DuplicateChartNo:
            return QStringLiteral(
                       "このIDは既に他の患者（%1）に使われています。\n別のIDを入力してください。")
                .arg(result.otherPatient);
        case EPatientResult::BadDate:
            return QStringLiteral(
                       "%1が正しい日付ではありません。\n年/月/日 の形で入力してください（例 "
                       "2010/04/01）。")
                .arg(result.field);
        case EPatientResult::BirthInFuture:
            return QStringLiteral("生年月日が今日より後の日付になっています。");
        case EPatientResult::BirthAfterFirstVisit:
            return QStringLiteral("生年月日が初診日より後の日付になっています。");
        case EPatientResult::TextTooLong:
            return QStringLiteral("%1が長すぎます。短くしてください。").arg(result.field);
        case EPatientResult::NotFound:
            return QStringLiteral("患者データが見つかりません。");
        case EPatientResult::DatabaseError:
            return QStringLiteral("データベースの登録・更新が失敗しました。\n（状態 %1）")
                .arg(result.status);
    }
    return QString();
}

bool ParseEntryDate(const QString& text, std::string* ymd) {
    const QString plain = text.normalized(QString::NormalizationForm_KC).trimmed();
    ymd->clear();
    if (plain.isEmpty()) return true;
    static const QRegularExpression separated(
        QStringLiteral("^(\\d{4})[/.-](\\d{1,2})[/.-](\\d{1,2})$"));
    static const QRegularExpression compact(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})$"));
    QRegularExpressionMatch match = separated.match(plain);
    if (!match.hasMatch()) match = compact.match(plain);
    if (!match.hasMatch()) return false;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(),
                     match.captured(3).toInt());
    if (!date.isValid() || date.year() < kFirstYear) return false;
    *ymd = CDate::ToYmd(date);
    return true;
}

QString EntryDateText(const char* yyyymmdd) {
    if (!CDate::IsValid(yyyymmdd)) return QString();
    return CDate::FromYmd(yyyymmdd).toString(QStringLiteral("yyyy/MM/dd"));
}

CPatientEntry PatientEntryFromRecord(const tagPATIENTDB& r) {
    CPatientEntry entry;
    entry.chartNo = Cp932FieldToQString(r.ChartNo);
    entry.name = Cp932FieldToQString(r.Name);
    entry.kana = Cp932FieldToQString(r.Kana);
    entry.sex = r.Sex[0] == '1' ? EPatientSex::Male : EPatientSex::Female;
    entry.birthDate = EntryDateText(r.BirthDate);
    entry.firstVisitDate = EntryDateText(r.FirstVisitDate);
    entry.zipCode = Cp932FieldToQString(r.ZipCode);
    entry.address1 = Cp932FieldToQString(r.Address1);
    entry.address2 = Cp932FieldToQString(r.Address2);
    entry.homeTel = Cp932FieldToQString(r.HomeTel);
    entry.mobileTel = Cp932FieldToQString(r.MobileTel);
    entry.otherTel = Cp932FieldToQString(r.OtherTel);
    entry.doctorCode = QString::fromLatin1(FieldText(r.DoctorCode).c_str());
    entry.insuranceType = QString::fromLatin1(FieldText(r.InsuranceType).c_str());
    entry.inactive = r.InactiveFlag != 0;
    entry.conditionCode = QString::fromLatin1(FieldText(r.ConditionCode).c_str());
    entry.introDrCode = QString::fromLatin1(FieldText(r.IntroDrCode).c_str());
    entry.familyDrCode = QString::fromLatin1(FieldText(r.FamilyDrCode).c_str());
    entry.workKindCode = QString::fromLatin1(FieldText(r.WorkKindCode).c_str());
    entry.workplaceName = Cp932FieldToQString(r.WorkplaceName);
    entry.workplaceTel = Cp932FieldToQString(r.WorkplaceTel);
    entry.traitCode = QString::fromLatin1(FieldText(r.TraitCode).c_str());
    entry.guardianJob = Cp932FieldToQString(r.GuardianJob);
    for (int i = 0; i < kPatientFreeTableCount; ++i) {
        entry.freeTableCodes[i] = QString::fromLatin1(FieldText(r.FreeTblCode[i]).c_str());
    }
    return entry;
}

QString NextChartNo(CVeloDBSys* db) {
    CPatient1DB patients;
    if (OpenIn(patients, db) != 0) return QString();
    long long highest = -1;
    int width = 1;
    patients.SetKey(CPatient1DB::kKeyPatientID);
    int status = patients.GetFIRST();
    for (; status == 0; status = patients.GetNEXT()) {
        const std::string chartNo = FieldText(patients.m_Data.ChartNo);
        // Longer numbers are not IDs a person counts on.
        if (!AllDigits(chartNo) || chartNo.size() > 15) continue;
        const long long number = std::stoll(chartNo);
        if (number > highest) {
            highest = number;
            width = static_cast<int>(chartNo.size());
        }
    }
    if (status != recman::kEndOfFile && status != recman::kKeyNotFound) return QString();
    char text[24];
    std::snprintf(text, sizeof text, "%0*lld", width, std::max(highest, 0LL) + 1);
    return QString::fromLatin1(text);
}

CPatientSaveResult CheckPatientEntry(CVeloDBSys* db, const CPatientEntry& entry,
                                     const std::string& ownPatientId) {
    const CPatientSaveResult fields = CheckEntryFields(entry);
    if (!fields.IsOk()) return fields;
    return CheckChartNoFree(db, entry, ownPatientId);
}

CPatientSaveResult InsertNewPatient(CVeloDBSys* db, const CPatientEntry& entry,
                                    tagPATIENTDB* saved) {
    const CPatientSaveResult fields = CheckEntryFields(entry);
    if (!fields.IsOk()) return fields;
    CPatientDB patients;
    CPatientSaveResult refused;
    const int status = CBaseDBCall::RunInTransactionRetried([&] {
        std::string id;
        int result = TakePatientId(db, &id);
        if (result != 0) return result;
        result = OpenIn(patients, db);
        if (result != 0) return result;
        patients.ClearData();
        SetField(patients.m_Data.PatientID, id.c_str());
        SetField(patients.m_Data.Patient2ID, id.c_str());
        SetField(patients.m_Data.EntryDate, CDate::ToYmd(CDate::Today()).c_str());
        ApplyEntry(entry, &patients.m_Data);
        result = patients.Insert();
        if (result != 0) return result;
        return RefuseTakenChartNo(db, entry, id, &refused);
    });
    if (refused.result == EPatientResult::DuplicateChartNo) return refused;
    if (status != 0) return DatabaseFailure(status);
    if (saved != nullptr) *saved = patients.m_Data;
    return CPatientSaveResult();
}

CPatientSaveResult UpdatePatient(CVeloDBSys* db, const std::string& patientId,
                                 const CPatientEntry& entry, tagPATIENTDB* saved) {
    {
        CPatient1DB stored;
        int status = OpenIn(stored, db);
        if (status == 0) status = stored.GetPatient1Data(patientId.c_str());
        if (status == recman::kKeyNotFound) return Failure(EPatientResult::NotFound);
        if (status != 0) return DatabaseFailure(status);
    }
    const CPatientSaveResult fields = CheckEntryFields(entry);
    if (!fields.IsOk()) return fields;
    CPatientDB patients;
    CPatientSaveResult refused;
    bool found = true;
    const int status = CBaseDBCall::RunInTransactionRetried([&] {
        int result = OpenIn(patients, db);
        if (result != 0) return result;
        result = patients.GetPatientData(patientId.c_str());
        found = result != recman::kKeyNotFound;
        if (result != 0) return result;
        ApplyEntry(entry, &patients.m_Data);
        result = patients.Update();
        if (result != 0) return result;
        return RefuseTakenChartNo(db, entry, patientId, &refused);
    });
    if (!found) return Failure(EPatientResult::NotFound);
    if (refused.result == EPatientResult::DuplicateChartNo) return refused;
    if (status != 0) return DatabaseFailure(status);
    if (saved != nullptr) *saved = patients.m_Data;
    return CPatientSaveResult();
}

namespace {

QLineEdit* MakeLine(QWidget* parent, int id, size_t width) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::number(id));
    edit->setMaxLength(static_cast<int>(width) - 1);
    return edit;
}

CEditEx* MakeEditEx(QWidget* parent, int id, size_t width, int imeMode) {
    auto* edit = new CEditEx(parent);
    edit->setObjectName(QString::number(id));
    edit->setMaxLength(static_cast<int>(width) - 1);
    edit->SetIMEModes(imeMode);
    return edit;
}

QComboBox* MakeCombo(QWidget* parent, int id) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::number(id));
    return combo;
}

// The master's entries led by "not set", with the same rule for a stored code the master no
// longer lists as the doctor and insurance combos.
void FillChoiceCombo(QComboBox* combo, const std::vector<CMasterChoice>& choices,
                     const QString& code) {
    const QString stored = code.trimmed();
    combo->clear();
    combo->addItem(QStringLiteral("（未設定）"), QString());
    int selected = stored.isEmpty() ? 0 : -1;
    for (const CMasterChoice& choice : choices) {
        if (choice.code == stored && !stored.isEmpty()) selected = combo->count();
        combo->addItem(choice.name, choice.code);
    }
    if (selected < 0) {
        selected = combo->count();
        combo->addItem(CVeloComDlg::UnlistedCodeText(stored), stored);
    }
    combo->setCurrentIndex(selected);
}

QLineEdit* MakeDateLine(QWidget* parent, int id) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::number(id));
    edit->setPlaceholderText(QStringLiteral("yyyy/mm/dd"));
    edit->setMaxLength(10);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00000/00/00")) + 16);
    return edit;
}

}  // namespace

CPatientEntryDlg::CPatientEntryDlg(CVeloDBSys* db, EMode mode, const tagPATIENTDB* stored,
                                   QWidget* parent)
    : QDialog(parent), m_db(db), m_mode(mode) {
    setWindowTitle(mode == kEditPatient ? QStringLiteral("患者データ修正")
                                        : QStringLiteral("新規患者登録"));
    const bool imeAuto = CVeloSubTools::GetGlobalSettingInt("IME", "ModeAuto", 1) != 0;
    const int nameMode = imeAuto ? CVeloSubTools::GetGlobalSettingInt("IME", "ModeName", 1) : -1;
    const int kanaMode =
        imeAuto ? CVeloSubTools::GetGlobalSettingInt("IME", "ModeFurigana", 2) : -1;

    m_chartNo = MakeLine(this, kIdChartNo, sizeof(tagPATIENTDB::ChartNo));
    m_chartNo->setFixedWidth(m_chartNo->fontMetrics().horizontalAdvance(QString(12, '0')) + 16);
    m_name = MakeEditEx(this, kIdName, sizeof(tagPATIENTDB::Name), nameMode);
    m_kana = MakeEditEx(this, kIdKana, sizeof(tagPATIENTDB::Kana), kanaMode);
    m_male = new QRadioButton(QStringLiteral("男"), this);
    m_male->setObjectName(QString::number(kIdMale));
    m_female = new QRadioButton(QStringLiteral("女"), this);
    m_female->setObjectName(QString::number(kIdFemale));
    auto* sex = new QHBoxLayout;
    sex->addWidget(m_male);
    sex->addWidget(m_female);
    sex->addStretch();
    m_birthDate = MakeDateLine(this, kIdBirthDate);
    m_age = new QLabel(this);
    m_age->setObjectName(QString::number(kIdAge));
    auto* birth = new QHBoxLayout;
    birth->addWidget(m_birthDate);
    birth->addWidget(m_age);
    birth->addStretch();
    m_firstVisit = MakeDateLine(this, kIdFirstVisit);
    m_doctor = new QComboBox(this);
    m_doctor->setObjectName(QString::number(kIdDoctor));
    m_insurance = new QComboBox(this);
    m_insurance->setObjectName(QString::number(kIdInsurance));
    m_inactive = new QCheckBox(QStringLiteral("無効（検索・予約の一覧に出さない）"), this);
    m_inactive->setObjectName(QString::number(kIdInactive));

    auto* basic = new QGroupBox(QStringLiteral("基本情報"), this);
    auto* basicForm = new QFormLayout(basic);
    basicForm->addRow(kLabelChartNo, m_chartNo);
    basicForm->addRow(kLabelName, m_name);
    basicForm->addRow(kLabelKana, m_kana);
    basicForm->addRow(QStringLiteral("性別"), sex);
    basicForm->addRow(kLabelBirth, birth);
    basicForm->addRow(kLabelFirstVisit, m_firstVisit);
    basicForm->addRow(QStringLiteral("担当医"), m_doctor);
    basicForm->addRow(QStringLiteral("保険種別"), m_insurance);
    basicForm->addRow(QString(), m_inactive);

    m_zipCode = MakeLine(this, kIdZipCode, sizeof(tagPATIENTDB::ZipCode));
    m_zipCode->setFixedWidth(m_zipCode->fontMetrics().horizontalAdvance(QString(10, '0')) + 16);
    m_address1 = MakeEditEx(this, kIdAddress1, sizeof(tagPATIENTDB::Address1), nameMode);
    m_address2 = MakeEditEx(this, kIdAddress2, sizeof(tagPATIENTDB::Address2), nameMode);
    m_homeTel = MakeLine(this, kIdHomeTel, sizeof(tagPATIENTDB::HomeTel));
    m_mobileTel = MakeLine(this, kIdMobileTel, sizeof(tagPATIENTDB::MobileTel));
    m_otherTel = MakeLine(this, kIdOtherTel, sizeof(tagPATIENTDB::OtherTel));
    auto* contact = new QGroupBox(QStringLiteral("連絡先"), this);
    auto* contactForm = new QFormLayout(contact);
    contactForm->addRow(kLabelZip, m_zipCode);
    contactForm->addRow(kLabelAddress1, m_address1);
    contactForm->addRow(kLabelAddress2, m_address2);
    contactForm->addRow(kLabelHomeTel, m_homeTel);
    contactForm->addRow(kLabelMobileTel, m_mobileTel);
    contactForm->addRow(kLabelOtherTel, m_otherTel);
    m_workKind = MakeCombo(this, kIdWorkKind);
    m_workplaceName =
        MakeEditEx(this, kIdWorkplaceName, sizeof(tagPATIENTDB::WorkplaceName), nameMode);
    m_workplaceTel = MakeLine(this, kIdWorkplaceTel, sizeof(tagPATIENTDB::WorkplaceTel));
    auto* workplace = new QHBoxLayout;
    workplace->addWidget(m_workKind, 2);
    workplace->addWidget(m_workplaceName, 3);
    contactForm->addRow(kLabelWorkplaceName, workplace);
    contactForm->addRow(kLabelWorkplaceTel, m_workplaceTel);

    m_guardianJob = MakeEditEx(this, kIdGuardianJob, sizeof(tagPATIENTDB::GuardianJob), nameMode);

    QPushButton* ok = nullptr;
    QDialogButtonBox* buttons = MakeOkCancelButtons(this, &ok);
    connect(ok, &QPushButton::clicked, this, &CPatientEntryDlg::OnOK);
    connect(m_birthDate, &QLineEdit::textChanged, this, &CPatientEntryDlg::UpdateAge);
    connect(m_firstVisit, &QLineEdit::textChanged, this, &CPatientEntryDlg::UpdateAge);

    auto* columns = new QHBoxLayout;
    columns->addWidget(basic, 1);
    columns->addWidget(contact, 1);
    auto* moreColumns = new QHBoxLayout;
    moreColumns->addWidget(BuildDetails(), 1);
    moreColumns->addWidget(BuildFreeTables(), 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(moreColumns);
    layout->addWidget(buttons);
    setMinimumWidth(760);

    CPatientEntry entry;
    if (mode == kEditPatient && stored != nullptr) {
        m_patientId = FieldText(stored->PatientID);
        entry = PatientEntryFromRecord(*stored);
        m_stored = entry;
    } else {
        entry.chartNo = NextChartNo(db);
        entry.firstVisitDate = CDate::Today().toString(QStringLiteral("yyyy/MM/dd"));
    }
    Fill(entry);
    m_name->setFocus();
}

// Treatment condition, patient trait, referring and family doctors, guardian's occupation.
QWidget* CPatientEntryDlg::BuildDetails() {
    m_condition = MakeCombo(this, kIdCondition);
    m_trait = MakeCombo(this, kIdTrait);
    m_introDr = MakeCombo(this, kIdIntroDr);
    m_familyDr = MakeCombo(this, kIdFamilyDr);
    auto* details = new QGroupBox(QStringLiteral("治療・紹介"), this);
    auto* form = new QFormLayout(details);
    form->addRow(QStringLiteral("治療状態"), m_condition);
    form->addRow(QStringLiteral("患者特性"), m_trait);
    form->addRow(QStringLiteral("紹介医"), m_introDr);
    form->addRow(QStringLiteral("かかりつけ医"), m_familyDr);
    form->addRow(kLabelGuardianJob, m_guardianJob);
    return details;
}

// One combo per free table, labelled with the table's own name.
QWidget* CPatientEntryDlg::BuildFreeTables() {
    QStringList names;
    CVeloComDlg::EnumFreeTblName(m_db, &names);
    auto* tables = new QGroupBox(QStringLiteral("自由テーブル"), this);
    auto* form = new QFormLayout(tables);
    for (int i = 0; i < kPatientFreeTableCount; ++i) {
        m_freeTables[i] = MakeCombo(this, kIdFreeTable1 + i);
        form->addRow(i < names.size() ? names[i] : QString(), m_freeTables[i]);
    }
    return tables;
}

void CPatientEntryDlg::Fill(const CPatientEntry& entry) {
    m_chartNo->setText(entry.chartNo);
    m_name->setText(entry.name);
    m_kana->setText(entry.kana);
    m_male->setChecked(entry.sex == EPatientSex::Male);
    m_female->setChecked(entry.sex == EPatientSex::Female);
    m_birthDate->setText(entry.birthDate);
    m_firstVisit->setText(entry.firstVisitDate);
    m_zipCode->setText(entry.zipCode);
    m_address1->setText(entry.address1);
    m_address2->setText(entry.address2);
    m_homeTel->setText(entry.homeTel);
    m_mobileTel->setText(entry.mobileTel);
    m_otherTel->setText(entry.otherTel);
    FillCodeCombo(m_doctor, true, entry.doctorCode);
    FillCodeCombo(m_insurance, false, entry.insuranceType);
    m_inactive->setChecked(entry.inactive);
    auto choices = [this](EPatientMaster master, int freeTable = 0) {
        return ReadPatientMasterChoices(m_db, master, freeTable);
    };
    FillChoiceCombo(m_condition, choices(EPatientMaster::Condition), entry.conditionCode);
    FillChoiceCombo(m_trait, choices(EPatientMaster::Trait), entry.traitCode);
    const std::vector<CMasterChoice> doctors = choices(EPatientMaster::IntroDr);
    FillChoiceCombo(m_introDr, doctors, entry.introDrCode);
    FillChoiceCombo(m_familyDr, doctors, entry.familyDrCode);
    FillChoiceCombo(m_workKind, choices(EPatientMaster::WorkKind), entry.workKindCode);
    m_workplaceName->setText(entry.workplaceName);
    m_workplaceTel->setText(entry.workplaceTel);
    m_guardianJob->setText(entry.guardianJob);
    for (int i = 0; i < kPatientFreeTableCount; ++i) {
        FillChoiceCombo(m_freeTables[i], choices(EPatientMaster::FreeTable, i),
                        entry.freeTableCodes[i]);
    }
    UpdateAge();
}

// Doctors and insurance types, led by a "not set" entry. A stored code the master no longer
// lists (or hides) is kept as an entry of its own, so saving never changes it unasked.
void CPatientEntryDlg::FillCodeCombo(QComboBox* combo, bool doctor, const QString& code) {
    const QByteArray bytes = code.trimmed().toLatin1();
    const auto keep = CVeloComDlg::EUnlisted::kKeep;
    if (doctor) {
        CVeloComDlg::EnumDoctor(m_db, combo, bytes.constData(), keep);
    } else {
        CVeloComDlg::EnumInssuranceType(m_db, combo, bytes.constData(), keep);
    }
    combo->insertItem(0, QStringLiteral("（未設定）"), doctor ? QString() : QStringLiteral("2 "));
    if (bytes.isEmpty()) combo->setCurrentIndex(0);
}

CPatientEntry CPatientEntryDlg::Entry() const {
    CPatientEntry entry;
    entry.chartNo = m_chartNo->text();
    entry.name = m_name->text();
    entry.kana = m_kana->text();
    entry.sex = m_male->isChecked()     ? EPatientSex::Male
                : m_female->isChecked() ? EPatientSex::Female
                                        : EPatientSex::NotChosen;
    entry.birthDate = m_birthDate->text();
    entry.firstVisitDate = m_firstVisit->text();
    entry.zipCode = m_zipCode->text();
    entry.address1 = m_address1->text();
    entry.address2 = m_address2->text();
    entry.homeTel = m_homeTel->text();
    entry.mobileTel = m_mobileTel->text();
    entry.otherTel = m_otherTel->text();
    entry.doctorCode = m_doctor->currentData().toString();
    entry.insuranceType = m_insurance->currentData().toString().mid(kInsuranceCodeStart);
    entry.inactive = m_inactive->isChecked();
    entry.conditionCode = m_condition->currentData().toString();
    entry.traitCode = m_trait->currentData().toString();
    entry.introDrCode = m_introDr->currentData().toString();
    entry.familyDrCode = m_familyDr->currentData().toString();
    entry.workKindCode = m_workKind->currentData().toString();
    entry.workplaceName = m_workplaceName->text();
    entry.workplaceTel = m_workplaceTel->text();
    entry.guardianJob = m_guardianJob->text();
    for (int i = 0; i < kPatientFreeTableCount; ++i) {
        entry.freeTableCodes[i] = m_freeTables[i]->currentData().toString();
    }
    return entry;
}

// "12歳 3ヶ月" at today, once the birth date is a date.
void CPatientEntryDlg::UpdateAge() {
    std::string birth;
    if (!ParseEntryDate(m_birthDate->text(), &birth) || birth.empty()) {
        m_age->clear();
        return;
    }
    int years = 0;
    int months = 0;
    CTools::CaclAge(birth.c_str(), CDate::ToYmd(CDate::Today()).c_str(), &years, &months);
    m_age->setText(QStringLiteral("%1歳 %2ヶ月").arg(years).arg(months));
}

void CPatientEntryDlg::FocusFieldOf(const CPatientSaveResult& result) {
    if (result.result == EPatientResult::NoSex) {
        m_male->setFocus();
        return;
    }
    const std::pair<const QString*, QLineEdit*> fields[] = {
        {&kLabelChartNo, m_chartNo},
        {&kLabelName, m_name},
        {&kLabelKana, m_kana},
        {&kLabelBirth, m_birthDate},
        {&kLabelFirstVisit, m_firstVisit},
        {&kLabelZip, m_zipCode},
        {&kLabelAddress1, m_address1},
        {&kLabelAddress2, m_address2},
        {&kLabelHomeTel, m_homeTel},
        {&kLabelMobileTel, m_mobileTel},
        {&kLabelOtherTel, m_otherTel},
        {&kLabelWorkplaceName, m_workplaceName},
        {&kLabelWorkplaceTel, m_workplaceTel},
        {&kLabelGuardianJob, m_guardianJob},
    };
    for (const auto& [label, edit] : fields) {
        if (*label == result.field) {
            edit->setFocus();
            edit->selectAll();
            return;
        }
    }
}

// The texts about to be written must be storable in code page 932. A text left as it was
// shown keeps its stored bytes, so it is not checked: a stored byte the dialog cannot show
// must not keep the patient from being saved.
bool CPatientEntryDlg::TextsStorable() {
    const std::pair<QLineEdit*, const QString*> fields[] = {
        {m_chartNo, &m_stored.chartNo},   {m_name, &m_stored.name},
        {m_kana, &m_stored.kana},         {m_zipCode, &m_stored.zipCode},
        {m_address1, &m_stored.address1}, {m_address2, &m_stored.address2},
        {m_homeTel, &m_stored.homeTel},   {m_mobileTel, &m_stored.mobileTel},
        {m_otherTel, &m_stored.otherTel},
        {m_workplaceName, &m_stored.workplaceName},
        {m_workplaceTel, &m_stored.workplaceTel},
        {m_guardianJob, &m_stored.guardianJob},
    };
    QList<QLineEdit*> changed;
    for (const auto& [edit, stored] : fields) {
        if (edit->text() != *stored) changed << edit;
    }
    return CheckStorableEdits(this, windowTitle(), changed);
}

void CPatientEntryDlg::OnOK() {
    if (!TextsStorable()) return;
    const CPatientEntry entry = Entry();
    const CPatientSaveResult result = m_mode == kEditPatient
                                          ? UpdatePatient(m_db, m_patientId, entry, &m_saved)
                                          : InsertNewPatient(m_db, entry, &m_saved);
    if (!result.IsOk()) {
        CMessageService::MessageBox(this, PatientResultMessage(result), windowTitle(),
                                    CMessageService::EIcon::Warning);
        FocusFieldOf(result);
        return;
    }
    accept();
}

std::unique_ptr<tagPATIENTDB> CVeloComDlg::GetNewPatientData(CVeloDBSys* db, int mode,
                                                             const char* patientKey,
                                                             QWidget* parent) {
    QWidget* owner = parent != nullptr ? parent : QApplication::activeWindow();
    const QString title = QStringLiteral("患者データ");
    tagPATIENTDB stored{};
    if (mode == CPatientEntryDlg::kEditPatient) {
        CPatientDB patients;
        int status = OpenIn(patients, db);
        if (status == 0) {
            status = patients.GetPatientData(patientKey != nullptr ? patientKey : "");
        }
        if (status != 0) {
            CPatientSaveResult failure;
            failure.result = status == recman::kKeyNotFound ? EPatientResult::NotFound
                                                            : EPatientResult::DatabaseError;
            failure.status = status;
            CMessageService::MessageBox(owner, PatientResultMessage(failure), title,
                                        CMessageService::EIcon::Warning);
            return nullptr;
        }
        stored = patients.m_Data;
    } else if (mode != CPatientEntryDlg::kNewPatient) {
        CMessageService::MessageBox(
            owner, QStringLiteral("患者データの画面を開けません。（モード %1）").arg(mode), title,
            CMessageService::EIcon::Warning);
        return nullptr;
    }
    CPatientEntryDlg dialog(db, static_cast<CPatientEntryDlg::EMode>(mode), &stored, owner);
    if (dialog.exec() != QDialog::Accepted) return nullptr;
    return std::make_unique<tagPATIENTDB>(dialog.SavedRecord());
}
