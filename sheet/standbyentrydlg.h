// CStandbyEntryDlg: the standby entry dialog (1029), where one patient's cancel-wait entry
// is entered or edited: the patient, the wished days and hours and a contact memo. OK saves
// in one transaction (SaveStandbyEntry) and closes with IDOK; a failed save is reported and
// the dialog stays open with the input.
#pragma once

#include <QDialog>
#include <string>

class CEditEx;
class CVeloDBSys;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QKeyEvent;
class QLineEdit;
class QPushButton;

namespace velo::sheet {

struct StandbyEntry;

class CStandbyEntryDlg final : public QDialog {
    Q_OBJECT
public:
    enum ControlId : int {
        kIdDialog = 1029,
        kIdChartNo = 1043, kIdSearchChartNo = 1044,
        kIdKana = 1048, kIdSearchKana = 1052,
        kIdName = 1046, kIdSearchName = 1050,
        kIdClearPatient = 1010, kIdNewPatient = 1008,
        kIdDateFrom = 1140, kIdHourFrom = 1141, kIdMinuteFrom = 1142,
        kIdDateTo = 1143, kIdHourTo = 1144, kIdMinuteTo = 1145,
        kIdMemo = 1146, kIdOneDay = 1155,
        kIdOk = 1138, kIdCancel = 2,
    };
    static constexpr int kMemoMaxBytes = 200;

    // standbyNo 0 enters a new entry; otherwise that entry is loaded for editing.
    CStandbyEntryDlg(CVeloDBSys* db, int standbyNo, QWidget* parent = nullptr);

    // The number the entry was saved under (0 before a successful save).
    int SavedStandbyNo() const { return m_savedNo; }
    const std::string& PatientId() const { return m_patientId; }
    // Shows the patient with that key (cleared when there is none).
    void ShowPatient(const std::string& patientId);
    // The entry as the controls hold it.
    StandbyEntry GatherEntry() const;

private:
    void BuildLayout();
    void FillTimeCombos();
    void LoadEntry(int standbyNo);
    void ClearPatient(QLineEdit* keep);
    void SearchPatient(int key);
    void OnNewPatient();
    void OnOneDayClicked();
    void OnDateFromChanged();
    void OnDateToChanged();
    void OnOK();
    void keyPressEvent(QKeyEvent* event) override;

    CVeloDBSys* m_db;
    int m_standbyNo;
    int m_savedNo = 0;
    std::string m_patientId;
    std::string m_reservationNo;
    bool m_showingPatient = false;

    CEditEx* m_chartNo = nullptr;
    CEditEx* m_kana = nullptr;
    CEditEx* m_name = nullptr;
    QDateEdit* m_dateFrom = nullptr;
    QDateEdit* m_dateTo = nullptr;
    QComboBox* m_hourFrom = nullptr;
    QComboBox* m_minuteFrom = nullptr;
    QComboBox* m_hourTo = nullptr;
    QComboBox* m_minuteTo = nullptr;
    QCheckBox* m_oneDay = nullptr;
    CEditEx* m_memo = nullptr;
};

}  // namespace velo::sheet
