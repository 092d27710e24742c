// Printing of the day and week grids: the page's extent and scale, its title and footer,
// the print dialog, and a dialog-free path to a PDF file.
#include "sheet/sheetprint.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <memory>

#include "sheet/daysheetview.h"
#include "sheet/sheetsettings.h"
#include "sheet/sheetstrings.h"
#include "sheet/weeksheetview.h"
#include "suite/text/atomicfile.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/strings.h"

namespace velo::sheet {
namespace {

// Room below the day grid for its two footer lines; a very tall, narrow grid gets more so
// the scaled-down footer stays readable.
constexpr int kDayExtraWidth = 40;
constexpr int kDayExtraHeight = 140;
constexpr int kTallGridExtraHeight = 100;
constexpr int kWeekExtraWidth = 40;
constexpr int kWeekExtraHeight = 60;
// The footer starts this far below the grid's drawn area.
constexpr int kFooterGap = 5;
constexpr int kFooterLineHeight = 18;
// A PDF page keeps the margins a printer's unprintable edge would give.
constexpr double kPdfMarginMm = 8.0;
constexpr int kPdfResolution = 300;

QSize GridSize(const ScrollRanges& full) {
    return QSize(full.horizontal.max, full.vertical.max);
}

void PaintGrid(CSheetGridView* view, QPainter* painter, bool withBars) {
    if (auto* day = dynamic_cast<CDaySheetView*>(view)) {
        day->PaintForPrint(painter, withBars);
    } else if (auto* week = dynamic_cast<CWeekSheetView*>(view)) {
        week->PaintForPrint(painter, withBars);
    }
}

// Draws one page: the title in the strip above the grid, the grid shifted right and down,
// and the footer lines under it, all scaled to fit the device's page.
void DrawSheetPage(QPainter* painter, CSheetGridView* view, const SheetPage& page,
                   PrintVariant variant) {
    const QPaintDevice* device = painter->device();
    const double scale = PrintScale(QSizeF(device->width(), device->height()), page.extent);
    painter->save();
    painter->setBackgroundMode(Qt::TransparentMode);
    painter->scale(scale, scale);

    QFont titleFont = view->font();
    titleFont.setBold(true);
    titleFont.setPixelSize(14);
    painter->setFont(titleFont);
    painter->setPen(Qt::black);
    painter->drawText(QRect(kPrintShiftX, 0, page.grid.width(), kPrintShiftY),
                      Qt::AlignLeft | Qt::AlignVCenter, page.title);

    painter->save();
    painter->translate(kPrintShiftX, kPrintShiftY);
    painter->setClipRect(QRect(QPoint(0, 0), page.grid));
    PaintGrid(view, painter, variant == PrintVariant::Sheet);
    painter->restore();

    QFont footerFont = view->font();
    footerFont.setPixelSize(13);
    painter->setFont(footerFont);
    painter->setPen(Qt::black);
    int y = kPrintShiftY + page.grid.height() + kFooterGap;
    for (const QString& line : page.footer) {
        painter->drawText(QRect(kPrintShiftX, y, page.grid.width(), kFooterLineHeight),
                          Qt::AlignLeft | Qt::AlignVCenter, line);
        y += kPrintLineStep;
    }
    painter->restore();
}

void PresetPaper(QPrinter* printer, bool landscape) {
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

// Prints the page and its further copies (those the printer does not make itself) on an
// accepted printer. A page that fails aborts the whole document.
bool PrintOnPrinter(QPrinter* printer, CSheetGridView* view, const SheetPage& page,
                    PrintVariant variant) {
    printer->setDocName(LoadString(kIdsPrintTitle));
    QPainter painter;
    if (!painter.begin(printer)) return false;
    const int copies = printer->supportsMultipleCopies() ? 1 : std::max(1, printer->copyCount());
    for (int copy = 0; copy < copies; ++copy) {
        if (copy > 0 && !printer->newPage()) {
            printer->abort();
            painter.end();
            return false;
        }
        DrawSheetPage(&painter, view, page, variant);
    }
    return painter.end();
}

}  // namespace

QSize DayPrintExtent(const ScrollRanges& full) {
    const int width = full.horizontal.max + kDayExtraWidth;
    int height = full.vertical.max + kDayExtraHeight;
    if (height > 4 * width) height += kTallGridExtraHeight;
    return QSize(width, height);
}

QSize WeekPrintExtent(const ScrollRanges& full) {
    return QSize(full.horizontal.max + kWeekExtraWidth, full.vertical.max + kWeekExtraHeight);
}

bool WeekPrintsLandscape(const ScrollRanges& full) {
    return full.vertical.max <= full.horizontal.max;
}

double PrintScale(const QSizeF& page, const QSize& extent) {
    if (extent.width() <= 0 || extent.height() <= 0) return 1.0;
    return std::min(page.width() / extent.width(), page.height() / extent.height());
}

QString DayPrintTitle(const QDate& day) {
    RegisterSheetStrings();
    const QStringList names = LoadString(kIdsWeekdayNames).split(u' ', Qt::SkipEmptyParts);
    const int weekday = day.dayOfWeek() % 7;  // Sunday 0
    const QString name = weekday >= 0 && weekday < names.size() ? names[weekday] : QString();
    return QString::asprintf("%d年%2d月%2d日(", day.year(), day.month(), day.day()) + name +
           QStringLiteral(")") + LoadString(kIdsPrintTitle);
}

QString WeekPrintTitle(const QDate& weekStart) {
    RegisterSheetStrings();
    const QString format = QStringLiteral("yyyy年MM月dd日");
    return QStringLiteral("%1 ～ %2%3")
        .arg(weekStart.toString(format), weekStart.addDays(6).toString(format),
             LoadString(kIdsPrintTitle));
}

QStringList DayPrintFooter(PrintVariant variant, int count, int printDataMust,
                           const QDateTime& printedAt) {
    if (variant == PrintVariant::Book) return {};
    RegisterSheetStrings();
    QStringList lines{LoadString(kIdsPrintCount) + QStringLiteral("%1件").arg(count)};
    if (printDataMust != 0) {
        const QDate d = printedAt.date();
        const QTime t = printedAt.time();
        lines << QString::asprintf("印刷日時：%04d年%02d月%02d日%02d時%02d分", d.year(), d.month(),
                                   d.day(), t.hour(), t.minute());
    }
    return lines;
}

QStringList WeekPrintFooter(PrintVariant variant, int count) {
    if (variant == PrintVariant::Book) return {};
    RegisterSheetStrings();
    return {LoadString(kIdsPrintCount) + QStringLiteral(" %1件").arg(count)};
}

SheetPage DescribeSheetPage(CSheetGridView* view, PrintVariant variant,
                            const QDateTime& printedAt) {
    SheetPage page;
    if (auto* day = dynamic_cast<CDaySheetView*>(view)) {
        const ScrollRanges full = day->FullScrollRanges();
        page.grid = GridSize(full);
        page.extent = DayPrintExtent(full);
        page.landscape = false;
        page.title = DayPrintTitle(CDate::FromYmd(day->Date().c_str()));
        page.footer = DayPrintFooter(variant, day->Data().count,
                                     ReadSheetSettings().printDataMust, printedAt);
    } else if (auto* week = dynamic_cast<CWeekSheetView*>(view)) {
        const ScrollRanges full = week->FullScrollRanges();
        page.grid = GridSize(full);
        page.extent = WeekPrintExtent(full);
        page.landscape = WeekPrintsLandscape(full);
        page.title = WeekPrintTitle(CDate::FromYmd(week->WeekStart().c_str()));
        page.footer = WeekPrintFooter(variant, week->WeekCount());
    }
    return page;
}

bool PrintSheetView(CSheetGridView* view, PrintVariant variant, QWidget* parent,
                    QPrinter* printer) {
    const SheetPage page = DescribeSheetPage(view, variant);
    if (page.extent.isEmpty()) return false;
    std::unique_ptr<QPrinter> own;
    if (printer == nullptr) {
        own = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer = own.get();
    }
    // Paper and orientation are preset only where there is a printer to take them: the
    // system's default one, or a file the caller chose.
    if (!QPrinterInfo::defaultPrinter().isNull() || !printer->outputFileName().isEmpty()) {
        PresetPaper(printer, page.landscape);
    }
    printer->setFromTo(1, 1);
    printer->setCollateCopies(true);

    QPrintDialog dialog(printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, true);
    dialog.setMinMax(1, 1);
    dialog.setFromTo(1, 1);
    if (!CMessageService::ExecPrintDialog(&dialog)) return false;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool printed = PrintOnPrinter(printer, view, page, variant);
    QApplication::restoreOverrideCursor();
    return printed;
}

bool PrintSheetViewToPdf(CSheetGridView* view, PrintVariant variant, const QString& path,
                         QString* error) {
    const SheetPage page = DescribeSheetPage(view, variant);
    if (page.extent.isEmpty()) {
        if (error) *error = QStringLiteral("印刷できる予約シートが表示されていません。");
        return false;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    bool drawn = false;
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kPdfResolution);
        writer.setTitle(LoadString(kIdsPrintTitle));
        writer.setPageLayout(QPageLayout(
            QPageSize(QPageSize::A4),
            page.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
            QMarginsF(kPdfMarginMm, kPdfMarginMm, kPdfMarginMm, kPdfMarginMm),
            QPageLayout::Millimeter));
        QPainter painter;
        if (painter.begin(&writer)) {
            DrawSheetPage(&painter, view, page, variant);
            drawn = painter.end();
        }
    }
    QApplication::restoreOverrideCursor();
    if (!drawn) {
        if (error) *error = QStringLiteral("PDFを作成できません。");
        return false;
    }
    std::string why;
    // Written whole or not at all, so an earlier copy of the file is never left half-done.
    if (!WriteFileAtomically(QFile::encodeName(path).toStdString(),
                             std::string_view(buffer.data().constData(), size_t(buffer.size())),
                             &why)) {
        if (error) {
            *error = QStringLiteral("PDFファイルを書き込めません：%1 (%2)")
                         .arg(path, QString::fromStdString(why));
        }
        return false;
    }
    return true;
}

}  // namespace velo::sheet
