// CVeloComDlg: the suite's shared list fillers and the CSV export of report lists. The
// fillers read a master table through the host's database handle, fill a combo box in code
// order, leave out the entries marked hidden, and select the entry with the given code.
//
// Item data (QComboBox::itemData, Qt::UserRole) is a value, never a pointer, so refilling or
// clearing a combo frees it and no caller has to:
//   units, reservation types, insurance types: QString master text "K C..." - the category
//       kind character, a blank, then the code, so the code starts at the third character
//       (and for units its last two characters are the unit code);
//   doctors: QString holding the doctor code (its last two characters are the code);
//   credit categories, lab-item categories: QString holding the code;
//   staff, reservation ways: int, the number that is written "%03d" (0 = none chosen);
//   credit items: QByteArray holding the whole tagCREDITITEMDB record.
//
// Selection rule of every filler: the entry whose code equals the given code is selected;
// with an empty code (or "000" for staff and ways) the first entry is selected; a code that
// is not in the list (it belongs to a hidden entry, or the master no longer holds it) leaves
// the combo without a selection (currentIndex -1), so a caller never writes a different
// code back by accident. A caller that shows a stored record passes EUnlisted::kKeep
// instead: such a code then gets an extra last entry of its own, "（非表示）" and the
// entry's name (or "（非表示）コード " and the code when the master lacks it), carrying the
// item data the combo's other entries carry and selected, so saving writes the stored code
// back unchanged unless the person picks another entry.
#pragma once

#include <QtCore/qnamespace.h>

#include <QString>
#include <QStringList>
#include <memory>
#include <string>

class CVeloDBSys;
struct tagPATIENTDB;
class CXListCtrl;
class QComboBox;
class QWidget;

class CVeloComDlg final {
public:
    CVeloComDlg() = delete;

    // Text of the first staff / reservation-way entry, whose number is 0.
    static QString NotChosenText();

    // What a filler does with a given code that it does not list (see the selection rule).
    enum class EUnlisted {
        kUnselected,  // no selection
        kKeep,        // an extra entry, marked as not listed, keeps the code and is selected
    };
    // The item-data role (bool) that marks the extra entry of EUnlisted::kKeep.
    static constexpr int kUnlistedRole = Qt::UserRole + 1;
    // True when the combo's entry at `index` is such an extra entry.
    static bool IsUnlistedEntry(const QComboBox* combo, int index);
    // The text of such an entry for a code the master no longer holds at all.
    static QString UnlistedCodeText(const QString& code);

    // Units (category kind "1"), hidden when the category field begins with "__".
    // Returns the number of entries listed (an extra entry of kKeep not counted).
    static int EnumUnit(CVeloDBSys* db, QComboBox* combo, const char* code,
                        EUnlisted unlisted = EUnlisted::kUnselected);
    // Doctors, hidden when the doctor's mark field begins with "__". Returns the count.
    static int EnumDoctor(CVeloDBSys* db, QComboBox* combo, const char* code,
                          EUnlisted unlisted = EUnlisted::kUnselected);
    // Reservation types (category kind "0"). Returns the count.
    static int EnumReservationType(CVeloDBSys* db, QComboBox* combo, const char* code,
                                   EUnlisted unlisted = EUnlisted::kUnselected);
    // Insurance types (category kind "2"). Returns the count.
    static int EnumInssuranceType(CVeloDBSys* db, QComboBox* combo, const char* code,
                                  EUnlisted unlisted = EUnlisted::kUnselected);
    // Credit (collected-fee) categories.
    static void EnumCreditCategory(CVeloDBSys* db, QComboBox* combo, const char* code,
                                   EUnlisted unlisted = EUnlisted::kUnselected);
    // Credit items of one category; item data is the whole record (for an item the table
    // no longer holds, a record with only the category and item codes).
    static void EnumCreditItemsOf(CVeloDBSys* db, QComboBox* combo, const char* category,
                                  const char* item, EUnlisted unlisted = EUnlisted::kUnselected);
    // Staff: first "  -- 未選択 --" (number 0), then every staff member whose mark is not
    // exactly "__". `code` is the "%03d" text (or any decimal text) of the number to select.
    static void EnumStaffData(CVeloDBSys* db, QComboBox* combo, const char* code,
                              EUnlisted unlisted = EUnlisted::kUnselected);
    // Reservation ways, with the same first entry and selection as EnumStaffData.
    static void EnumReservationWay(CVeloDBSys* db, QComboBox* combo, const char* code,
                                   EUnlisted unlisted = EUnlisted::kUnselected);
    // Lab-item categories, hidden when their mark begins with "__".
    static void EnumMaterialItemCate(CVeloDBSys* db, QComboBox* combo, const char* code,
                                     EUnlisted unlisted = EUnlisted::kUnselected);

    // The five free-table names, from "freetblname.dat" in the database folder (five lines in
    // code page 932). A missing file gives "自由テーブル1" .. "自由テーブル5"; a short file is
    // completed with those names. `names` is replaced by exactly five entries.
    static void EnumFreeTblName(CVeloDBSys* db, QStringList* names);

