#include "sheet/rowmark.h"

#include <QPainter>
#include <QPixmap>

namespace velo::sheet {

QIcon RowMark(const QColor& fill) {
    QPixmap pixmap(kRowMarkSize, kRowMarkSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return QIcon(pixmap);
}

}  // namespace velo::sheet
