// The treatment item editor: the texts offered for a reservation's treatment field, kept per
// treatment category. The user adds, renames and deletes the texts of one category or picks
// one. Reading and writing the items are plain functions so that tests reach them without a
// window; the dialog gathers the input, calls them and shows their messages.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

class CVeloDBSys;
class CEditEx;
class QPushButton;
class QTreeWidget;

// One treatment item as the editor lists it.
struct CTreatmentItemRow {
    QString item;  // item code as stored, "%03d" for new items
    QString text;
};

enum class ETreatmentItemResult {
    Ok,
    NoCategory,  // the treatment category is not in the category file
    EmptyText,
    TextTooLong,    // more than the 200 bytes of the text field
    DuplicateText,  // the category already lists this text
    Full,           // every item number of the category is taken
    NotFound,       // the item to rename or delete is gone
    DatabaseError,
};

// The message shown for a result (empty for Ok).
QString TreatmentItemResultMessage(ETreatmentItemResult result, int status = 0);

// The name of the treatment category; false when there is no such category.
bool TreatmentCategoryName(CVeloDBSys* db, const QString& category, QString* name);

// The visible items (mark not "__") of the category in item order. Returns the record
// manager's status (0 also when there are none).
int ListTreatmentItems(CVeloDBSys* db, const QString& category,
                       std::vector<CTreatmentItemRow>* rows);

// Adds the text (trimmed) to the category under the next free item number, one above the
// highest in the category (hidden items count), "%03d". On Ok *itemCode receives the code.
ETreatmentItemResult AddTreatmentItem(CVeloDBSys* db, const QString& category, const QString& text,
                                      QString* itemCode = nullptr, int* status = nullptr);
// Replaces the text of one item; the same checks as adding (its own text does not count
// as a duplicate).
ETreatmentItemResult RenameTreatmentItem(CVeloDBSys* db, const QString& category,
                                         const QString& item, const QString& text,
                                         int* status = nullptr);
// Removes one item from the file.
ETreatmentItemResult DeleteTreatmentItem(CVeloDBSys* db, const QString& category,
                                         const QString& item, int* status = nullptr);

class CTreatmentItemDlg final : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the widgets' object names; 1 is 選択 and 2 閉じる.
    enum : int {
        kIdList = 1001,
        kIdText = 1002,
        kIdAdd = 1003,
        kIdRename = 1004,
        kIdDelete = 1005,
    };

    // REQUIRES: the category exists (TreatmentCategoryName).
    CTreatmentItemDlg(CVeloDBSys* db, const QString& category, const QString& categoryName,
                      QWidget* parent = nullptr);
    CTreatmentItemDlg(const CTreatmentItemDlg&) = delete;
    CTreatmentItemDlg& operator=(const CTreatmentItemDlg&) = delete;

    // What OpenTreatmentItem returns: the chosen item's key after 選択, else the key of the
    // last item added, renamed or deleted, else "".
    QString ResultKey() const { return m_resultKey; }
    // Refills the list and selects the item with that code.
    void Reload(const QString& selectItem = QString());

private:
    void OnAdd();
    void OnRename();
    void OnDelete();
    void OnChoose();
    void OnSelectionChanged();
    QString SelectedItem() const;
    bool Report(ETreatmentItemResult result, int status);

    CVeloDBSys* m_db;
    QString m_category;
    QTreeWidget* m_list = nullptr;
    CEditEx* m_text = nullptr;
    QPushButton* m_rename = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_choose = nullptr;
    QString m_resultKey;
};
