// CTreatmentSelectDlg: "処置内容選択" (1030), opened from the reservation dialog's "#" beside
// the treatment. It lists the treatment items of a chosen category; "追加" or a double click
// appends the chosen item's text to the reservation's treatment edit (no separator, within
// the edit's byte limit). The two "#" buttons add a category and edit the category's items.
#pragma once

#include <QDialog>
#include <string>

class CVeloDBSys;
class QComboBox;
class QLineEdit;
class QListWidget;

namespace velo::sheet {

class CTreatmentSelectDlg final : public QDialog {
    Q_OBJECT
public:
    enum ControlId : int {
        kIdDialog = 1030,
        kIdCategory = 1149,
        kIdItems = 1153,
        kIdAppend = 1138,
        kIdAddCategory = 1158,
        kIdEditItems = 1159,
        kIdClose = 2,
    };

    // `target` is the treatment edit the chosen texts are appended to; it must outlive the
    // dialog.
    CTreatmentSelectDlg(CVeloDBSys* db, QLineEdit* target, QWidget* parent = nullptr);
    ~CTreatmentSelectDlg() override;
    CTreatmentSelectDlg(const CTreatmentSelectDlg&) = delete;
    CTreatmentSelectDlg& operator=(const CTreatmentSelectDlg&) = delete;

    // Fills the category combo (visible categories in code order) and selects `code`, or
    // the first category when `code` is empty or not listed.
    void FillCategories(const std::string& code);
    // Fills the item list with the chosen category's visible items.
    void FillItems();
    // Appends the selected item's text to the target edit.
    void AppendSelected();

private:
    std::string CategoryCode() const;
    void OnAddCategory();
    void OnEditItems();

    CVeloDBSys* m_db;
    QLineEdit* m_target;
    QComboBox* m_category = nullptr;
    QListWidget* m_items = nullptr;
};

}  // namespace velo::sheet
