// The suite's patient query ("該当患者リスト"): the user types the beginning of a patient's
// ID, reading or name, picks the patient from the list of matches, and the caller gets the
// patient's key. The search itself is a plain function so that it can be tested and reused
// without the dialog.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

class CVeloDBSys;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTreeWidget;

enum class EPatientQueryMode { ById, ByKana, ByName };

// "BYID", "BYKANA", "BYNAME" (without regard to case); anything else searches by ID.
EPatientQueryMode PatientQueryModeFromText(const char* mode);

// One patient found.
struct CPatientHit {
    std::string patientId;  // the key returned to the caller
    QString chartNo;
    QString name;
    QString kana;
    QString sex;        // "男" or "女"
    QString birthDate;  // the suite's date display, "" when not set
};

// The most hits one search lists.
inline constexpr int kPatientQueryLimit = 300;

// Patients whose ChartNo (ById), Kana (ByKana) or Name (ByName) begins with the text, in the
// order of that key, leaving out inactive patients; at most `limit` hits, *more set when
// there were further matches. An empty text lists every patient from the start of the key.
// Returns the record manager's status (0 also when nothing matches); hits read before a
// failure are kept.
int SearchPatients(CVeloDBSys* db, const QString& text, EPatientQueryMode mode, int limit,
                   std::vector<CPatientHit>* hits, bool* more = nullptr);

// The dialog: search field, mode radios, 検索, the list (ID, 氏名, フリガナ, 性別, 生年月日),
// OK and ｷｬﾝｾﾙ. Double-click or OK chooses the selected patient.
class CQueryPatientDlg final : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the widgets' object names.
    enum : int {
        kIdText = 1001,
        kIdById = 1002,
        kIdByKana = 1003,
        kIdByName = 1004,
        kIdSearch = 1005,
        kIdList = 1006,
        kIdStatus = 1007,
    };

    // Searches at once for `initial` (an empty text lists the first patients).
    CQueryPatientDlg(CVeloDBSys* db, const QString& initial, EPatientQueryMode mode,
                     QWidget* parent = nullptr);
    CQueryPatientDlg(const CQueryPatientDlg&) = delete;
    CQueryPatientDlg& operator=(const CQueryPatientDlg&) = delete;

    // The chosen patient's key after the dialog was accepted; "" otherwise.
    std::string ChosenPatientId() const { return m_chosen; }
    // Runs the search for the field's text in the checked mode and fills the list.
    void Search();
    EPatientQueryMode Mode() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnOK();

    CVeloDBSys* m_db;
    QLineEdit* m_text = nullptr;
    QRadioButton* m_byId = nullptr;
    QRadioButton* m_byKana = nullptr;
    QRadioButton* m_byName = nullptr;
    QTreeWidget* m_list = nullptr;
    QLabel* m_status = nullptr;
    std::string m_chosen;
};
