// CLabScheduleDlg: the lab schedule window "技工物予定管理". It lists lab-work items by due
// day with filters, in a list ("通常表示") or as cards by category ("技工物別表示"), and is
// where items are entered, changed, deleted, printed and exported. In normal mode the
// suite's navigation strip ends it with a screen code for the host; in picking mode (one
// patient, a few days around an appointment) it returns the item the user confirms.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "lab/labcore.h"

class CByItemView;
class CNavigationStrip;
class CTableWatcher;
class CVeloDBSys;
class CXListCtrl;
class QAction;
class QBoxLayout;
class QCheckBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTimer;
class QToolBar;

// What the window hands the item edit dialog, and what comes back: the key and due day of
// the item saved last (both empty when nothing was saved), and the due day of every item
// saved while the dialog was open ("登録して新規" saves several before it closes).
struct LabItemDialogRequest {
    CVeloDBSys* db = nullptr;
    QString materialNo;     // empty: a new item
    std::string patientId;  // the window's patient filter (picking mode)
    std::string day;        // the appointment day (picking mode)
    int pickingState = 0;
    QWidget* parent = nullptr;
};
struct LabItemDialogResult {
    std::string savedNo;
    std::string dueDate;
    std::vector<std::string> earlierDueDates;  // saves before the last one, in order
};
using LabItemDialogRunner = std::function<LabItemDialogResult(const LabItemDialogRequest&)>;

class CLabScheduleDlg final : public QDialog {
    Q_OBJECT
public:
    // The two views, as stored in "ViewOption".
    enum EView { kListView = 0, kByItemView = 1 };

    // Normal mode: every patient, today to seven days ahead, the navigation strip, maximised.
    explicit CLabScheduleDlg(CVeloDBSys* db, QWidget* parent = nullptr);
    // Picking mode for one patient: three days before to three days after `day` (YYYYMMDD),
    // the picking toolbar, no strip.
    CLabScheduleDlg(CVeloDBSys* db, const std::string& patientId, const std::string& day,
                    QWidget* parent = nullptr);
    CLabScheduleDlg(const CLabScheduleDlg&) = delete;
    CLabScheduleDlg& operator=(const CLabScheduleDlg&) = delete;

    bool IsPicking() const { return m_picking; }
    // 1 while no item has been saved in picking mode, 2 after; 0 in normal mode.
    int PickingState() const { return m_pickingState; }
    // The strip button's screen code that ended the window, or -100.
    int ResultCode() const { return m_resultCode; }
    // The confirmed item in picking mode; "" until confirmed.
    std::string PickedMaterialNo() const { return m_picked; }

    // Runs a toolbar command (kCmdLab... of labstrings.h) as if its button was pressed.
    void RunCommand(int commandId);
    // Reads the current view again with the filters, keeping `selectNo` selected.
    void Refresh(const std::string& selectNo = std::string());
    // The MaterialNo selected in the current view, "" when none.
    std::string SelectedMaterialNo() const;
    EView View() const { return m_view; }
    LabFilter CurrentFilter() const;

    // Parts, for tests and screenshots.
    CXListCtrl* List() const { return m_list; }
    CByItemView* ByItemView() const { return m_byItem; }
    CNavigationStrip* Strip() const { return m_strip; }
    QAction* Action(int commandId) const;
    QCheckBox* DateCheck() const { return m_dateCheck; }
    QDateEdit* FromEdit() const { return m_fromEdit; }
    QDateEdit* ToEdit() const { return m_toEdit; }
    QCheckBox* NotFinishedCheck() const { return m_notFinishedCheck; }
    QCheckBox* EmptyDaysCheck() const { return m_emptyDaysCheck; }
    QCheckBox* ShowIdCheck() const { return m_showIdCheck; }
    QRadioButton* ListRadio() const { return m_listRadio; }
    QRadioButton* ByItemRadio() const { return m_byItemRadio; }
    QPushButton* RefreshButton() const { return m_refreshButton; }
    // The notice shown above the view while it holds a load that could not be read whole.
    QLabel* ReadFailureNotice() const { return m_readFailureNotice; }
    QString CountText() const;

    // Replaces the item edit dialog (an empty function restores CLabItemDlg); tests answer
    // it without a window.
    static void SetItemDialogRunner(LabItemDialogRunner runner);

signals:
    // A refresh of the current view has finished.
    void Refreshed();
    // The window has shown a change another program made (see ShowChangesOfOthers).
    void reloadedForChanges();

public slots:
    void done(int r) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Build();
    void BuildToolbar();
    void BuildFilters(QBoxLayout* layout);
    void ReadSettings();
    void WriteClosingSettings() const;
    void UpdateControls();
    void SetView(EView view);
    // Fills the list; returns the table file that could not be read, if any.
    LabReadFailure RefreshList(const LabFilter& filter, const std::string& selectNo);
    // Keeps the outcome of the current view's load: a failure stays on screen as a notice,
    // and the commands that would act on what was read are disabled until a load succeeds.
    void SetReadFailure(const LabReadFailure& failure);
    // Reads the list for printing or export from the by-item view; false, after saying
    // which table file could not be read, when it could not be read whole.
    bool RefreshListForOutput(const LabFilter& filter);
    void OnStripButton(int position);
    void OnDateCheckToggled(bool checked);
    void OnListActivated();
    void OnCardActivated(const QString& materialNo);
    void OnOk();
    void OnNew();
    void OnEdit();
    void OnDelete();
    void OnPrint();
    void OnCsv();
    void RunItemDialog(const QString& materialNo);
    // Reads the current view again for a change another program made, keeping the filters,
    // the view, the selected item and the scroll position, and offering no new item.
    void ShowChangesOfOthers(const QStringList& fileNames);
    // Widens the date range so that it holds every one of the days.
    void WidenRangeTo(const std::vector<std::string>& days);
    QString DeleteDescription(int row) const;

    CVeloDBSys* m_db;
    bool m_picking = false;
    int m_pickingState = 0;
    std::string m_patientId;
    std::string m_day;
    int m_resultCode = -100;
    std::string m_picked;
    EView m_view = kListView;
    bool m_listStale = true;  // the list does not show the current filters
    bool m_inItemDialog = false;
    bool m_showingChanges = false;  // a refresh for another program's change is running
    LabNames m_names;
    std::vector<LabRow> m_rows;
    LabReadFailure m_readFailure;  // of the load the current view shows

    CNavigationStrip* m_strip = nullptr;
    QToolBar* m_toolbar = nullptr;
    QCheckBox* m_dateCheck = nullptr;
    QDateEdit* m_fromEdit = nullptr;
    QDateEdit* m_toEdit = nullptr;
    QCheckBox* m_notFinishedCheck = nullptr;
    QCheckBox* m_emptyDaysCheck = nullptr;
    QCheckBox* m_showIdCheck = nullptr;
    QPushButton* m_refreshButton = nullptr;
    QRadioButton* m_listRadio = nullptr;
    QRadioButton* m_byItemRadio = nullptr;
    QStackedWidget* m_views = nullptr;
    CXListCtrl* m_list = nullptr;
    CByItemView* m_byItem = nullptr;
    QLabel* m_countLabel = nullptr;
    QLabel* m_readFailureNotice = nullptr;
    QTimer* m_refreshTimer = nullptr;
    CTableWatcher* m_watcher = nullptr;
};
