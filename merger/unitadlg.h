// The merger's main window: the folders of both products and of the destination, the
// patient lists of the three databases, the merge options, and the commands (load, convert,
// merge run, selected-patient merge, table merge, patient combine) with the status line,
// the progress bar and a mark per Xylo patient. The window gathers the fields and shows the
// results; the work is done by the merger's library.
#pragma once

#include <QDialog>
#include <QIcon>
#include <optional>
#include <vector>

#include "merger/mergeprogress.h"
#include "merger/mergesettings.h"
#include "merger/patientlist.h"
#include "merger/patientmerge.h"
#include "merger/tablemerge.h"

class CXListCtrl;
class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace unita {

class CUnitaDlg final : public QDialog, public IMergeProgress {
    Q_OBJECT
public:
    // Builds the window and runs the start-up discovery.
    explicit CUnitaDlg(QWidget* parent = nullptr);
    ~CUnitaDlg() override;
    CUnitaDlg(const CUnitaDlg&) = delete;
    CUnitaDlg& operator=(const CUnitaDlg&) = delete;

    // The ten folder fields as typed.
    SMergeFolders Folders() const;
    void SetFolders(const SMergeFolders& folders);

    bool CalyxNeedsConversion() const { return m_calyxNeedsConversion; }
    // The Xylo list's mark of a row in list order.
    ERowMark XyloRowMark(int row) const;

    // IMergeProgress: the status line, the bar, the Xylo row marks, a repaint.
    void SetStatus(const QString& text) override;
    void SetPosition(int percent) override;
    void MarkXyloRow(int row, ERowMark mark) override;
    void ProcessPendingEvents() override;

    // The commands, also reachable by their buttons.
    void OnCalyxLoad();
    void OnXyloLoad();
    void OnConvert();
    void OnMergeStart();
    void OnMergeSelected();
    void OnMergeTablesOnly();
    void OnCombine();
    // Refills the merge-data list from the destination database folder as typed, without
    // error messages.
    void RefillMergeData();

private:
    // A patient list: its control and its rows in display order (marks for the Xylo list).
    struct SListState {
        CXListCtrl* m_list = nullptr;
        PatientRows m_rows;
        std::vector<ERowMark> m_marks;
        int m_sortColumn = -1;
        bool m_descending = false;
    };

    void BuildControls();
    void BuildIcons();
    QWidget* BuildCalyxGroup();
    QWidget* BuildMergeDataGroup();
    QWidget* BuildXyloGroup();
    QWidget* BuildSettingsGroup();
    QLineEdit* AddFolderRow(QGridLayout* grid, int row, const QString& label, int fieldId,
                            int browseId);
    CXListCtrl* MakePatientList(int id, SListState* state);
    void ShowRows(SListState& state);
    void SortByColumn(SListState& state, int column);
    void OnBrowse(int fieldId);
    void OnConvertCalyxToggled();
    void FocusRefusedField(int fieldId);
    bool XyloListFromAnotherFolder() const;
    SMergeOptions PatientOptions() const;
    STableMergeOptions TableOptions() const;
    std::vector<int> SelectedRows(const SListState& state) const;
    QLineEdit* Field(int id) const;

    SListState m_calyx;
    SListState m_xylo;
    SListState m_mergeData;
    QIcon m_markIcons[4];
    bool m_calyxNeedsConversion = false;
    // The Calyx database folder the Calyx list and the conversion mark were read from.
    QString m_calyxLoadedFrom;
    // The Xylo database folder the Xylo list was read from; none until the first load.
    std::optional<QString> m_xyloLoadedFrom;

    QCheckBox* m_convertCalyx = nullptr;  // 1039
    QPushButton* m_convert = nullptr;     // 1017
    QLabel* m_status = nullptr;           // 1020
    QProgressBar* m_progress = nullptr;   // 1019
    QCheckBox* m_pointCalyx = nullptr;    // 1027
    QCheckBox* m_pointXylo = nullptr;     // 1028
    QRadioButton* m_matchById = nullptr;  // 1036
    QRadioButton* m_matchByIdAndName = nullptr;
    QRadioButton* m_matchByNameAndBirth = nullptr;
    QCheckBox* m_birthXylo = nullptr;     // 1025
    QCheckBox* m_commentXylo = nullptr;   // 1034
    QCheckBox* m_guardianXylo = nullptr;  // 1035
    QCheckBox* m_basicXylo = nullptr;     // 1040
    QCheckBox* m_caseXylo = nullptr;      // 1041
};

}  // namespace unita
