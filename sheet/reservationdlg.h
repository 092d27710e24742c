// CReservationDlg: the reservation dialog (1002), where a reservation is booked, edited,
// moved to another day and band, or entered as blocked time. The caller fills
// ReservationDlgInputs and runs it modally; OK asks the questions that come before a save
// (ConfirmBeforeSave), saves in one transaction (SaveReservation) and closes with IDOK, or
// shows the failure and stays open. The rules live in bookingrules.h and reservationsave.h;
// this class gathers the input and shows the results.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "sheet/bookingrules.h"
#include "sheet/reservationsave.h"
#include "sheet/sheetsettings.h"

class CEditEx;
class CVeloDBSys;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTreeWidget;
struct tagPATIENTDB;

namespace velo::sheet {

class CTimeStrip;
struct ReferenceChoice;

// What the caller sets before the dialog opens.
struct ReservationDlgInputs {
    std::string reservationNo;  // empty: a new reservation
    int dialogMode = kDialogModeNewOrEdit;
    int columnMode = 0;      // 0 by unit, 1 by doctor
    std::string columnKey;   // unit or doctor code of the clicked column
    int start = 0;           // HHMM of the clicked band
    int end = 0;
    std::string date;        // YYYYMMDD (a "/" form is accepted); today when empty
    std::string patientId;   // preset patient, may be empty
    std::string standbyNo;   // set when booked from a standby entry
};

class CReservationDlg final : public QDialog {
    Q_OBJECT
public:
    enum ControlId : int {
        kIdDialog = 1002,
        kIdChartNo = 1043, kIdSearchChartNo = 1044,
        kIdKana = 1048, kIdSearchKana = 1052,
        kIdName = 1046, kIdSearchName = 1050,
        kIdSex = 1016, kIdBirthDate = 1017, kIdFirstVisit = 1018,
        kIdZip = 1021, kIdAddress1 = 1022, kIdAddress2 = 1023,
        kIdHomeTel = 1024, kIdMobileTel = 1025, kIdOtherTel = 1026,
        kIdAgeAtFirstVisit = 1013, kIdAgeNow = 1034,
        kIdAgeAtFirstVisitLabel = 1019, kIdAgeNowLabel = 1020,
        kIdClearPatient = 1010, kIdEditPatient = 1009, kIdNewPatient = 1008,
        kIdStandby = 1156,
        kIdDate = 1039,
        kIdUnit = 1040, kIdAddUnit = 1110,
        kIdDoctor = 1027, kIdAddDoctor = 1109,
        kIdReference = 1042,
        kIdStrip = 1031, kIdStripScroll = 1033, kIdBandText = 1032,
        kIdType = 1029, kIdAddType = 1106,
        kIdTreatment = 1028, kIdTreatmentSelect = 1117,
        kIdCollectFee = 1070,
        kIdFeeCategory = 1108, kIdFeeItem = 1104, kIdPickFeeItem = 1107, kIdFee = 1105,
        kIdInsurance = 1118, kIdInsuranceType = 1119, kIdAddInsuranceType = 1120,
        kIdLab = 1111, kIdLabItem = 1112, kIdPickLab = 1113,
        kIdRecall = 1114, kIdRecallText = 1115,
        kIdCame = 1068,
        kIdChangeReasonLabel = 1069, kIdChangeReason = 1030, kIdAddChangeReason = 1101,
        kIdStaff = 1150, kIdAddStaff = 1102,
        kIdEntryDate = 1151,
        kIdWay = 1152, kIdAddWay = 1103,
        kIdBlocked = 1174, kIdBlockedAll = 1175,
        kIdSystemMessages = 1130, kIdNextVisit = 1116,
        kIdOk = 1, kIdCancel = 2,
    };
    // String resources of the dialog.
    enum StringId : int {
        kIdsNewTitle = 1508,     // "新規予約"
        kIdsEditTitle = 1510,    // "予約の編集"
        kIdsChangeTitle = 1509,  // "予約の変更"
        kIdsMale = 1530,         // "男"
        kIdsFemale = 1531,       // "女"
    };
    static constexpr int kTreatmentMaxBytes = 200;
    static constexpr int kChangeReasonMaxBytes = 100;

    CReservationDlg(CVeloDBSys* db, const ReservationDlgInputs& inputs, QWidget* parent = nullptr);
    ~CReservationDlg() override;
    CReservationDlg(const CReservationDlg&) = delete;
    CReservationDlg& operator=(const CReservationDlg&) = delete;

    // The reservation date as the dialog shows it, "%Y/%m/%d".
    QString DateText() const;
    // The number the last successful save stored the reservation under ("" before one).
    const std::string& SavedReservationNo() const { return m_savedNo; }
    // The patient shown ("" when none).
    const std::string& PatientId() const { return m_patientId; }
    int BandStart() const { return m_bandStart; }
    int BandEnd() const { return m_bandEnd; }
    // Chooses a band as the mouse on the strip would.
    void ChooseBand(int start, int end);
    // Everything the controls hold, as the save takes it.
    ReservationInput GatherInput() const;
    // The treatment edit (the treatment selection dialog appends to it).
    QLineEdit* TreatmentEdit() const;

