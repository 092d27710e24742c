// The display-item catalogue, the reading and writing of the two item files and the
// building of balloon and bar texts from a reservation's item values.
#include "sheet/displayitems.h"

#include <bit>
#include <cstring>
#include <fstream>
#include <iterator>

#include "suite/text/atomicfile.h"
#include "suite/text/cp932.h"
#include "suite/text/suitefolders.h"

namespace velo::sheet {

// The files are little-endian and are read by copying whole records.
static_assert(std::endian::native == std::endian::little);

namespace {

struct CatalogueEntry {
    const char* name;   // shown in the selection dialog
    const char* label;  // starts a balloon line: the name padded to 13 bytes and "："
    bool balloon;       // default check in the balloon list
    bool bar;           // default check in the bar list
};

const CatalogueEntry kCatalogue[kDisplayItemCount] = {
    {"患者ＩＤ、氏名", "氏名　　　　 ：", true, true},
    {"予約時間", "予約時間　　 ：", true, false},
    {"担当医", "担当医　　　 ：", true, false},
    {"ユニット", "ユニット　　 ：", true, false},
    {"予約種類", "予約種類　　 ：", true, true},
    {"回収料金", "回収料金　　 ：", true, false},
    {"技工物予定", "技工物予定　 ：", true, false},
    {"処置", "処置　　　　 ：", true, true},
    {"生年月日", "生年月日　　 ：", false, false},
    {"初診日", "初診日　　　 ：", false, false},
    {"治療状態", "治療状態　　 ：", false, false},
    {"紹介医", "紹介医　　　 ：", false, false},
    {"かかりつけ医", "かかりつけ医 ：", false, false},
    {"住所", "住所　　　　 ：", false, false},
    {"電話", "電話　　　　 ：", false, false},
    {"メール", "メール　　　 ：", false, false},
    {"勤務先・学校", "勤務先・学校 ：", false, false},
    {"患者特性", "患者特性　　 ：", false, false},
    {"国民健康保険", "国民健康保険 ：", false, false},
    {"コメント情報", "コメント情報 ：", false, false},
    {"保護者氏名", "保護者氏名　 ：", false, false},
    {"保護者職業", "保護者職業　 ：", false, false},
    {"予約入力者", "予約入力者　 ：", false, false},
    {"予約受付日", "予約受付日　 ：", false, false},
    {"予約方法", "予約方法　　 ：", false, false},
    {"自由テーブル1", "自由テーブル1", false, false},
    {"自由テーブル2", "自由テーブル2", false, false},
    {"自由テーブル3", "自由テーブル3", false, false},
    {"自由テーブル4", "自由テーブル4", false, false},
    {"自由テーブル5", "自由テーブル5", false, false},
};

constexpr size_t kLabelBytes = 13;
const char kKanaMark[] = "$KANA";

bool ValidIndex(int index) { return index >= 0 && index < kDisplayItemCount; }

// Step one of both texts: the "$KANA" split of a name value.
QString ApplyKana(const QString& value, bool kana) {
    const qsizetype at = value.indexOf(QLatin1String(kKanaMark));
    if (at < 0) return value;
    const QString name = value.left(at);
    const QString reading = value.mid(at + qsizetype(std::strlen(kKanaMark)));
    if (kana && !reading.isEmpty())
        return name + QStringLiteral("(") + reading + QStringLiteral(")");
    return name;
}

QString RemoveTrailingLineFeeds(QString text) {
    while (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    return text;
}

}  // namespace

const char* DisplayItemLabel(int index) { return ValidIndex(index) ? kCatalogue[index].label : ""; }

const char* DisplayItemName(int index) { return ValidIndex(index) ? kCatalogue[index].name : ""; }

bool IsFreeTableItem(int index) {
    return index >= kFirstFreeTableItem && index < kFirstFreeTableItem + kFreeTableItemCount;
}

bool DisplayItemDefaultShown(int mode, int index) {
    if (!ValidIndex(index)) return false;
    return mode == kBarItems ? kCatalogue[index].bar : kCatalogue[index].balloon;
}

DisplayItemTable DefaultDisplayItems(int mode) {
    DisplayItemTable table;
    table.items.reserve(kDisplayItemCount);
    for (int i = 0; i < kDisplayItemCount; ++i)
        table.items.push_back({i, DisplayItemDefaultShown(mode, i)});
    return table;
}

const char* DisplayItemFileName(int mode) {
    return mode == kBarItems ? "TimeBarItem.conf" : "resitem.conf";
}

std::string DisplayItemFilePath(int mode) {
    return suitefolders::WorkstationFolder() + DisplayItemFileName(mode);
}

int ReadDisplayItemFile(const std::string& path, DisplayItemTable* out) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return 12;
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (file.bad()) return 12;

