// CReservedSearchDlg: the reserved-patient search (1013, "予約された患者の検索"), a resizable
// window with a toolbar and a status bar. It lists the reservations of a date range, or a
// patient's future reservations by reading or name, with telephones, mail addresses and the
// contact state. From it the staff records a contact, ticks patients for reminder mail, or
// asks the sheet to change or cancel the selected reservation (a came one is refused with a
// message, as on the sheet):
//
//   CReservedSearchDlg dialog(db, this);
//   switch (dialog.exec()) {
//       case CReservedSearchDlg::kResultChange: change(dialog.ChosenReservationNo()); break;
//       case CReservedSearchDlg::kResultCancel: cancel(dialog.ChosenReservationNo()); break;
//   }
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "sheet/remindermail.h"
#include "sheet/reservedsearch.h"

class CTableWatcher;
class CVeloDBSys;
class CXListCtrl;
class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QRadioButton;
class QToolBar;
class QTreeWidgetItem;

namespace velo::sheet {

class CReservedSearchDlg final : public QDialog {
    Q_OBJECT
public:
    enum ControlId : int {
        kIdDialog = 1013,
        kIdByDate = 1125, kIdFrom = 1079, kIdTo = 1080, kIdUncontactedOnly = 1092,
        kIdByName = 1126, kIdNameText = 1124, kIdByKana = 1122, kIdByKanji = 1123,
        kIdSearch = 1030, kIdSender = 1168, kIdList = 1000, kIdCount = 1001,
        kIdSendMail = 1031, kIdMailSetting = 1032, kIdContact = 1036, kIdTemplate = 1037,
        kIdPostcard = 1545, kIdChange = 1012, kIdCancelReservation = 1006,
    };
    // The list's columns, as the reminder run reads and writes them.
    enum Column : int {
        kColChartNo = 0, kColName, kColDate, kColTime, kColHomeTel, kColMobileTel,
        kColContactState, kColComment, kColContactMethod, kColContactDate, kColMail,
    };
    // exec() results that ask the sheet to act on ChosenReservationNo().
    enum Result : int { kResultChange = 100, kResultCancel = 101 };

    explicit CReservedSearchDlg(CVeloDBSys* db, QWidget* parent = nullptr, bool mailMode = true);

    // Runs the search with the controls' conditions and fills the list.
    void RunSearch();

    CXListCtrl* List() const { return m_list; }
    const std::vector<ReservedSearchRow>& Rows() const { return m_rows; }
    // The number of the staff member chosen as the mail's sender (0 when none).
    int SenderNumber() const;
    // The reservation of a result 100 or 101.
    const std::string& ChosenReservationNo() const { return m_chosen; }
    // Opens the contact dialog for the selected row and refreshes its columns after OK.
    void RecordContact();
    // The rows whose check boxes are ticked, in list order.
    std::vector<int> CheckedRows() const;
    // Writes a row's contact columns from its reservation again (after a contact or a mail).
    void RefreshRow(int row);

    // Sends the reminder mails to the ticked rows ("メールを送信する").
    void SendReminders();
    // Options of the reminder runs started here (tests point them at their own servers); the
    // sender is always the one chosen in "メール送信者".
    void SetReminderOptions(ReminderRunOptions options) { m_reminderOptions = std::move(options); }
    // Shows the postcards of the ticked rows' patients ("はがきの印刷").
    void PrintPostcards();

signals:
    // The list shows a change another program made (see ShowChangesOfOthers).
    void reloadedForChanges();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildLayout();
    QWidget* BuildConditions();
    void BuildToolbar(QToolBar* toolbar);
    // Runs a search and fills the list; a failed read is said in the status bar and a message.
    void Search(const ReservedSearchRequest& request);
    // Runs the last search again (not what the conditions may have been changed to since),
    // keeping the selected, current and ticked rows (by reservation) and the scroll position.
    void ShowChangesOfOthers();
    void ShowRows();
    void ShowRowContact(int row);
    void OnItemChanged(QTreeWidgetItem* item, int column);
    void UpdateActions();
    void FinishWith(int result);

    CVeloDBSys* m_db;
    bool m_mailMode;
    std::vector<ReservedSearchRow> m_rows;
    std::string m_chosen;
    ReminderRunOptions m_reminderOptions;
    bool m_filling = false;
    ReservedSearchRequest m_lastRequest;  // of the search the list shows
    CTableWatcher* m_watcher = nullptr;

    QRadioButton* m_byDate = nullptr;
    QRadioButton* m_byName = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QCheckBox* m_uncontactedOnly = nullptr;
    QLineEdit* m_nameText = nullptr;
    QRadioButton* m_byKana = nullptr;
    QRadioButton* m_byKanji = nullptr;
    QComboBox* m_sender = nullptr;
    CXListCtrl* m_list = nullptr;
    QLabel* m_count = nullptr;
    std::vector<QAction*> m_rowActions;   // need a selected row
};

}  // namespace velo::sheet