    // In change mode the new day and band are picked on the reservation reference first;
    // the dialog shows itself when the reference closes, whichever way it was closed, so
    // the change can still be finished (or cancelled) by hand.
    int exec() override;

private:
    void BuildLayout();
    QWidget* BuildPatientGroup();
    QWidget* BuildReservationGroup();
    QWidget* BuildFeeGroup();
    QWidget* BuildEntryGroup();
    QWidget* BuildListsGroup();
    void ConnectSignals();
    void InitDialog();
    void LoadExistingReservation();
    // "予約参照": looks for a free place across days and columns; its choice comes back
    // through ApplyReferenceChoice.
    void OpenReference();
    void OpenReferenceOver(QWidget* owner);
    void ApplyReferenceChoice(const ReferenceChoice& choice);
    // "キャンセル待ちから選択": books the entry chosen on the standby list.
    void OnPickStandby();
    void LoadStandbyEntry();
    void ApplyModeRules();

    void ShowPatient(const std::string& patientId);
    void ShowPatientRecord(const tagPATIENTDB& patient);
    void ClearPatientFields(QLineEdit* keep);
    void OnPatientTyped(QLineEdit* edit);
    void SearchPatient(int key);
    void OnNameEditingFinished();
    void OnEditPatient();
    void OnNewPatient();

    void OnDateChanged();
    void OnColumnComboChanged();
    void ReloadStrip();
    void ScrollBandIntoView();
    void UpdateBandText();
    void RefillLists();

    void OnAddMaster(const char* table, QComboBox* combo);
    void RefillCombo(QComboBox* combo, const QString& code);
    void OnTreatmentSelect();
    void OnFeeCategoryChanged();
    void OnFeeItemChanged();
    void OnPickFeeItem();
    void OnPickLab();
    void ShowLabItem(const std::string& materialNo);
    void OnAddChangeReason();
    void FillChangeReasons();
    void OnBlockedToggled(bool checked);
    void OnBlockedClicked(bool checked);
    void OnBlockedAllClicked(bool checked);
    void UpdateEnabling();
    void UpdateOkEnabled();
    void OnOK();
    bool CheckCombosChosen(const ReservationInput& input);
    void keyPressEvent(QKeyEvent* event) override;

    std::string ColumnKeyFromCombos() const;
    // The code of a master combo's choice: units, types and insurance types carry "K C..."
    // (the code from the third character), doctors and fee categories the code itself.
    static std::string ComboMasterCode(const QComboBox* combo);
    static std::string ComboPlainCode(const QComboBox* combo);

    CVeloDBSys* m_db;
    ReservationDlgInputs m_inputs;
    SheetSettings m_settings;
    VELOOFFICEHOUR m_officeHours{};
    std::string m_columnKey;
    std::string m_patientId;
    std::string m_savedNo;
    bool m_referenceOpenedForChange = false;
    bool m_recordFound = false;
    int m_bandStart = 0;
    int m_bandEnd = 0;
    std::string m_materialNo;
    std::string m_labCompletionDate;
    std::string m_recallNo;
    std::unique_ptr<tagPATIENTDB> m_patient;  // the shown patient, for the next-visit rows
    bool m_showingPatient = false;  // guards the "typed" handlers while fields are filled
    bool m_filling = false;         // guards the combo handlers while combos are filled

    CEditEx* m_chartNo = nullptr;
    CEditEx* m_kana = nullptr;
    CEditEx* m_name = nullptr;
    QLabel* m_sex = nullptr;
    QLabel* m_birthDate = nullptr;
    QLabel* m_firstVisit = nullptr;
    QLabel* m_zip = nullptr;
    QLabel* m_address1 = nullptr;
    QLabel* m_address2 = nullptr;
    QLabel* m_homeTel = nullptr;
    QLabel* m_mobileTel = nullptr;
    QLabel* m_otherTel = nullptr;
    QLabel* m_ageAtFirstVisit = nullptr;
    QLabel* m_ageNow = nullptr;
    std::vector<QPushButton*> m_patientButtons;
    QPushButton* m_standby = nullptr;
    QDateEdit* m_date = nullptr;
    QComboBox* m_unit = nullptr;
    QComboBox* m_doctor = nullptr;
    CTimeStrip* m_strip = nullptr;
    QScrollBar* m_stripScroll = nullptr;
    QLabel* m_bandText = nullptr;
    QComboBox* m_type = nullptr;
    QLineEdit* m_treatment = nullptr;
    QCheckBox* m_collectFee = nullptr;
    QComboBox* m_feeCategory = nullptr;
    QComboBox* m_feeItem = nullptr;
    QPushButton* m_pickFeeItem = nullptr;
    QLineEdit* m_fee = nullptr;
    QCheckBox* m_insurance = nullptr;
    QComboBox* m_insuranceType = nullptr;
    QPushButton* m_addInsuranceType = nullptr;
    QCheckBox* m_lab = nullptr;
    QLabel* m_labItem = nullptr;
    QPushButton* m_pickLab = nullptr;
    QCheckBox* m_recall = nullptr;
    QLabel* m_recallText = nullptr;
    QCheckBox* m_came = nullptr;
    QLabel* m_changeReasonLabel = nullptr;
    QComboBox* m_changeReason = nullptr;
    QPushButton* m_addChangeReason = nullptr;
    QComboBox* m_staff = nullptr;
    QDateEdit* m_entryDate = nullptr;
    QComboBox* m_way = nullptr;
    QCheckBox* m_blocked = nullptr;
    QCheckBox* m_blockedAll = nullptr;
    QWidget* m_listsGroup = nullptr;
    QTreeWidget* m_systemMessages = nullptr;
    QTreeWidget* m_nextVisit = nullptr;
    QPushButton* m_ok = nullptr;
    std::vector<QWidget*> m_patientBoundControls;  // disabled for blocked time
};

}  // namespace velo::sheet
