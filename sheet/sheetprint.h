// Printing of the appointment sheet: the shown day or week on one A4 page, either as the
// reservation sheet (the grid with its bars, a title and a footer) or as the reservation
// book (the same ruled grid without bars, for writing on by hand). The views draw the grid
// with the routine that paints the screen; this unit sizes, scales and frames the page,
// runs the print dialog, and can print straight to a PDF file.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>

#include "sheet/timegrid.h"

class QPrinter;
class QWidget;

namespace velo::sheet {

class CSheetGridView;

enum class PrintVariant { Sheet = 0, Book = 1 };

// Where the grid sits on the page before scaling: right of and below the page's corner, with
// the title in the strip above it.
constexpr int kPrintShiftX = 40;
constexpr int kPrintShiftY = 20;
// The footer's second line lies this far below the first.
constexpr int kPrintLineStep = 20;

// What one printed page holds, in screen pixels before scaling.
struct SheetPage {
    QSize extent;         // the area the page must hold: grid, shift and footer
    QSize grid;           // the whole grid, drawn at (kPrintShiftX, kPrintShiftY)
    bool landscape = false;
    QString title;
    QStringList footer;   // the count line and, on a day sheet, the printing-time line
};

// The page's extent from the grid's scroll maxima: the day grid is 40 wider and 140 higher,
// and 100 higher again when it is more than four times as high as wide; the week grid is
// 40 wider and 60 higher.
QSize DayPrintExtent(const ScrollRanges& full);
QSize WeekPrintExtent(const ScrollRanges& full);
// A week grid at least as wide as high prints across the page; a day always upright.
bool WeekPrintsLandscape(const ScrollRanges& full);
// The factor that fits `extent` into `page` (device pixels) on both axes.
double PrintScale(const QSizeF& page, const QSize& extent);

// "2024年 3月 5日(火)の予約" and "2024年03月03日 ～ 2024年03月09日の予約".
QString DayPrintTitle(const QDate& day);
QString WeekPrintTitle(const QDate& weekStart);
// The footer lines: none for the book; the count line; on a day sheet with printDataMust
// non-zero, also the time of printing.
QStringList DayPrintFooter(PrintVariant variant, int count, int printDataMust,
                           const QDateTime& printedAt);
QStringList WeekPrintFooter(PrintVariant variant, int count);

// The page a view prints now (a day or a week view; an empty page for anything else).
SheetPage DescribeSheetPage(CSheetGridView* view, PrintVariant variant,
                            const QDateTime& printedAt = QDateTime::currentDateTime());

// Prints the view through the print dialog (page 1 of 1, no print-to-file, no selection,
// collated copies), on A4 in the view's orientation. `printer` lets a caller supply the
// device (a test's PDF file); nullptr uses the system's default printer. False when the
// dialog was cancelled or the page could not be printed; nothing is printed then.
bool PrintSheetView(CSheetGridView* view, PrintVariant variant, QWidget* parent,
                    QPrinter* printer = nullptr);

// Prints the view to an A4 PDF file without a dialog. False with *error set when the file
// cannot be written.
bool PrintSheetViewToPdf(CSheetGridView* view, PrintVariant variant, const QString& path,
                         QString* error = nullptr);

}  // namespace velo::sheet
