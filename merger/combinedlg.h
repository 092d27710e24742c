// The dialog "患者合成": the two patients chosen in the merge-data list side by side, a
// "優先" button beside each to choose the one that is kept, "データ削除" to remove what moves
// from the absorbed patient, and "合成" to combine. On success it says so and closes as
// accepted (the main window then refills the merge-data list); on failure it says so and
// stays open so the user can close it or try again.
#pragma once

#include <QDialog>
#include <string>

#include "merger/combine.h"

class QCheckBox;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace unita {

// Control ids of the dialog (objectName = id in decimal).
constexpr int kIdCombineOk = 1;        // "合成"
constexpr int kIdCombineClose = 2;     // "閉じる"
constexpr int kIdFirstPatient = 1046;  // first patient's text
constexpr int kIdSecondPatient = 1047;
constexpr int kIdKeepFirst = 1048;  // "優先" beside the first text, selected at start
constexpr int kIdKeepSecond = 1049;
constexpr int kIdPhotoMap = 1050;     // hidden: text new number, item data old number
constexpr int kIdAnalysisMap = 1051;  // hidden: new number (10) followed by old number (10)
constexpr int kIdDeleteData = 1052;   // "データ削除"

class CCombineDlg final : public QDialog {
    Q_OBJECT
public:
    // first and second: the identifiers ("%010d") of the first two selected rows of the
    // merge-data list, in list order.
    CCombineDlg(const SCombineFolders& folders, const std::string& first, const std::string& second,
                QWidget* parent = nullptr);

    // Opens the dialog modally; true when the patients were combined (the caller refills
    // its list).
    static bool Run(const SCombineFolders& folders, const std::string& first,
                    const std::string& second, QWidget* parent);

    // The identifiers the dialog would keep and absorb with its current choice.
    std::string KeptIdentifier() const;
    std::string AbsorbedIdentifier() const;

private:
    void OnCombine();
    void ShowMaps(const CPatientCombiner& combiner);

    SCombineFolders m_folders;
    std::string m_first;
    std::string m_second;
    QPlainTextEdit* m_firstText = nullptr;
    QPlainTextEdit* m_secondText = nullptr;
    QRadioButton* m_keepFirst = nullptr;
    QRadioButton* m_keepSecond = nullptr;
    QCheckBox* m_deleteData = nullptr;
    QListWidget* m_photoMap = nullptr;
    QListWidget* m_analysisMap = nullptr;
    QPushButton* m_combine = nullptr;
    QPushButton* m_close = nullptr;
};

}  // namespace unita
