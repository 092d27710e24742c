// Implementation of CVeloComDlg: each filler scans one master table in code order through
// the record access layer and hands the visible entries to one routine that fills the combo
// and applies the selection rule; ListToCSV builds the text and replaces the file atomically.
#include "suite/comdlg/velocomdlg.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QVariant>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

#include "suite/comdlg/tablehelpers.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/atomicfile.h"
#include "suite/text/cp932.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/xlistctrl.h"

namespace {

using comdlg::FieldText;

constexpr char kUnitKind[] = "1";
constexpr char kReservationTypeKind[] = "0";
constexpr char kInsuranceTypeKind[] = "2";
constexpr char kHiddenMark[] = "__";
constexpr char kFreeTableFile[] = "freetblname.dat";
constexpr int kFreeTableCount = 5;

// One visible master entry: the text shown, its code for the selection, and the item data.
struct Entry {
    QString text;
    std::string code;
    QVariant data;
};

template <size_t N>
bool BeginsHidden(const char (&field)[N]) {
    return std::strncmp(field, kHiddenMark, 2) == 0;
}

template <size_t N>
bool IsExactlyHidden(const char (&field)[N]) {
    return strnlen(field, N) == 2 && BeginsHidden(field);
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// Codes match when equal after trimming blanks, or when both are digit strings of the same
// number ("1" and "001"), since the suite writes some codes "%03d" and others as typed.
bool SameCode(std::string_view a, std::string_view b) {
    a = Trimmed(a);
    b = Trimmed(b);
    if (a == b) return true;
    if (!AllDigits(a) || !AllDigits(b)) return false;
    while (a.size() > 1 && a.front() == '0') a.remove_prefix(1);
    while (b.size() > 1 && b.front() == '0') b.remove_prefix(1);
    return a == b;
}

// Replaces the combo's items with the entries and selects per the rule of the header. The
// combo's signals are held back while it is rebuilt: filling is not a user's choice.
int FillCombo(QComboBox* combo, const std::vector<Entry>& entries, const char* code) {
    if (combo == nullptr) return static_cast<int>(entries.size());
    const QSignalBlocker blocker(combo);
    combo->clear();
    int selected = -1;
    const std::string_view wanted = code == nullptr ? std::string_view() : code;
    for (const Entry& entry : entries) {
        combo->addItem(entry.text, entry.data);
        if (selected < 0 && !Trimmed(wanted).empty() && SameCode(entry.code, wanted)) {
            selected = combo->count() - 1;
        }
    }
    if (selected < 0 && Trimmed(wanted).empty() && combo->count() > 0) selected = 0;
    combo->setCurrentIndex(selected);
    return static_cast<int>(entries.size());
}

// Opens the table in the handle's database folder (the current one without a handle).
int OpenTable(CBaseDBCall& table, CVeloDBSys* db) {
    if (db != nullptr && !db->GetDatabaseFolder().empty()) {
        return table.Open(db->GetDatabaseFolder());
    }
    return table.Open();
}

// Reads the table on `key` from the key value `start` while `visit` returns true, in one
// read transaction: the table is locked once for the list, not once per record call. Only
// the open can ask for the read to run again without a transaction (too many files held),
// and it does so before anything was visited.
template <typename Table>
void Scan(Table& table, CVeloDBSys* db, int key, const void* start, int startLength,
          const std::function<bool(const decltype(Table::m_Data)&)>& visit) {
    CBaseDBCall::ReadConsistently([&] {
        if (const int opened = OpenTable(table, db); opened != 0) return opened;
        table.SetKey(key);
        table.SetKeyBuffer(start, startLength);
        for (int status = table.GetGREQ(); status == 0 && !table.IsEOF(); status = table.GetNEXT()) {
            if (!visit(table.m_Data)) break;
        }
        table.Close();
        return 0;
    });
}

// Entries of one category kind: text "K C..." as item data (kind, blank, code).
std::vector<Entry> CategoryEntries(CVeloDBSys* db, const char* kind) {
    std::vector<Entry> entries;
    CCategoryDB table;
    char start[sizeof(tagCATEGORYDB::Type) + sizeof(tagCATEGORYDB::Code)] = {};
    std::strncpy(start, kind, sizeof(tagCATEGORYDB::Type) - 1);
    Scan<CCategoryDB>(table, db, CCategoryDB::kKeyTypeCodeOrder, start, sizeof start,
                      [&](const tagCATEGORYDB& r) {
                          if (FieldText(r.Type) != kind) return false;
                          if (BeginsHidden(r.HiddenMark)) return true;
                          const std::string code = FieldText(r.Code);
                          const QString text = QString::fromLatin1(kind) + QLatin1Char(' ') +
                                               QString::fromLatin1(code);
                          entries.push_back({Cp932FieldToQString(r.Name), code, QVariant(text)});
                          return true;
                      });
    return entries;
}

// Staff members and reservation ways share their layout of code, name and mark.
template <typename Table>
std::vector<Entry> NumberedEntries(CVeloDBSys* db) {
    std::vector<Entry> entries;
    entries.push_back({CVeloComDlg::NotChosenText(), "0", QVariant(0)});
    using Record = decltype(Table::m_Data);
    Table table;
    const char start[sizeof(Record::Code)] = {};
    Scan<Table>(table, db, Table::kKeyCodeOrder, start, sizeof start, [&](const Record& r) {
        if (IsExactlyHidden(r.HiddenMark)) return true;
        const std::string code = FieldText(r.Code);
        entries.push_back({Cp932FieldToQString(r.Name), code, QVariant(std::atoi(code.c_str()))});
        return true;
    });
    return entries;
}

std::string CsvField(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return "\"" + QStringToCp932(quoted) + "\"";
}

}  // namespace

QString CVeloComDlg::NotChosenText() { return QStringLiteral("  -- 未選択 --"); }

int CVeloComDlg::EnumUnit(CVeloDBSys* db, QComboBox* combo, const char* code) {
    return FillCombo(combo, CategoryEntries(db, kUnitKind), code);
}

int CVeloComDlg::EnumReservationType(CVeloDBSys* db, QComboBox* combo, const char* code) {
    return FillCombo(combo, CategoryEntries(db, kReservationTypeKind), code);
}

int CVeloComDlg::EnumInssuranceType(CVeloDBSys* db, QComboBox* combo, const char* code) {
    return FillCombo(combo, CategoryEntries(db, kInsuranceTypeKind), code);
}

int CVeloComDlg::EnumDoctor(CVeloDBSys* db, QComboBox* combo, const char* code) {
    std::vector<Entry> entries;
    CDoctorDB table;
    const char start[sizeof(tagDOCTORDB::Code)] = {};
    Scan<CDoctorDB>(table, db, CDoctorDB::kKeyCodeOrder, start, sizeof start,
                    [&](const tagDOCTORDB& r) {
                        if (BeginsHidden(r.HiddenMark)) return true;
                        const std::string doctor = FieldText(r.Code);
                        entries.push_back({Cp932FieldToQString(r.Name), doctor,
                                           QVariant(QString::fromLatin1(doctor))});
                        return true;
                    });
    return FillCombo(combo, entries, code);
}

void CVeloComDlg::EnumCreditCategory(CVeloDBSys* db, QComboBox* combo, const char* code) {
    std::vector<Entry> entries;
    CCreditCategoryDB table;
    const char start[sizeof(tagCREDITCATEGORYDB::Code)] = {};
    Scan<CCreditCategoryDB>(table, db, CCreditCategoryDB::kKeyCodeOrder, start, sizeof start,
                            [&](const tagCREDITCATEGORYDB& r) {
                                if (BeginsHidden(r.HiddenMark)) return true;
                                const std::string category = FieldText(r.Code);
                                entries.push_back({Cp932FieldToQString(r.Name), category,
                                                   QVariant(QString::fromLatin1(category))});
                                return true;
                            });
    FillCombo(combo, entries, code);
}

void CVeloComDlg::EnumCreditItemsOf(CVeloDBSys* db, QComboBox* combo, const char* category,
                                    const char* item) {
    std::vector<Entry> entries;
    char start[sizeof(tagCREDITITEMDB::CategoryCode) + sizeof(tagCREDITITEMDB::ItemCode)] = {};
    SetField(start, sizeof(tagCREDITITEMDB::CategoryCode), category);
    const std::string wanted(start);
    // Without a category there is nothing to list: the empty category is not a category.
    if (!wanted.empty()) {
        CCreditItemDB table;
        Scan<CCreditItemDB>(
            table, db, CCreditItemDB::kKeyCategoryItemOrder, start, sizeof start,
            [&](const tagCREDITITEMDB& r) {
                if (FieldText(r.CategoryCode) != wanted) return false;
                if (BeginsHidden(r.HiddenMark)) return true;
                const QByteArray record(reinterpret_cast<const char*>(&r), sizeof r);
                entries.push_back(
                    {Cp932FieldToQString(r.ItemName), FieldText(r.ItemCode), QVariant(record)});
                return true;
            });
    }
    FillCombo(combo, entries, item);
}

void CVeloComDlg::EnumStaffData(CVeloDBSys* db, QComboBox* combo, const char* code) {
    FillCombo(combo, NumberedEntries<CStaffDB>(db), code);
}

void CVeloComDlg::EnumReservationWay(CVeloDBSys* db, QComboBox* combo, const char* code) {
    FillCombo(combo, NumberedEntries<CReservationWayDB>(db), code);
}

void CVeloComDlg::EnumMaterialItemCate(CVeloDBSys* db, QComboBox* combo, const char* code) {
    std::vector<Entry> entries;
    CMaterialItemCateDB table;
    const char start[sizeof(tagMATERIALITEMCATEDB::Code)] = {};
    Scan<CMaterialItemCateDB>(table, db, CMaterialItemCateDB::kKeyCodeOrder, start, sizeof start,
                              [&](const tagMATERIALITEMCATEDB& r) {
                                  if (BeginsHidden(r.HiddenMark)) return true;
                                  const std::string category = FieldText(r.Code);
                                  entries.push_back({Cp932FieldToQString(r.Name), category,
                                                     QVariant(QString::fromLatin1(category))});
                                  return true;
                              });
    FillCombo(combo, entries, code);
}

void CVeloComDlg::EnumFreeTblName(CVeloDBSys* db, QStringList* names) {
    if (names == nullptr) return;
    names->clear();
    const std::string folder = db != nullptr && !db->GetDatabaseFolder().empty()
                                   ? db->GetDatabaseFolder()
                                   : CGlobalSettings::DatabaseFolder();
    QFile file(QFile::decodeName(QByteArray::fromStdString(folder + kFreeTableFile)));
    if (!folder.empty() && file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        const QList<QByteArray> lines = bytes.split('\n');
        for (int i = 0; i < lines.size() && names->size() < kFreeTableCount; ++i) {
            QByteArray line = lines[i];
            if (line.endsWith('\r')) line.chop(1);
            // A final line break does not start a sixth, empty name.
            if (i == lines.size() - 1 && line.isEmpty()) break;
            names->append(Cp932ToQString(std::string_view(line.constData(), line.size())));
        }
    }
    while (names->size() < kFreeTableCount) {
        names->append(QStringLiteral("自由テーブル%1").arg(names->size() + 1));
    }
}

std::string CVeloComDlg::ListToCSVText(const CXListCtrl* list) {
    std::string text;
    if (list == nullptr) return text;
    const int columns = list->columnCount();
    if (columns == 0) return text;
    auto appendRow = [&](const std::function<QString(int)>& cell) {
        for (int c = 0; c < columns; ++c) {
            if (c > 0) text += ',';
            text += CsvField(cell(c));
        }
        text += "\r\n";
    };
    const QTreeWidgetItem* header = list->headerItem();
    appendRow([&](int c) { return header != nullptr ? header->text(c) : QString(); });
    for (int row = 0; row < list->GetItemCount(); ++row) {
        appendRow([&](int c) { return list->GetItemText(row, c); });
    }
    return text;
}

bool CVeloComDlg::ListToCSV(const QString& path, CXListCtrl* list, int flag) {
    QWidget* parent = list != nullptr ? list->window() : nullptr;
    const QString title = QStringLiteral("CSV保存");
    if (list == nullptr) {
        CMessageService::MessageBox(parent, QStringLiteral("保存するリストがありません。"), title,
                                    CMessageService::EIcon::Warning);
        return false;
    }
    QString target = path;
    if (flag != kCsvWriteToPath) {
        QString start = path.isEmpty() ? QStringLiteral("list") : path;
        if (QFileInfo(start).suffix().isEmpty()) start += QStringLiteral(".csv");
        if (QFileInfo(start).isRelative()) start = QDir::home().filePath(start);
        target =
            CMessageService::GetSaveFileName(parent, title, start, QStringLiteral("CSV (*.csv)"));
        if (target.isEmpty()) return false;
    }
    if (target.isEmpty()) {
        CMessageService::MessageBox(parent, QStringLiteral("保存先のファイル名がありません。"),
                                    title, CMessageService::EIcon::Warning);
        return false;
    }
    std::string error;
    if (!WriteFileAtomically(QFile::encodeName(target).toStdString(), ListToCSVText(list),
                             &error)) {
        CMessageService::MessageBox(parent,
                                    QStringLiteral("CSVファイルの保存に失敗しました。\n%1\n%2")
                                        .arg(target, QString::fromLocal8Bit(error.c_str())),
                                    title, CMessageService::EIcon::Warning);
        return false;
    }
    return true;
}
