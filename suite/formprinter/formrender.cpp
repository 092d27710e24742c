// Painting of a form page.
#include "suite/formprinter/formrender.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kMmPerPoint = 25.4 / 72.0;
constexpr double kCellPaddingMm = 0.8;

class CPageMapper {
public:
    CPageMapper(const QPaintDevice& device, const FormDefinition& form)
        : m_scale(std::min(device.width() / form.paperWidth, device.height() / form.paperHeight)) {}

    double Length(double mm) const { return mm * m_scale; }
    QRectF Rect(double x, double y, double w, double h) const {
        return QRectF(Length(x), Length(y), Length(w), Length(h));
    }
    QFont Font(const FormDefinition& form, double points, bool bold) const {
        QFont font(form.fontFamily.isEmpty() ? QStringLiteral("IPAGothic") : form.fontFamily);
        font.setStyleHint(QFont::SansSerif);
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(Length(points * kMmPerPoint)))));
        font.setBold(bold);
        return font;
    }

private:
    double m_scale;
};

Qt::Alignment ToQt(EFormAlign align) {
    switch (align) {
        case EFormAlign::Left:
            return Qt::AlignLeft;
        case EFormAlign::Center:
            return Qt::AlignHCenter;
        case EFormAlign::Right:
            return Qt::AlignRight;
    }
    return Qt::AlignLeft;
}

// One line of text inside `rect`, vertically centred, cut with an ellipsis when too wide.
void DrawClippedText(QPainter& painter, const QRectF& rect, const QString& text, EFormAlign align) {
    if (text.isEmpty() || rect.width() <= 0) return;
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QFontMetricsF metrics(painter.font(), painter.device());
    const QString shown = metrics.elidedText(line, Qt::ElideRight, rect.width());
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.drawText(rect, ToQt(align) | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    painter.restore();
}

void DrawBox(QPainter& painter, const CPageMapper& map, const FormDefinition& form,
             const FormTextBox& box, const QString& text) {
    painter.setFont(map.Font(form, box.fontSize, box.bold));
    DrawClippedText(painter, map.Rect(box.x, box.y, box.width, box.height), text, box.align);
}

void DrawTable(QPainter& painter, const CPageMapper& map, const FormDefinition& form,
               const FormPage& page) {
    const FormTable& t = form.table;
    const FormList* list = page.List(t.list);
    const double width = t.Width();
    const double pad = kCellPaddingMm;

    painter.fillRect(map.Rect(t.x, t.y, width, t.headerHeight), t.headerShade);
    painter.setFont(map.Font(form, t.headerFontSize, true));
    double x = t.x;
    for (const FormColumn& c : t.columns) {
        DrawClippedText(painter, map.Rect(x + pad, t.y, c.width - 2 * pad, t.headerHeight), c.title,
                        EFormAlign::Center);
        x += c.width;
    }

    painter.setFont(map.Font(form, t.fontSize, false));
    for (int r = 0; r < t.rows && list; ++r) {
        const double y = t.y + t.headerHeight + r * t.rowHeight;
        x = t.x;
        for (const FormColumn& c : t.columns) {
            DrawClippedText(painter, map.Rect(x + pad, y, c.width - 2 * pad, t.rowHeight),
                            list->Cell(r + 1, c.field), c.align);
            x += c.width;
        }
    }

    QPen pen(Qt::black);
    pen.setWidthF(std::max(1.0, map.Length(t.lineWidth)));
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double bottom = t.y + t.Height();
    painter.drawRect(map.Rect(t.x, t.y, width, t.Height()));
    for (int r = 0; r <= t.rows; ++r) {
        const double y = t.y + t.headerHeight + r * t.rowHeight;
        painter.drawLine(QPointF(map.Length(t.x), map.Length(y)),
                         QPointF(map.Length(t.x + width), map.Length(y)));
    }
    x = t.x;
    for (size_t i = 0; i + 1 < t.columns.size(); ++i) {
        x += t.columns[i].width;
        painter.drawLine(QPointF(map.Length(x), map.Length(t.y)),
                         QPointF(map.Length(x), map.Length(bottom)));
    }
}

}  // namespace

bool RenderForm(QPainter& painter, const FormDefinition& form, const FormData& data, int page,
                const QString& title) {
    if (!painter.isActive() || !painter.device()) return false;
    if (page < 1 || page > static_cast<int>(data.pages.size())) return false;
    const FormPage& p = data.pages[page - 1];
    const CPageMapper map(*painter.device(), form);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setPen(Qt::black);
    if (form.hasTitle)
        DrawBox(painter, map, form, form.titleBox, title.isEmpty() ? form.title : title);
    for (const FormTextBox& box : form.simpleBoxes)
        DrawBox(painter, map, form, box, p.SimpleData(box.data));
    if (form.hasTable) DrawTable(painter, map, form, p);
    painter.restore();
    return true;
}
