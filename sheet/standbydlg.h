// CStandbyDlg: the standby list dialog (1028). The upper list holds the standby entries whose
// wished days meet its filter range, the lower one the patients who cancelled or did not
// come in its own range. Entries are added, edited and deleted here, and "予約に追加" hands
// the chosen entry's number back to the caller:
//
//   CStandbyDlg dialog(db, CStandbyDlg::kModeSheet, this);
//   if (dialog.exec() == QDialog::Accepted) book(dialog.ChosenStandbyNo());
//
// In kModeSheet (opened from the sheet window) "予約に追加" first asks whether to go back
// and pick a time; in kModeReservation (from the reservation dialog) it hands the number
// over at once, and a double click books instead of editing. Closing returns Rejected with
// no number.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class CTableWatcher;
class CVeloDBSys;
class CXListCtrl;
class QCheckBox;
class QDateEdit;
class QLabel;
class QPushButton;

namespace velo::sheet {

class CStandbyDlg final : public QDialog {
    Q_OBJECT
public:
    enum Mode : int { kModeSheet = 0, kModeReservation = 1 };
    enum ControlId : int {
        kIdDialog = 1028,
        kIdClose = 1131,
        kIdStandbyList = 1132, kIdAdd = 1133, kIdEdit = 1134, kIdDelete = 1135, kIdBook = 1136,
        kIdStandbyFrom = 1137, kIdStandbyTo = 1138, kIdShowBooked = 1157,
        kIdCancelledList = 1139, kIdCancelledFrom = 1140, kIdCancelledTo = 1141,
        kIdNoShowOnly = 1158,
    };
    // Icons of the rows: an open entry or a cancellation, a booked entry or a no-show.
    enum RowIcon : int { kIconPlain = 0, kIconMarked = 1 };

    CStandbyDlg(CVeloDBSys* db, int mode, QWidget* parent = nullptr);

    // "%010d" of the entry chosen with "予約に追加"; "" when the dialog closed otherwise.
    const std::string& ChosenStandbyNo() const { return m_chosen; }

    void RefillStandbyList();
    void RefillCancelledList();

    // The notices shown under a list while it holds a load that could not be read whole.
    QLabel* StandbyReadNotice() const { return m_standbyNotice; }
    QLabel* CancelledReadNotice() const { return m_cancelledNotice; }

    // What tells the dialog of other programs' changes.
    CTableWatcher* Watcher() const { return m_watcher; }

    void done(int result) override;

signals:
    // The lists show a change another program made (see ShowChangesOfOthers).
    void reloadedForChanges();

private:
    void BuildLayout();
    void ConnectSignals();
    void KeepRangeOrdered(QDateEdit* changed, QDateEdit* from, QDateEdit* to);
    // Fills the lists that show the changed tables again with their filters, keeping their
    // selected and current rows and their scroll positions.
    void ShowChangesOfOthers(const QStringList& fileNames);
    // Shows or hides a list's notice for the outcome of its load, and says once which table
    // file could not be read (while the dialog opens, a file both lists failed on once).
    void ShowReadOutcome(QLabel* notice, int status, const std::string& failedFile);
    void UpdateButtons();
    // The selected rows of the upper list, in ascending order.
    std::vector<int> SelectedRows() const;
    // The one selected row when it is not booked, else -1 (also while the list could not be
    // read).
    int SingleOpenRow() const;
    void OnAdd();
    void OnEdit();
    void OnDelete();
    void OnBook();
    void OnClose();

    CVeloDBSys* m_db;
    int m_mode;
    std::string m_chosen;
    std::vector<bool> m_rowBooked;
    // Status of the standby list's load: while it is not 0 the rows are not complete, and
    // nothing is edited, deleted or booked from them.
    int m_standbyReadStatus = 0;
    bool m_opening = false;
    std::vector<std::string> m_openingFailures;  // files already reported while opening

    CXListCtrl* m_standby = nullptr;
    CXListCtrl* m_cancelled = nullptr;
    QDateEdit* m_standbyFrom = nullptr;
    QDateEdit* m_standbyTo = nullptr;
    QDateEdit* m_cancelledFrom = nullptr;
    QDateEdit* m_cancelledTo = nullptr;
    QCheckBox* m_showBooked = nullptr;
    QCheckBox* m_noShowOnly = nullptr;
    QLabel* m_standbyNotice = nullptr;
    QLabel* m_cancelledNotice = nullptr;
    QPushButton* m_edit = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_book = nullptr;
    CTableWatcher* m_watcher = nullptr;
};

}  // namespace velo::sheet
