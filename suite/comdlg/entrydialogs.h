// The suite's small entry dialogs: add one entry to a master table (units, doctors,
// reservation types and ways, staff, fee categories and items, insurance types, treatment
// and lab-item categories, cancel reasons) or a lab-item name to the lab-item master, and
// hand back what was added. The checks and the writing live in plain functions below so
// that tests and other callers reach them without a window; the dialog classes only gather
// the input, call them and show their messages through CMessageService.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <string>

class CVeloDBSys;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// One master table an entry can be added to, under the name its callers pass.
struct CMasterTableInfo {
    const char* table;  // "UNIT", "DOCTOR", ... as DoGetNewTblItem receives it
    const char* title;  // window title of the entry dialog
    int codeDigits;     // codes are written "%0*d" with this many digits
    int maxCode;        // the largest number the code field holds
    int nameBytes;      // code page 932 bytes the name may take
    bool hasColour;     // reservation types carry a bar colour
    bool hasPrice;      // fee items carry a price
    bool hasCategory;   // fee items belong to a fee category
    // Label of the name field.
    const char* nameLabel = "名称";
};

// The table of that name (compared without regard to case), or null.
const CMasterTableInfo* FindMasterTable(const char* table);

// What the user typed for a new master entry.
struct CMasterEntry {
    QString code;  // digits; written with the table's width
    QString name;
    uint32_t colour = 0xFFFFFF;  // 0x00BBGGRR, reservation types only
    int price = 0;               // yen, fee items only
    QString category;            // fee category code, fee items only
};

enum class EEntryResult {
    Ok,
    UnknownTable,
    EmptyName,
    NameTooLong,
    BadCode,  // not digits, zero, or too large for the table
    DuplicateCode,
    NoCategory,     // a fee item without an existing fee category
    DuplicateName,  // lab-item names are unique within their category
    DatabaseError,
};

// The text shown for a result (empty for Ok).
QString EntryResultMessage(EEntryResult result, int status = 0);

// The code proposed for a new entry: one above the highest numeric code in use (for fee
// items, within the category), or the lowest free number when that would not fit the code
// field; "" when the table is unknown or full. Staff numbers count both the staff master
// and the lab's staff names (custom table "AA"), so one number names one person in both.
QString NextMasterCode(CVeloDBSys* db, const char* table, const QString& category = QString());

// Checks the entry and inserts it, inside one transaction (the caller's when one is open).
// Staff go to the staff master ("%03d") and to the lab's staff names, custom table "AA"
// ("%04d" of the same number), so the lab's staff combo and its list names agree. On Ok
// *storedCode receives the code as written; on DatabaseError *status the record manager's
// status. Nothing is written unless the result is Ok.
EEntryResult AddMasterEntry(CVeloDBSys* db, const char* table, const CMasterEntry& entry,
                            QString* storedCode = nullptr, int* status = nullptr);

// Adds a lab-item name to the lab-item master under the category (an empty category counts
// as 0): next "%010d" item number, name unique within the category. On Ok *itemNo receives
// the new number.
EEntryResult AddMaterialItem(CVeloDBSys* db, const char* categoryCode, const QString& name,
                             std::string* itemNo = nullptr, int* status = nullptr);

// Dialog for a new master entry: (fee category,) code, name (, colour)(, price).
class CNewTblItemDlg final : public QDialog {
    Q_OBJECT

public:
    CNewTblItemDlg(CVeloDBSys* db, const CMasterTableInfo& info, QWidget* parent = nullptr);
    CNewTblItemDlg(const CNewTblItemDlg&) = delete;
    CNewTblItemDlg& operator=(const CNewTblItemDlg&) = delete;

    // The code written after the dialog was accepted; "" before.
    QString StoredCode() const { return m_storedCode; }
    // Fee items: the category the new item was written under; "" for other tables.
    QString StoredCategory() const { return m_storedCategory; }
    // Fee items: starts on this fee category (and proposes its next code) when it exists.
    void SetCategory(const QString& categoryCode);

private:
    void OnOK();
    void OnCategoryChanged();

    CVeloDBSys* m_db;
    const CMasterTableInfo& m_info;
    QComboBox* m_category = nullptr;
    QLineEdit* m_code = nullptr;
    QLineEdit* m_name = nullptr;
    QComboBox* m_colour = nullptr;
    QSpinBox* m_price = nullptr;
    QString m_storedCode;
    QString m_storedCategory;
};

// Dialog for a new lab-item name within a category.
class CNewMaterialItemDlg final : public QDialog {
    Q_OBJECT

public:
    CNewMaterialItemDlg(CVeloDBSys* db, const QString& categoryCode, QWidget* parent = nullptr);
    CNewMaterialItemDlg(const CNewMaterialItemDlg&) = delete;
    CNewMaterialItemDlg& operator=(const CNewMaterialItemDlg&) = delete;

    // The name added after the dialog was accepted; "" before.
    QString AddedName() const { return m_addedName; }

private:
    void OnOK();

    CVeloDBSys* m_db;
    QString m_categoryCode;
    QLineEdit* m_name = nullptr;
    QString m_addedName;
};
