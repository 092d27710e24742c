// CTools implementation.
#include "suite/tool/tools.h"

#include <QAction>
#include <QFontMetrics>
#include <QStringList>
#include <QToolBar>
#include <algorithm>

#include "suite/tool/date.h"
#include "suite/tool/strings.h"

namespace {

const char* const kWeekdayNames[] = {"日", "月", "火", "水", "木", "金", "土"};

// The tooltip (part 0) or caption (part 1) of a toolbar action's string; null when the
// action carries no command id or the id has no string.
bool CommandString(const QAction* action, int part, QString* out) {
    if (action == nullptr || action->isSeparator() || !action->data().isValid()) return false;
    bool ok = false;
    const int id = action->data().toInt(&ok);
    if (!ok) return false;
    const QString text = LoadString(id);
    if (text.isEmpty()) return false;
    const qsizetype lf = text.indexOf(u'\n');
    if (lf < 0) {
        *out = text;
    } else {
        *out = part == 0 ? text.left(lf) : text.mid(lf + 1);
    }
    return true;
}

}  // namespace

QString CTools::MakeDate(const char* yyyymmdd) {
    const QDate date = CDate::FromYmd(yyyymmdd);
    if (!date.isValid()) return QString();
    return QStringLiteral("%1/%2/%3(%4)")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(QString::fromUtf8(kWeekdayNames[date.dayOfWeek() % 7]));
}

QString CTools::NumericFormat(long long value) {
    // Work on the magnitude as unsigned so the lowest value does not overflow.
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    QString digits = QString::number(magnitude);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, u',');
    return value < 0 ? QStringLiteral("-") + digits : digits;
}

void CTools::CaclAge(const char* birth, const char* date, int* years, int* months) {
    int y = 0;
    int m = 0;
    const QDate from = CDate::FromYmd(birth);
    const QDate to = CDate::FromYmd(date);
    if (from.isValid() && to.isValid() && from <= to) {
        y = to.year() - from.year();
        m = to.month() - from.month();
        // The birthday's day in the date's month, moved to the last day when the month lacks it.
        const int dayInMonth = std::min(from.day(), to.daysInMonth());
        if (to.day() < dayInMonth) --m;
        if (m < 0) {
            --y;
            m += 12;
        }
    }
    if (years) *years = y;
    if (months) *months = m;
}

std::string CTools::LastDelimAdd(const std::string& path) {
    if (path.empty() || path.back() == '/') return path;
    return path + '/';
}

void CTools::Draw_Line(QPainter& painter, int x1, int y1, int x2, int y2, const QColor& color,
                       int width) {
    painter.save();
    painter.setPen(QPen(color, width));
    painter.drawLine(x1, y1, x2, y2);
    painter.restore();
}

void CTools::DrawRect(QPainter& painter, const QRect& rect, const QColor& pen, const QColor& fill) {
    painter.save();
    if (fill.isValid()) painter.fillRect(rect, fill);
    if (pen.isValid()) {
        painter.setPen(QPen(pen, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
    }
    painter.restore();
}

void CTools::Rect_Text(QPainter& painter, const QRect& rect, const QString& text, int flags) {
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    QString line = text;
    line.replace(u'\n', u' ').replace(u'\r', u' ');
    const QString shown = painter.fontMetrics().elidedText(line, Qt::ElideRight, rect.width());
    painter.drawText(rect, (flags & ~Qt::TextWordWrap) | Qt::TextSingleLine, shown);
    painter.restore();
}

void CTools::Rect_Text_LF(QPainter& painter, const QRect& rect, const QString& text, int flags) {
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.drawText(rect, flags | Qt::TextWordWrap, text);
    painter.restore();
}

QColor CTools::ColorFromRef(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

uint32_t CTools::RefFromColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return static_cast<uint32_t>(rgb.red()) | (static_cast<uint32_t>(rgb.green()) << 8) |
           (static_cast<uint32_t>(rgb.blue()) << 16);
}

void CTools::SetText2ToolbarOfDlg(QToolBar* toolbar) {
    if (toolbar == nullptr) return;
    for (QAction* action : toolbar->actions()) {
        QString caption;
        if (CommandString(action, 1, &caption)) action->setText(caption);
    }
}

void CTools::SetTip2ToolbarOfDlg(QToolBar* toolbar) {
    if (toolbar == nullptr) return;
    for (QAction* action : toolbar->actions()) {
        QString tip;
        if (CommandString(action, 0, &tip)) action->setToolTip(tip);
    }
}
