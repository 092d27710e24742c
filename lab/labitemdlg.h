// The lab item edit dialog "技工物予定の編集": enters a new lab-work item or changes one,
// with its patient, category, item name, staff member or outside lab, order, due and
// finished days and a memo. Saving goes through SaveLabItem; the schedule window learns
// the saved key and due day from SavedMaterialNo/SavedDueDate after exec(), and from the
// saved() signal for every save ("登録して新規" saves without closing).
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "lab/labitem.h"

class CVeloDBSys;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The names the lab-item master offers for a category, in key order: names starting with
// "__" are left out; an entry belongs to the category whose code has the same number, and
// an entry without a category only to category number 0.
std::vector<QString> LabItemNamesOf(CVeloDBSys* db, const QString& categoryCode);

// The text cut so that its code page 932 form fits maxBytes (on a character boundary).
QString LimitToCp932Bytes(const QString& text, int maxBytes);

class CLabItemDlg final : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the widgets' object names (IDOK 1 and IDCANCEL 2 for the buttons).
    enum : int {
        kIdPatientName = 1001,
        kIdSearch = 1002,
        kIdCategory = 1003,
        kIdAddCategory = 1004,
        kIdItemName = 1005,
        kIdAddItemName = 1006,
        kIdStaff = 1007,
        kIdAddStaff = 1008,
        kIdOrderDate = 1009,
        kIdDueDate = 1010,
        kIdMorning = 1011,
        kIdAfternoon = 1012,
        kIdTimeOfDay = 1013,
        kIdHour = 1014,
        kIdMinute = 1015,
        kIdMemo = 1016,
        kIdFinished = 1017,
        kIdFinishedDate = 1018,
        kIdSaveAndNew = 1019,
    };

    // The longest item name and memo: the characters the fields were meant for, and the code
    // page 932 bytes the record fields hold (ItemName 80, Memo 200).
    static constexpr int kItemNameChars = 80;
    static constexpr int kItemNameBytes = 80;
    static constexpr int kMemoChars = 100;
    static constexpr int kMemoBytes = 200;

    // materialNo empty for a new item; patientId and day (YYYYMMDD) as the schedule window
    // passes them in picking mode, else empty; pickingState non-zero in picking mode.
    CLabItemDlg(CVeloDBSys* db, const QString& materialNo, const std::string& patientId,
                const std::string& day, int pickingState, QWidget* parent = nullptr);
    CLabItemDlg(const CLabItemDlg&) = delete;
    CLabItemDlg& operator=(const CLabItemDlg&) = delete;

    // Key and due day (YYYYMMDD) of the item saved last; "" when nothing was saved.
    std::string SavedMaterialNo() const { return m_savedNo; }
    std::string SavedDueDate() const { return m_savedDue; }

    // The input as the controls hold it now.
    LabItemInput Input() const;

signals:
    // After every successful save.
    void saved(QString materialNo, QString dueDate);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void SetPatient(const std::string& patientId);
    void FillItemNames();
    void UpdateControls();
    // True when the typed item name and memo can be stored. Otherwise one message names the
    // characters of both, the first field holding one gets the focus with its text
    // selected, and false is returned.
    bool TextsStorable(const LabItemInput& in);
    // Saves the input; true on success. Incomplete input does nothing; text with characters
    // the record cannot hold is refused with a message; a failed write shows string 14007.
    bool Save();
    void OnSearch();
    void OnAddCategory();
    void OnAddItemName();
    void OnAddStaff();
    void OnOK();
    void OnSaveAndNew();

    CVeloDBSys* m_db;
    std::string m_materialNo;
    std::string m_patientId;
    bool m_picking;
    bool m_patientChanged = false;
    bool m_loadFailed = false;
    std::string m_savedNo;
    std::string m_savedDue;

    QLineEdit* m_patientName = nullptr;
    QPushButton* m_search = nullptr;
    QComboBox* m_category = nullptr;
    QComboBox* m_itemName = nullptr;
    QComboBox* m_staff = nullptr;
    QDateEdit* m_orderDate = nullptr;
    QDateEdit* m_dueDate = nullptr;
    QRadioButton* m_morning = nullptr;
    QRadioButton* m_afternoon = nullptr;
    QRadioButton* m_timeOfDay = nullptr;
    QComboBox* m_hour = nullptr;
    QComboBox* m_minute = nullptr;
    QLineEdit* m_memo = nullptr;
    QCheckBox* m_finished = nullptr;
    QDateEdit* m_finishedDate = nullptr;
    QPushButton* m_saveAndNew = nullptr;
    QPushButton* m_ok = nullptr;
};
