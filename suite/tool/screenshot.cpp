#include "suite/tool/screenshot.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QWidget>
#include <cstdio>
#include <string>
#include <string_view>

#include "suite/text/atomicfile.h"

bool SaveScreenshot(const QPixmap& picture, const QString& folder, const char* name,
                    const char* program) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG")) {
        std::fprintf(stderr, "%s: cannot render %s\n", program, name);
        return false;
    }
    const QString path = QDir(folder).filePath(QString::fromUtf8(name) + QStringLiteral(".png"));
    std::string error;
    if (!WriteFileAtomically(QFile::encodeName(path).toStdString(),
                             std::string_view(png.constData(), size_t(png.size())), &error)) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", program, qPrintable(path), error.c_str());
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool SaveWidgetScreenshot(QWidget* widget, const QString& folder, const char* name,
                          const char* program) {
    QApplication::processEvents();
    return SaveScreenshot(widget->grab(), folder, name, program);
}
