// The fee-item picker: the collected-fee items of one category or of every category, with
// their names and prices, from which the user picks one or adds a new one. The listing is a
// plain function; adding goes through the fee-item entry dialog of the entry dialogs.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

class CVeloDBSys;
class QComboBox;
class QPushButton;
class QTreeWidget;

// One fee item as the picker lists it.
struct CCreditItemRow {
    QString category;      // category code as stored
    QString categoryName;  // "" when the category is not in the category file
    QString item;          // item code as stored
    QString name;
    int price = 0;  // yen, tax excluded
};

// The fee items of `category` (every category when empty), in category and item order,
// leaving out hidden items (mark "__"). Returns the record manager's status (0 also when
// there are none).
int ListCreditItems(CVeloDBSys* db, const QString& category, std::vector<CCreditItemRow>* rows);

class CCreditItemDlg final : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the widgets' object names.
    enum : int {
        kIdCategory = 1001,
        kIdList = 1002,
        kIdAdd = 1003,
    };
    enum EColumn : int { kColCategory, kColCode, kColName, kColPrice, kColumnCount };

    // Starts on `category` when the category file has it, else on every category.
    CCreditItemDlg(CVeloDBSys* db, const QString& category, QWidget* parent = nullptr);
    CCreditItemDlg(const CCreditItemDlg&) = delete;
    CCreditItemDlg& operator=(const CCreditItemDlg&) = delete;

    // MakeItemKey of the chosen item once the dialog was accepted; "" otherwise.
    QString ChosenKey() const { return m_chosen; }
    // Refills the list for the chosen category and selects the item with that key.
    void Reload(const QString& selectKey = QString());

private:
    void OnAdd();
    void OnOK();
    void OnSelectionChanged();

    CVeloDBSys* m_db;
    QComboBox* m_category = nullptr;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_ok = nullptr;
    QString m_chosen;
};
