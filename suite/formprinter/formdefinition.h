// A form definition: where a form printer puts the title, the short texts and the table of
// a form data file on the paper. It is read from a small UTF-8 text file of our own
// (extension ".frm") in "[section]" / "key=value" lines; the file documents its keys in
// its own comments. Lengths are millimetres from the paper's top-left corner, font sizes
// points.
//
//   [Form]          Paper (A3, A4, A5, B4, B5, Letter), Orientation (Portrait, Landscape),
//                   FontFamily, Title (used when the caller gives none)
//   [Title]         a text box: Box=x,y,width,height  FontSize  Bold=0|1  Align
//   [SimpleDataN]   a text box for DataN of the page's "[SimpleData]"
//   [Table]         List (which "[ListDataN]"), X, Y, HeaderHeight, RowHeight, Rows,
//                   FontSize, HeaderFontSize, LineWidth, HeaderShade (#rrggbb) and
//                   ColumnN=title,width,field,align for the columns from left to right
#pragma once

#include <QColor>
#include <QString>
#include <string>
#include <vector>

enum class EFormAlign { Left, Center, Right };

struct FormTextBox {
    int data = 0;  // DataN shown in the box; 0 for the title
    double x = 0, y = 0, width = 0, height = 0;
    double fontSize = 10;
    bool bold = false;
    EFormAlign align = EFormAlign::Left;
};

struct FormColumn {
    QString title;
    double width = 0;
    int field = 1;  // the field of a slot shown in this column (the last two digits of DataSSFF)
    EFormAlign align = EFormAlign::Left;
};

struct FormTable {
    int list = 1;
    double x = 0, y = 0;
    double headerHeight = 6, rowHeight = 5;
    int rows = 0;
    double fontSize = 8, headerFontSize = 8;
    double lineWidth = 0.2;
    QColor headerShade = QColor(0xe6, 0xe6, 0xe6);
    std::vector<FormColumn> columns;

    double Width() const;
    double Height() const { return headerHeight + rows * rowHeight; }
};

struct FormDefinition {
    QString paper = QStringLiteral("A4");
    bool landscape = false;
    double paperWidth = 210, paperHeight = 297;  // millimetres, orientation applied
    QString fontFamily;
    QString title;
    FormTextBox titleBox;
    bool hasTitle = false;
    std::vector<FormTextBox> simpleBoxes;
    FormTable table;
    bool hasTable = false;
};

// Parses the text of a form definition. Returns false with a description (and the line)
// in `error` when a value is malformed or a box or the table does not fit on the paper.
bool ParseFormDefinition(const QString& text, FormDefinition* form, QString* error);

// Reads the UTF-8 file at `path` and parses it.
bool ReadFormDefinitionFile(const std::string& path, FormDefinition* form, QString* error);
