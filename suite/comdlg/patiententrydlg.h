// The patient entry dialog: registers a new patient or edits the patient's basic data (ID,
// name, reading, sex, birth and first-visit dates, address, telephones, doctor in charge,
// insurance type, inactive flag) and the details the appointment sheet can show (treatment
// condition, referring and family doctors, workplace or school, patient trait, guardian's
// occupation, the five free tables). The checks, the new patient key and the writing of both
// patient files live in plain functions below, so tests and other callers reach them
// without a window; the dialog only gathers the input, calls them and shows their messages.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <string>

#include "suite/dbcall/patientdb.h"

class CVeloDBSys;
class CEditEx;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// The patient's sex in the dialog. A new patient starts with none chosen; a stored record
// reads "1" as male and anything else as female.
enum class EPatientSex { NotChosen, Male, Female };

// The patient fields the dialog shows, as the user sees them. Texts are trimmed on saving;
// codes are those of the masters in patientmasters.h, "" when not set.
struct CPatientEntry {
    QString chartNo;
    QString name;
    QString kana;
    EPatientSex sex = EPatientSex::NotChosen;
    QString birthDate;       // "YYYY/MM/DD", "YYYY/M/D" or "YYYYMMDD"; "" when not known
    QString firstVisitDate;  // the same forms
    QString zipCode;
    QString address1;
    QString address2;
    QString homeTel;
    QString mobileTel;
    QString otherTel;
    QString doctorCode;     // "" when no doctor is in charge
    QString insuranceType;  // "" when none is set
    bool inactive = false;
    QString conditionCode;
    QString introDrCode;
    QString familyDrCode;
    QString workKindCode;
    QString workplaceName;
    QString workplaceTel;
    QString traitCode;
    QString guardianJob;
    std::array<QString, kPatientFreeTableCount> freeTableCodes;
};

enum class EPatientResult {
    Ok,
    EmptyName,
    EmptyChartNo,
    NoSex,                 // neither male nor female chosen
    DuplicateChartNo,      // another patient has this ID
    BadDate,               // a date that is not a calendar date (field names which)
    BirthInFuture,         // a birth date after today
    BirthAfterFirstVisit,  // born after the first visit
    TextTooLong,           // a text that does not fit its record field (field names which)
    NotFound,              // the patient to edit is not in the file
    DatabaseError,
};

// What a check or a save came to.
struct CPatientSaveResult {
    EPatientResult result = EPatientResult::Ok;
    QString field;         // label of the field concerned (BadDate, TextTooLong)
    QString otherPatient;  // DuplicateChartNo: name of the patient who holds the ID
    int status = 0;        // DatabaseError: the record manager's status

    bool IsOk() const { return result == EPatientResult::Ok; }
};

// The message shown for a result (empty for Ok).
QString PatientResultMessage(const CPatientSaveResult& result);

// "YYYYMMDD" of a typed date into *ymd ("" for an empty text). Full-width digits and
// slashes count as their plain forms. False for a text that is not a date from 1900 on.
bool ParseEntryDate(const QString& text, std::string* ymd);
// "YYYY/MM/DD" of a stored date; "" when the field holds no date.
QString EntryDateText(const char* yyyymmdd);

// The fields of a stored record.
CPatientEntry PatientEntryFromRecord(const tagPATIENTDB& record);

// The ID proposed for a new patient: one above the highest all-digit ID in use, with the
// zero padding of that ID ("00042" after "00041"); "1" when none is in use. "" when the
// patient file cannot be read.
QString NextChartNo(CVeloDBSys* db);

// Checks the entry without writing: name, ID and sex given, the ID held by no patient but
// `ownPatientId` (inactive patients count: their IDs stay theirs), dates valid, birth not
// after today nor after the first visit, every text within its field.
CPatientSaveResult CheckPatientEntry(CVeloDBSys* db, const CPatientEntry& entry,
                                     const std::string& ownPatientId = std::string());

// Registers a new patient: checks the entry, takes the next patient key "%010d" from the
// "PATIENT" counter of INDEXCONTROL.BTR (never below one above the highest key in the file,
// so a database whose counter lags its patients still gets a free key), and writes
// PATIENT1.BTR, PATIENT2.BTR and the advanced counter inside one transaction (the caller's
// when one is open). The ID is checked for other holders inside that transaction, so two
// desks saving one new ID at the same moment register one patient and the other is refused
// with DuplicateChartNo. A transaction of its own is run again while another workstation
// holds the files. The registration day is today and the last visit stays empty. On Ok
// *saved (when given) receives the record as written; nothing is written otherwise.
CPatientSaveResult InsertNewPatient(CVeloDBSys* db, const CPatientEntry& entry,
                                    tagPATIENTDB* saved = nullptr);