    DisplayItemTable table;
    bool seen[kDisplayItemCount] = {};
    const size_t entries = bytes.size() / sizeof(DisplayItemRecord);
    for (size_t i = 0; i < entries && table.items.size() < size_t(kDisplayItemCount); ++i) {
        DisplayItemRecord record;
        std::memcpy(&record, bytes.data() + i * sizeof(DisplayItemRecord), sizeof record);
        // An index outside the catalogue would address a value that does not exist, and a
        // repeat would show the same detail twice; neither can come from the dialog.
        if (!ValidIndex(record.index) || seen[record.index]) continue;
        seen[record.index] = true;
        table.items.push_back({record.index, record.shown != 0});
    }
    if (table.items.empty()) return 2;
    if (out != nullptr) *out = std::move(table);
    return 0;
}

bool WriteDisplayItemFile(const std::string& path, const DisplayItemTable& table,
                          std::string* error) {
    std::string bytes;
    bytes.reserve(table.items.size() * sizeof(DisplayItemRecord));
    for (const DisplayItem& item : table.items) {
        if (!ValidIndex(item.index)) continue;
        DisplayItemRecord record{};
        record.index = item.index;
        record.shown = item.shown ? 1 : 0;
        bytes.append(reinterpret_cast<const char*>(&record), sizeof record);
    }
    return WriteFileAtomically(path, bytes, error);
}

DisplayItemTable LoadDisplayItems(int mode, const std::string& path) {
    DisplayItemTable table;
    if (ReadDisplayItemFile(path, &table) != 0) return DefaultDisplayItems(mode);
    return table;
}

DisplayItemTable LoadBalloonItems() {
    return LoadDisplayItems(kBalloonItems, DisplayItemFilePath(kBalloonItems));
}

DisplayItemTable LoadBarItems() {
    return LoadDisplayItems(kBarItems, DisplayItemFilePath(kBarItems));
}

DisplayItemTable CompleteDisplayItems(int mode, const DisplayItemTable& fromFile) {
    DisplayItemTable rows;
    bool seen[kDisplayItemCount] = {};
    for (const DisplayItem& item : fromFile.items) {
        if (!ValidIndex(item.index) || seen[item.index]) continue;
        seen[item.index] = true;
        rows.items.push_back(item);
    }
    for (int i = 0; i < kDisplayItemCount; ++i) {
        if (!seen[i]) rows.items.push_back({i, DisplayItemDefaultShown(mode, i)});
    }
    return rows;
}

QString DisplayItemTitle(int index, const QStringList& freeTableNames) {
    if (IsFreeTableItem(index)) {
        const int table = index - kFirstFreeTableItem;
        if (table < freeTableNames.size() && !freeTableNames[table].isEmpty())
            return freeTableNames[table];
    }
    return QString::fromUtf8(DisplayItemName(index));
}

QString FreeTableBalloonLabel(const QString& name) {
    const std::string bytes = QStringToCp932(name);
    size_t cut = 0;
    while (cut < bytes.size()) {
        const size_t width = IsCp932LeadByte(static_cast<unsigned char>(bytes[cut])) ? 2 : 1;
        if (cut + width > kLabelBytes) break;
        cut += width;
    }
    std::string label = bytes.substr(0, cut);
    label.append(kLabelBytes - cut, ' ');
    return Cp932ToQString(label) + QStringLiteral("：");
}

QString BalloonText(const QString values[kDisplayItemCount], const DisplayItemTable& table,
                    bool tipKana, const QStringList& freeTableNames) {
    QString text;
    for (const DisplayItem& item : table.items) {
        if (!item.shown || !ValidIndex(item.index) || values[item.index].isEmpty()) continue;
        QString label;
        if (IsFreeTableItem(item.index)) {
            const int tableNo = item.index - kFirstFreeTableItem;
            const QString name =
                tableNo < freeTableNames.size() && !freeTableNames[tableNo].isEmpty()
                    ? freeTableNames[tableNo]
                    : QString::fromUtf8(DisplayItemName(item.index));
            label = FreeTableBalloonLabel(name);
        } else {
            label = QString::fromUtf8(DisplayItemLabel(item.index));
        }
        text += label + ApplyKana(values[item.index], tipKana) + QLatin1Char('\n');
    }
    return RemoveTrailingLineFeeds(text);
}

QString BarText(const QString values[kDisplayItemCount], const DisplayItemTable& table,
                bool timeKana) {
    QString text;
    for (const DisplayItem& item : table.items) {
        if (!item.shown || !ValidIndex(item.index) || values[item.index].isEmpty()) continue;
        text += ApplyKana(values[item.index], timeKana) + QLatin1Char('\n');
    }
    return RemoveTrailingLineFeeds(text);
}

}  // namespace velo::sheet
