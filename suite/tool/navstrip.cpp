// The navigation strip's buttons and their images.
#include "suite/tool/navstrip.h"

#include <QHBoxLayout>
#include <QImage>
#include <QPainter>

#include "suite/tool/buttonex.h"

namespace {

constexpr QSize kStandInSize(96, 56);

// A plain framed caption, for a button whose image file is missing or unreadable.
QImage StandInImage(const QString& caption, ENavImage state) {
    QImage image(kStandInSize, QImage::Format_RGB32);
    QColor fill = Qt::white;
    if (state == ENavImage::kPressed) fill = QColor(0xb8, 0xc9, 0xdf);
    if (state == ENavImage::kCurrent) fill = QColor(0xf0, 0x94, 0x20);
    image.fill(fill);
    QPainter painter(&image);
    painter.setPen(Qt::darkGray);
    painter.drawRect(image.rect().adjusted(0, 0, -1, -1));
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignCenter, caption);
    return image;
}

}  // namespace

CNavigationStrip::CNavigationStrip(const QString& imageFolder, QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    for (const CNavButton& button : NavigationButtons()) {
        const QString caption = QString::fromUtf8(button.caption);
        QImage images[3];
        const ENavImage states[3] = {ENavImage::kNormal, ENavImage::kPressed, ENavImage::kCurrent};
        bool missing = false;
        for (int i = 0; i < 3; ++i) {
            images[i].load(imageFolder + QLatin1Char('/') +
                           NavImageFileName(button.baseName, states[i]));
            missing = missing || images[i].isNull();
        }
        if (missing) {
            ++m_missingImages;
            for (int i = 0; i < 3; ++i) images[i] = StandInImage(caption, states[i]);
        }
        auto* widget = new CButtonEx(this);
        widget->setObjectName(QString::fromUtf8(button.baseName));
        widget->setText(caption);
        widget->setToolTip(caption);
        widget->setFocusPolicy(Qt::NoFocus);
        widget->SetImage(images[0], images[1], images[2]);
        m_buttons[button.position] = widget;
        layout->addWidget(widget);
        const int position = button.position;
        connect(widget, &QAbstractButton::clicked, this,
                [this, position] { emit ButtonPressed(position); });
    }
    layout->addStretch(1);
}

void CNavigationStrip::SetCurrentScreen(int screenCode) {
    for (const CNavButton& button : NavigationButtons()) {
        m_buttons[button.position]->SetPushed(button.screenCode == screenCode &&
                                              screenCode != kScreenExit);
    }
}