// Writes the entry over the stored patient `patientId` in both files, inside one
// transaction that also checks the ID, as InsertNewPatient does; every field the entry does
// not hold keeps its stored value. On Ok *saved receives the record as written.
CPatientSaveResult UpdatePatient(CVeloDBSys* db, const std::string& patientId,
                                 const CPatientEntry& entry, tagPATIENTDB* saved = nullptr);

// The dialog. Mode kNewPatient starts empty with the proposed ID and today as first visit;
// mode kEditPatient starts from the stored record passed in.
class CPatientEntryDlg final : public QDialog {
    Q_OBJECT

public:
    enum EMode : int { kNewPatient = 1, kEditPatient = 2 };

    // Control ids, also the widgets' object names.
    enum : int {
        kIdChartNo = 1001,
        kIdName = 1002,
        kIdKana = 1003,
        kIdMale = 1004,
        kIdFemale = 1005,
        kIdBirthDate = 1006,
        kIdAge = 1007,
        kIdFirstVisit = 1008,
        kIdDoctor = 1009,
        kIdInsurance = 1010,
        kIdInactive = 1011,
        kIdZipCode = 1012,
        kIdAddress1 = 1013,
        kIdAddress2 = 1014,
        kIdHomeTel = 1015,
        kIdMobileTel = 1016,
        kIdOtherTel = 1017,
        kIdCondition = 1018,
        kIdTrait = 1019,
        kIdWorkKind = 1020,
        kIdWorkplaceName = 1021,
        kIdWorkplaceTel = 1022,
        kIdIntroDr = 1023,
        kIdFamilyDr = 1024,
        kIdGuardianJob = 1025,
        kIdFreeTable1 = 1026,  // to 1030 for the fifth free table
    };

    // `stored` is the patient to edit (kEditPatient) and is ignored for a new patient.
    CPatientEntryDlg(CVeloDBSys* db, EMode mode, const tagPATIENTDB* stored,
                     QWidget* parent = nullptr);
    CPatientEntryDlg(const CPatientEntryDlg&) = delete;
    CPatientEntryDlg& operator=(const CPatientEntryDlg&) = delete;

    // The record as written, once the dialog was accepted.
    const tagPATIENTDB& SavedRecord() const { return m_saved; }
    // What the controls hold now.
    CPatientEntry Entry() const;

private:
    QWidget* BuildDetails();
    QWidget* BuildFreeTables();
    void Fill(const CPatientEntry& entry);
    void FillCodeCombo(QComboBox* combo, bool doctor, const QString& code);
    void UpdateAge();
    void OnOK();
    void FocusFieldOf(const CPatientSaveResult& result);
    bool TextsStorable();

    CVeloDBSys* m_db;
    EMode m_mode;
    std::string m_patientId;
    tagPATIENTDB m_saved{};
    // The stored texts the edit started from (empty for a new patient).
    CPatientEntry m_stored;
    QLineEdit* m_chartNo = nullptr;
    CEditEx* m_name = nullptr;
    CEditEx* m_kana = nullptr;
    QRadioButton* m_male = nullptr;
    QRadioButton* m_female = nullptr;
    QLineEdit* m_birthDate = nullptr;
    QLabel* m_age = nullptr;
    QLineEdit* m_firstVisit = nullptr;
    QComboBox* m_doctor = nullptr;
    QComboBox* m_insurance = nullptr;
    QCheckBox* m_inactive = nullptr;
    QLineEdit* m_zipCode = nullptr;
    CEditEx* m_address1 = nullptr;
    CEditEx* m_address2 = nullptr;
    QLineEdit* m_homeTel = nullptr;
    QLineEdit* m_mobileTel = nullptr;
    QLineEdit* m_otherTel = nullptr;
    QComboBox* m_condition = nullptr;
    QComboBox* m_trait = nullptr;
    QComboBox* m_workKind = nullptr;
    CEditEx* m_workplaceName = nullptr;
    QLineEdit* m_workplaceTel = nullptr;
    QComboBox* m_introDr = nullptr;
    QComboBox* m_familyDr = nullptr;
    CEditEx* m_guardianJob = nullptr;
    std::array<QComboBox*, kPatientFreeTableCount> m_freeTables{};
};
