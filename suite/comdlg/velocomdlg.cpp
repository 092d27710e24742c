// Implementation of CVeloComDlg: each filler scans one master table in code order through
// the record access layer and hands its entries, visible and hidden, to one routine that
// fills the combo and applies the selection rule; ListToCSV builds the text and replaces
// the file atomically.
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

// One master entry: the text shown, its code for the selection, and the item data.
struct Entry {
    QString text;
    std::string code;
    QVariant data;
};

// A master table as a filler sees it: the entries it lists, the entries marked hidden (shown
// only to keep a stored code), and how to make item data for a code the table lacks.
struct Listing {
    std::vector<Entry> shown;
    std::vector<Entry> hidden;
    std::function<QVariant(const std::string& code)> dataOfCode;
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

// The extra entry that keeps `code`: the hidden entry of that code, or one made from the
// code alone when the table no longer holds it, marked as not listed.
Entry UnlistedEntry(const Listing& listing, std::string_view code) {
    for (const Entry& entry : listing.hidden) {
        if (SameCode(entry.code, code)) {
            return {QStringLiteral("（非表示）") + entry.text, entry.code, entry.data};
        }
    }
    const std::string stored(Trimmed(code));
    return {CVeloComDlg::UnlistedCodeText(QString::fromLatin1(stored)), stored,
            listing.dataOfCode(stored)};
}

// Replaces the combo's items with the listed entries and selects per the rule of the
// header. The combo's signals are held back while it is rebuilt: filling is not a user's
// choice.
int FillCombo(QComboBox* combo, const Listing& listing, const char* code,
              CVeloComDlg::EUnlisted unlisted) {
    const int count = static_cast<int>(listing.shown.size());
    if (combo == nullptr) return count;
    const QSignalBlocker blocker(combo);
    combo->clear();
    int selected = -1;
    const std::string_view wanted = code == nullptr ? std::string_view() : code;
    for (const Entry& entry : listing.shown) {
        combo->addItem(entry.text, entry.data);
        if (selected < 0 && !Trimmed(wanted).empty() && SameCode(entry.code, wanted)) {
            selected = combo->count() - 1;
        }
    }
    if (selected < 0 && Trimmed(wanted).empty() && combo->count() > 0) selected = 0;
    if (selected < 0 && !Trimmed(wanted).empty() && unlisted == CVeloComDlg::EUnlisted::kKeep) {
        const Entry kept = UnlistedEntry(listing, wanted);
        combo->addItem(kept.text, kept.data);
        selected = combo->count() - 1;
        combo->setItemData(selected, true, CVeloComDlg::kUnlistedRole);
    }
    combo->setCurrentIndex(selected);
    return count;
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

QVariant CodeText(const std::string& code) { return QVariant(QString::fromLatin1(code)); }

// Entries of one category kind: text "K C..." as item data (kind, blank, code).
Listing CategoryListing(CVeloDBSys* db, const char* kind) {
    Listing listing;
    const QString prefix = QString::fromLatin1(kind) + QLatin1Char(' ');
    listing.dataOfCode = [prefix](const std::string& code) {
        return QVariant(prefix + QString::fromLatin1(code));
    };
    CCategoryDB table;
    char start[sizeof(tagCATEGORYDB::Type) + sizeof(tagCATEGORYDB::Code)] = {};
    std::strncpy(start, kind, sizeof(tagCATEGORYDB::Type) - 1);
    Scan<CCategoryDB>(
        table, db, CCategoryDB::kKeyTypeCodeOrder, start, sizeof start,
        [&](const tagCATEGORYDB& r) {
            if (FieldText(r.Type) != kind) return false;
            const std::string code = FieldText(r.Code);
            (BeginsHidden(r.HiddenMark) ? listing.hidden : listing.shown)
                .push_back({Cp932FieldToQString(r.Name), code, listing.dataOfCode(code)});
            return true;
        });
    return listing;
}

// Adds every entry of a master laid out as code, name and mark to the listing, shown or
// hidden by `isHidden` on its mark, with the listing's item data.
template <typename Table, typename HiddenRule>
void ScanCodeNameMaster(CVeloDBSys* db, Listing* listing, HiddenRule isHidden) {
    using Record = decltype(Table::m_Data);
    Table table;
    const char start[sizeof(Record::Code)] = {};
    Scan<Table>(table, db, Table::kKeyCodeOrder, start, sizeof start, [&](const Record& r) {
        const std::string code = FieldText(r.Code);
        (isHidden(r.HiddenMark) ? listing->hidden : listing->shown)
            .push_back({Cp932FieldToQString(r.Name), code, listing->dataOfCode(code)});
        return true;
    });
}

// Staff members and reservation ways: numbers as item data, led by "not chosen", hidden
// only by a mark of exactly "__".
template <typename Table>
Listing NumberedListing(CVeloDBSys* db) {
    Listing listing;
    listing.dataOfCode = [](const std::string& code) { return QVariant(std::atoi(code.c_str())); };
    listing.shown.push_back({CVeloComDlg::NotChosenText(), "0", QVariant(0)});
    ScanCodeNameMaster<Table>(db, &listing,
                              [](const auto& mark) { return IsExactlyHidden(mark); });
    return listing;
}

// Masters whose item data is the code itself: doctors, credit categories, lab categories.
template <typename Table>
Listing CodeListing(CVeloDBSys* db) {
    Listing listing;
    listing.dataOfCode = CodeText;
    ScanCodeNameMaster<Table>(db, &listing, [](const auto& mark) { return BeginsHidden(mark); });
    return listing;
}

std::string CsvField(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return "\"" + QStringToCp932(quoted) + "\"";
}

}  // namespace

QString CVeloComDlg::NotChosenText() { return QStringLiteral("  -- 未選択 --"); }

int CVeloComDlg::EnumUnit(CVeloDBSys* db, QComboBox* combo, const char* code,
                          EUnlisted unlisted) {
    return FillCombo(combo, CategoryListing(db, kUnitKind), code, unlisted);
}

int CVeloComDlg::EnumReservationType(CVeloDBSys* db, QComboBox* combo, const char* code,
                                     EUnlisted unlisted) {
    return FillCombo(combo, CategoryListing(db, kReservationTypeKind), code, unlisted);
}

int CVeloComDlg::EnumInssuranceType(CVeloDBSys* db, QComboBox* combo, const char* code,
                                    EUnlisted unlisted) {
    return FillCombo(combo, CategoryListing(db, kInsuranceTypeKind), code, unlisted);
}

int CVeloComDlg::EnumDoctor(CVeloDBSys* db, QComboBox* combo, const char* code,
                            EUnlisted unlisted) {
    return FillCombo(combo, CodeListing<CDoctorDB>(db), code, unlisted);
}

void CVeloComDlg::EnumCreditCategory(CVeloDBSys* db, QComboBox* combo, const char* code,
                                     EUnlisted unlisted) {
    FillCombo(combo, CodeListing<CCreditCategoryDB>(db), code, unlisted);
}

void CVeloComDlg::EnumCreditItemsOf(CVeloDBSys* db, QComboBox* combo, const char* category,
                                    const char* item, EUnlisted unlisted) {
    char start[sizeof(tagCREDITITEMDB::CategoryCode) + sizeof(tagCREDITITEMDB::ItemCode)] = {};
    SetField(start, sizeof(tagCREDITITEMDB::CategoryCode), category);
    const std::string wanted(start);
    Listing listing;
    // An item the table no longer holds keeps its category and code; its price is unknown.
    listing.dataOfCode = [wanted](const std::string& code) {
        tagCREDITITEMDB record{};
        SetField(record.CategoryCode, wanted.c_str());
        SetField(record.ItemCode, code.c_str());
        return QVariant(QByteArray(reinterpret_cast<const char*>(&record), sizeof record));
    };
    // Without a category there is nothing to list: the empty category is not a category.
    if (!wanted.empty()) {
        CCreditItemDB table;
        Scan<CCreditItemDB>(
            table, db, CCreditItemDB::kKeyCategoryItemOrder, start, sizeof start,
            [&](const tagCREDITITEMDB& r) {
                if (FieldText(r.CategoryCode) != wanted) return false;
                const QByteArray record(reinterpret_cast<const char*>(&r), sizeof r);
                (BeginsHidden(r.HiddenMark) ? listing.hidden : listing.shown)
                    .push_back({Cp932FieldToQString(r.ItemName), FieldText(r.ItemCode),
                                QVariant(record)});
                return true;
            });
    }
    FillCombo(combo, listing, item, wanted.empty() ? EUnlisted::kUnselected : unlisted);
}

void CVeloComDlg::EnumStaffData(CVeloDBSys* db, QComboBox* combo, const char* code,
                                EUnlisted unlisted) {
    FillCombo(combo, NumberedListing<CStaffDB>(db), code, unlisted);
}

void CVeloComDlg::EnumReservationWay(CVeloDBSys* db, QComboBox* combo, const char* code,
                                     EUnlisted unlisted) {
    FillCombo(combo, NumberedListing<CReservationWayDB>(db), code, unlisted);
}

void CVeloComDlg::EnumMaterialItemCate(CVeloDBSys* db, QComboBox* combo, const char* code,
                                       EUnlisted unlisted) {
    FillCombo(combo, CodeListing<CMaterialItemCateDB>(db), code, unlisted);
}

QString CVeloComDlg::UnlistedCodeText(const QString& code) {
    return QStringLiteral("（非表示）コード %1").arg(code);
}

bool CVeloComDlg::IsUnlistedEntry(const QComboBox* combo, int index) {
    return combo != nullptr && index >= 0 && index < combo->count() &&
           combo->itemData(index, kUnlistedRole).toBool();
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
