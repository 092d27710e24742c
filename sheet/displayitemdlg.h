// The display-item selection dialog (dialog 1027): chooses which reservation details the
// sheet shows, and in which order, in the hover balloon (mode 0) or on the bar (mode 1),
// and whether names carry their kana reading there. OK writes the mode's item file in the
// program folder and the kana choice to the host profile.
#pragma once

#include <QDialog>
#include <QStringList>
#include <string>

#include "sheet/displayitems.h"

class CVeloDBSys;
class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;

class CDisplayItemDlg final : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the widgets' object names (IDOK 1 and IDCANCEL 2 for the buttons).
    enum : int {
        kIdDialog = 1027,
        kIdMoveUp = 1038,
        kIdMoveDown = 1039,
        kIdList = 1040,
        kIdInstruction = 1041,
        kIdCheckAll = 1129,
        kIdClearAll = 1130,
        kIdReset = 1131,
        kIdKana = 1169,
    };
    // Texts of the dialog, in the suite's string table.
    enum : int {
        kIdsTitleSuffix = 1591,   // "情報の表示･非表示設定"
        kIdsBalloonTitle = 1592,  // "予約の吹き出し"
        kIdsBarTitle = 1593,      // "予約"
        kIdsBarInstruction = 1547,
    };

    // `mode` is velo::sheet::kBalloonItems or kBarItems; `kana` is the caller's TIP_KANA or
    // TIME_KANA. Free-table items are named from `freeTableNames` (in table order). The
    // list is filled from the mode's file in the program folder.
    CDisplayItemDlg(int mode, bool kana, const QStringList& freeTableNames,
                    QWidget* parent = nullptr);
    // The same with the free-table names of the database (CVeloComDlg::EnumFreeTblName).
    CDisplayItemDlg(CVeloDBSys* db, int mode, bool kana, QWidget* parent = nullptr);
    ~CDisplayItemDlg() override;
    CDisplayItemDlg(const CDisplayItemDlg&) = delete;
    CDisplayItemDlg& operator=(const CDisplayItemDlg&) = delete;

    // Reads the list again from another file, which OK then writes (tests, other folders).
    void SetFilePath(const std::string& path);
    const std::string& FilePath() const { return m_path; }

    int Mode() const { return m_mode; }
    // The rows as shown, in order, with their checks.
    velo::sheet::DisplayItemTable Rows() const;
    // The kana check box.
    bool Kana() const;

private:
    void BuildLayout();
    void Fill(const velo::sheet::DisplayItemTable& rows);
    void UpdateMoveButtons();
    void MoveSelected(int step);
    void SetAllChecks(bool on);
    void OnReset();
    void OnOK();

    int m_mode;
    QStringList m_freeTableNames;
    std::string m_path;
    QLabel* m_instruction = nullptr;
    QTreeWidget* m_list = nullptr;
    QCheckBox* m_kana = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
};
