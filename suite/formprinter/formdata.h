// The form data file handed to the form printer: code page 932 text in "[section]" and
// "key=value" lines that carries, page by page, the short texts ("[SimpleData]") and the
// tables ("[ListData1]" ...) that fill a form. The layout:
//
//   [page]              pagecount=P
//   [startpage1]        opens page 1 (pages follow in order 1..P)
//   [SimpleData]        Count=N, Data1=... DataN=...
//   [ListData]          ListCount=L
//   [ListData1]         RowCount=..., ColumnCount=..., DataSSFF=text
//   [endpage1]          closes page 1
//
// A table cell key is "Data" and four digits: the first two number the slot (the printed
// line, from 01), the last two the field within it (from 01). The declared RowCount and
// ColumnCount are kept as written; writers of this format put the number of fields in
// RowCount and the number of slots in ColumnCount, so the cells themselves decide the grid.
#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

struct FormList {
    int rowCount = 0;                         // as declared by "RowCount"
    int columnCount = 0;                      // as declared by "ColumnCount"
    std::vector<std::vector<QString>> cells;  // [slot - 1][field - 1]

    // The text of a cell, "" when the file has none.
    QString Cell(int slot, int field) const;
    int SlotCount() const { return static_cast<int>(cells.size()); }
};

struct FormPage {
    int number = 0;
    std::vector<QString> simpleData;  // Data1 at index 0
    std::vector<FormList> lists;      // [ListData1] at index 0

    // DataN of "[SimpleData]" (from 1), "" when absent.
    QString SimpleData(int n) const;
    // [ListDataN] (from 1), null when absent.
    const FormList* List(int n) const;
};

struct FormData {
    int pageCount = 0;
    std::vector<FormPage> pages;  // pages[0] is page 1; size() == pageCount
};

// Parses the bytes of a form data file (code page 932). Returns false with a description
// in `error` when the structure is broken: no "[page]" section or no positive pagecount,
// pages out of order or not closed, fewer or more pages than pagecount, a line that is not
// a section or key=value. Unknown sections and keys are ignored. `data` is reset first.
bool ParseFormData(std::string_view bytes, FormData* data, QString* error);

// Reads and parses the file at `path` (a native path). False with `error` when the file
// cannot be read or does not parse.
bool ReadFormDataFile(const std::string& path, FormData* data, QString* error);

// Reads a whole file into `bytes`; false with a reason in `error`. Files over 64 MiB are
// refused, since no form needs one.
bool ReadSmallFile(const std::string& path, std::string* bytes, QString* error);
