// CButtonEx painting and sizing. Click handling is QAbstractButton's, which emits clicked
// only for a release inside the button after a press on it.
#include "suite/tool/buttonex.h"

#include <QPainter>

CButtonEx::CButtonEx(QWidget* parent) : QAbstractButton(parent) { setFocusPolicy(Qt::NoFocus); }

void CButtonEx::SetImage(const QImage& normal, const QImage& pressed, const QImage& current) {
    m_normal = normal;
    m_pressed = pressed;
    m_current = current;
    if (!m_normal.isNull()) setFixedSize(m_normal.size());
    update();
}

void CButtonEx::SetImageOffset(const QPoint& offset) {
    m_offset = offset;
    update();
}

void CButtonEx::SetPushed(bool pushed) {
    if (m_pushed == pushed) return;
    m_pushed = pushed;
    update();
}

const QImage& CButtonEx::ShownImage() const {
    if (isDown() && !m_pressed.isNull()) return m_pressed;
    if (m_pushed && !m_current.isNull()) return m_current;
    return m_normal;
}

QSize CButtonEx::sizeHint() const { return m_normal.isNull() ? QSize(16, 16) : m_normal.size(); }

void CButtonEx::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage& image = ShownImage();
    if (!image.isNull()) painter.drawImage(m_offset, image);
}