    // Entry dialogs (entrydialogs.cpp, querypatientdlg.cpp). Each runs a modal dialog on
    // `parent` (the active window when null) and returns "" when the user cancels.
    // Adds an entry to the master table named "UNIT", "DOCTOR", "RESERVATION_TYPE",
    // "RESERVATIONWAY", "STAFF", "CREDIT", "CREDITCATE", "INSSURANCETYPE",
    // "TREATMENTCATEGORY", "MATERIALITEMCATE" or "RESREASON" and returns its code as
    // written (for "CREDIT" the item code within the category chosen in the dialog). Staff
    // are written to the staff master and to the lab's staff names (custom table "AA") under
    // one number.
    static QString DoGetNewTblItem(CVeloDBSys* db, const char* table, QWidget* parent);
    // Adds a cancel reason (code and name, the next free "%03d" code proposed) to the
    // cancel reason file and returns its code.
    static QString OpenNewResReason(CVeloDBSys* db, QWidget* parent = nullptr);
    // The patient entry dialog (patiententrydlg.cpp): mode 1 registers a new patient, mode 2
    // edits the patient whose PatientID is `patientKey`. Returns the patient record as saved
    // in both patient files (include suite/dbcall/patientdb.h to use it), or null when the
    // user cancels, the patient to edit is not found or the mode is unknown (the last two
    // are reported to the user).
    static std::unique_ptr<tagPATIENTDB> GetNewPatientData(CVeloDBSys* db, int mode,
                                                           const char* patientKey,
                                                           QWidget* parent = nullptr);
    // The fee-item picker (credititemdlg.cpp): the visible fee items of the category (every
    // category when `categoryCode` is empty or unknown, with a category combo to narrow the
    // list), with name and price; the user picks one (double click or OK) or adds one.
    // Returns the chosen item's key, MakeItemKey(category code, item code), e.g. "001-004".
    static QString OpenCreditItem(CVeloDBSys* db, const char* categoryCode,
                                  QWidget* parent = nullptr);
    // The treatment item editor (treatmentitemdlg.cpp) of one treatment category ("%03d"):
    // lists the category's items and adds, renames and deletes them. Returns
    // MakeItemKey(category, item) of the item chosen with 選択; after 閉じる, the key of the
    // last item added, renamed or deleted (so the caller knows to refill its list), or ""
    // when nothing changed.
    static QString OpenTreatmentItem(CVeloDBSys* db, const char* categoryCode,
                                     QWidget* parent = nullptr);
    // Keys of fee items and treatment items: the category code and the item code as stored,
    // joined by "-" ("001-004"). SplitItemKey is false for a text without the "-".
    static QString MakeItemKey(const QString& category, const QString& item);
    static bool SplitItemKey(const QString& key, QString* category, QString* item);
    // DoGetNewTblItem for "STAFF".
    static QString DoGetNewStaff(CVeloDBSys* db, QWidget* parent);
    // Adds a lab-item name to the category and returns the name.
    static QString GetNewMaterialItem(CVeloDBSys* db, const char* categoryCode, QWidget* parent);
    // The patient query list: searches for `initial` (UTF-8) by "BYID", "BYKANA" or "BYNAME"
    // and returns the chosen patient's PatientID.
    static QString VCDQueryPatientData(CVeloDBSys* db, const char* initial, const char* mode,
                                       QWidget* parent = nullptr);

    // The day's visit flow (visitflowdlg.cpp): the patients booked on the day (eight
    // digits; today when not a date) in time order with unit, doctor and came state, until
    // the user closes it.
    static void OpenVisitFlowDialog(CVeloDBSys* db, const char* yyyymmdd,
                                    QWidget* parent = nullptr);

    // The reminder mail's settings (mailsettingdlg.cpp): sender, SMTP and POP servers,
    // dial-up and connection security, section "EMail". True when OK stored them.
    static bool OpenMailSetting(QWidget* parent = nullptr);
    // The reminder mail templates (mailtemplatedlg.cpp), opened on template `number` (the
    // first template when there is no such one). True when OK stored the changes.
    static bool OpenMailTemplateSetting(int number, QWidget* parent = nullptr);

    // The clinic's own closed days and open days (clinicdaysdlg.cpp), opened on the day
    // (eight digits; today when not a date). True when OK stored changes.
    static bool OpenClinicDaysSetting(const char* yyyymmdd, QWidget* parent = nullptr);

    // Flags of ListToCSV.
    enum CsvFlag {
        // `path` is only a suggested file name: the user picks the file (".csv" added to a
        // name without suffix); cancelling writes nothing and returns false silently.
        kCsvAskForPath = 0,
        // `path` is the file to write.
        kCsvWriteToPath = 1,
    };
    // Writes the list as CSV: the header row, then every row; every field in double quotes
    // with inner quotes doubled, fields separated by commas, lines ended by CR LF, text in
    // code page 932. The file is replaced atomically. On failure shows a message through
    // CMessageService and returns false; an existing file is then unchanged.
    static bool ListToCSV(const QString& path, CXListCtrl* list, int flag);
    // The CSV text ListToCSV writes, in code page 932.
    static std::string ListToCSVText(const CXListCtrl* list);
};
