// CTools: the suite's small formatting and drawing helpers - display dates, amounts with
// thousands separators, ages, folder paths, colour references, clipped text on a QPainter -
// and the labelling of toolbars from the string table.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>
#include <QString>
#include <cstdint>
#include <string>

class QToolBar;

class CTools {
public:
    // "2026/12/07(月)" for "20261207"; "" for a text that is not a date.
    static QString MakeDate(const char* yyyymmdd);
    // "1,234,567"; negatives "-1,234".
    static QString NumericFormat(long long value);
    // Full years and months from the birth date to the date. A birthday on a day the month
    // lacks (29 February, the 31st) counts as reached on the month's last day. A birth
    // after the date, or an invalid date, gives 0 years 0 months.
    static void CaclAge(const char* birth, const char* date, int* years, int* months);
    // The path with a trailing "/" added when missing; "" stays "".
    static std::string LastDelimAdd(const std::string& path);

    static void Draw_Line(QPainter& painter, int x1, int y1, int x2, int y2, const QColor& color,
                          int width = 1);
    // A rectangle with a one-pixel outline in `pen` (none when invalid) filled with `fill`
    // (none when invalid).
    static void DrawRect(QPainter& painter, const QRect& rect, const QColor& pen,
                         const QColor& fill);
    // One line of text clipped to the rectangle and elided with "…" when too long; `flags`
    // are Qt::AlignmentFlag values.
    static void Rect_Text(QPainter& painter, const QRect& rect, const QString& text, int flags);
    // Word-wrapped text clipped to the rectangle.
    static void Rect_Text_LF(QPainter& painter, const QRect& rect, const QString& text, int flags);

    // Windows colour reference 0x00BBGGRR to QColor and back.
    static QColor ColorFromRef(uint32_t bgr);
    static uint32_t RefFromColor(const QColor& color);

    // For each action of the toolbar whose data() holds a command id, the string of that id
    // is "tooltip\ncaption": set the caption (the action's text) resp. the tooltip. Actions
    // without data or without a string keep their texts.
    static void SetText2ToolbarOfDlg(QToolBar* toolbar);
    static void SetTip2ToolbarOfDlg(QToolBar* toolbar);
};
