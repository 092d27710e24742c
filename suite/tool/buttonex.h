// CButtonEx: an image button (the navigation strip's buttons). It paints one of three
// images - normal, pressed while the mouse is down, and "current" when set pushed - at a
// fixed size equal to the normal image, and clicks only when pressed and released on it.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QPoint>

class CButtonEx final : public QAbstractButton {
    Q_OBJECT
public:
    explicit CButtonEx(QWidget* parent = nullptr);
    CButtonEx(const CButtonEx&) = delete;
    CButtonEx& operator=(const CButtonEx&) = delete;

    // The images; null pressed or current images fall back to the normal one. The widget
    // takes the normal image's size.
    void SetImage(const QImage& normal, const QImage& pressed, const QImage& current);
    // Where the image's top left corner is drawn within the widget.
    void SetImageOffset(const QPoint& offset);
    // Marks the button as the current one (drawn with the current image).
    void SetPushed(bool pushed);
    bool IsPushed() const { return m_pushed; }

    // The image that paintEvent draws in the present state.
    const QImage& ShownImage() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_normal;
    QImage m_pressed;
    QImage m_current;
    QPoint m_offset;
    bool m_pushed = false;
};
