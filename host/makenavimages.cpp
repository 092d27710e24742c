// Build-time tool: draws the navigation strip's button images (normal, pressed and
// current for each of the eight buttons) as JPEG files into the folder given on the
// command line, with Japanese captions in the IPA Gothic font.
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <filesystem>

#include "navigation.h"

namespace {

constexpr int kWidth = 96;
constexpr int kHeight = 56;

// Colours of one image state: gradient top and bottom, border and caption.
struct Look {
    QColor top, bottom, border, text;
    int textShift;  // the caption moves down a little when pressed
};

Look LookFor(ENavImage state, bool closeButton) {
    switch (state) {
        case ENavImage::kPressed:
            return {QColor(0x8f, 0xa8, 0xc8), QColor(0xb8, 0xc9, 0xdf), QColor(0x3d, 0x55, 0x77),
                    QColor(0x10, 0x20, 0x40), 1};
        case ENavImage::kCurrent:
            return {QColor(0xff, 0xc8, 0x6b), QColor(0xf0, 0x94, 0x20), QColor(0xa8, 0x5a, 0x00),
                    QColor(0x40, 0x20, 0x00), 0};
        case ENavImage::kNormal:
            break;
    }
    if (closeButton) {
        return {QColor(0xff, 0xf4, 0xf4), QColor(0xe8, 0xc4, 0xc4), QColor(0x9a, 0x50, 0x50),
                QColor(0x60, 0x10, 0x10), 0};
    }
    return {QColor(0xff, 0xff, 0xff), QColor(0xcf, 0xdc, 0xec), QColor(0x6a, 0x80, 0xa0),
            QColor(0x14, 0x28, 0x50), 0};
}

// The IPA Gothic family, loaded from its file when fontconfig does not list it.
QString CaptionFamily() {
    const QString wanted = QStringLiteral("IPAGothic");
    if (QFontDatabase::families().contains(wanted)) return wanted;
    const char* files[] = {"/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
                           "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf"};
    for (const char* file : files) {
        const int id = QFontDatabase::addApplicationFont(QString::fromUtf8(file));
        if (id >= 0) {
            const QStringList families = QFontDatabase::applicationFontFamilies(id);
            if (!families.isEmpty()) return families.first();
        }
    }
    std::fprintf(stderr, "makenavimages: IPA Gothic not found; captions use the default font\n");
    return QString();
}

QImage DrawButton(const CNavButton& button, ENavImage state, const QString& family) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(QColor(0xe4, 0xe9, 0xf0));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const Look look = LookFor(state, button.screenCode == kScreenExit);

    const QRectF body(2.5, 2.5, kWidth - 5, kHeight - 5);
    QPainterPath path;
    path.addRoundedRect(body, 7, 7);
    QLinearGradient gradient(body.topLeft(), body.bottomLeft());
    gradient.setColorAt(0, look.top);
    gradient.setColorAt(1, look.bottom);
    painter.fillPath(path, gradient);
    painter.setPen(QPen(look.border, state == ENavImage::kCurrent ? 2.0 : 1.0));
    painter.drawPath(path);

    QFont font(family);
    font.setPixelSize(19);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(look.text);
    const QRect textRect(0, look.textShift, kWidth, kHeight);
    painter.drawText(textRect, Qt::AlignCenter, QString::fromUtf8(button.caption));
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: makenavimages OUTDIR\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "makenavimages: cannot create %s\n", argv[1]);
        return 1;
    }
    const QString family = CaptionFamily();
    for (const CNavButton& button : NavigationButtons()) {
        for (ENavImage state : {ENavImage::kNormal, ENavImage::kPressed, ENavImage::kCurrent}) {
            const QString path =
                outDir + QLatin1Char('/') + NavImageFileName(button.baseName, state);
            // Written beside the target and renamed, so a failed run leaves no half image.
            const QString temp = path + QStringLiteral(".tmp.jpg");
            bool written = DrawButton(button, state, family).save(temp, "JPG", 92);
            if (written) {
                std::error_code error;
                std::filesystem::rename(temp.toStdString(), path.toStdString(), error);
                written = !error;
            }
            if (!written) {
                std::fprintf(stderr, "makenavimages: cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    return 0;
}
