// Display items of the appointment sheet: the fixed catalogue of 30 details a reservation
// can show, the two small binary files in the program folder that choose which of them
// appear (and in which order) in the balloon and on the bar, and the building of the
// balloon and bar texts from a bar's item values. Links Qt Core only; the selection
// dialog lives in displayitemdlg.h.
#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velo::sheet {

constexpr int kDisplayItemCount = 30;

// Which of the two lists: the hover balloon or the bar text.
constexpr int kBalloonItems = 0;
constexpr int kBarItems = 1;

// Catalogue indices the code refers to by name.
constexpr int kItemName = 0;
constexpr int kItemTreatment = 7;
constexpr int kFirstFreeTableItem = 25;  // 25..29: the five free tables
constexpr int kFreeTableItemCount = 5;

struct DisplayItem {
    int index;  // into the item catalogue, 0..kDisplayItemCount-1
    bool shown;
};

struct DisplayItemTable {
    std::vector<DisplayItem> items;  // in display order
};

// One entry of resitem.conf / TimeBarItem.conf; the files are a plain sequence of these.
//
// OFFSET SIZE FIELD   MEANING
//      0    4 index   catalogue index 0..29, little-endian
//      4    1 shown   1 shown, 0 hidden
//      5    3 zero    always zero
#pragma pack(push, 1)
struct DisplayItemRecord {
    int32_t index;
    uint8_t shown;
    uint8_t zero[3];
};
#pragma pack(pop)
static_assert(offsetof(DisplayItemRecord, index) == 0);
static_assert(offsetof(DisplayItemRecord, shown) == 4);
static_assert(offsetof(DisplayItemRecord, zero) == 5);
static_assert(sizeof(DisplayItemRecord) == 8);

// The balloon label of an item: its name padded to 13 bytes of code page 932 and "：",
// e.g. "氏名　　　　 ：". The free-table items give "自由テーブル1" .. "自由テーブル5"
// (BalloonText replaces them by the tables' own names). "" outside 0..29.
const char* DisplayItemLabel(int index);
// The catalogue name shown in the selection dialog, e.g. "患者ＩＤ、氏名". "" outside 0..29.
const char* DisplayItemName(int index);
// True for the five free-table items.
bool IsFreeTableItem(int index);
// The default check of an item in the balloon (mode 0) or bar (mode 1) list.
bool DisplayItemDefaultShown(int mode, int index);
// The 30 items in index order with the mode's default checks.
DisplayItemTable DefaultDisplayItems(int mode);

// The file of a mode: "resitem.conf" (balloon) or "TimeBarItem.conf" (bar).
const char* DisplayItemFileName(int mode);
// The workstation's folder (the program folder in the build tree, the user's configuration
// folder of the suite in an installed one) + file name.
std::string DisplayItemFilePath(int mode);

// Reads a display-item file into `out`, in file order: at most 30 entries; a trailing
// partial entry, entries whose index is not 0..29 and repeats of an index already read are
// left out. Returns 0, or 12 when the file cannot be opened and 2 when it holds no usable
// entry; on failure `out` is left unchanged.
int ReadDisplayItemFile(const std::string& path, DisplayItemTable* out);
// Writes one entry per item, in order, replacing the file atomically. Items with an index
// outside 0..29 are not written. False (file unchanged, reason in `error`) on failure.
bool WriteDisplayItemFile(const std::string& path, const DisplayItemTable& table,
                          std::string* error);

// The table the views use: the file's entries, or the mode's defaults when the file is
// missing or holds no usable entry.
DisplayItemTable LoadDisplayItems(int mode, const std::string& path);
DisplayItemTable LoadBalloonItems();  // resitem.conf of the workstation's folder
DisplayItemTable LoadBarItems();      // TimeBarItem.conf of the workstation's folder

// The rows of the selection dialog: the given entries first, then every catalogue item
// they do not name, in index order, with the mode's default checks.
DisplayItemTable CompleteDisplayItems(int mode, const DisplayItemTable& fromFile);

// The name shown for an item in the dialog: the catalogue name, except that a free-table
// item takes its table's name from `freeTableNames` (in order) when that name is not empty.
QString DisplayItemTitle(int index, const QStringList& freeTableNames);

// The free-table part of a balloon line: `name` cut to 13 bytes of code page 932 (12 when
// the 13th byte would split a double-byte character), padded with blanks to 13 bytes and
// followed by "：".
QString FreeTableBalloonLabel(const QString& name);

// The balloon text: for each shown item in table order whose value is not empty, the label
// and the value on one line. A value holding "$KANA" is the name before it, followed by
// "(" kana ")" when `tipKana` is set and the kana is not empty. Free-table items are
// labelled by FreeTableBalloonLabel of their table's name (the catalogue name when the
// list has no name for it). Trailing line feeds are removed.
QString BalloonText(const QString values[kDisplayItemCount], const DisplayItemTable& table,
                    bool tipKana, const QStringList& freeTableNames);
// The bar text: the values alone, one per line, with the same rules and `timeKana`.
QString BarText(const QString values[kDisplayItemCount], const DisplayItemTable& table,
                bool timeKana);

}  // namespace velo::sheet
