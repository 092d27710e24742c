// Command and message icons from the images that the build compiled into this library.
#include "suite/tool/commandicons.h"

#include <QFile>

namespace {

// Both images are added from the start: QIcon would look for the "@2x" image only when the
// screens at hand are dense, and a window can move to a dense screen later.
QIcon IconOfFile(const QString& file) {
    if (!QFile::exists(file)) return QIcon();
    QIcon icon;
    icon.addFile(file);
    icon.addFile(QString(file).replace(QLatin1String(".png"), QLatin1String("@2x.png")));
    return icon;
}

}  // namespace

QString CommandIconFile(const char* name) {
    return QStringLiteral(":/velo/icons/") + QString::fromUtf8(name) + QStringLiteral(".png");
}

QIcon CommandIcon(const char* name) { return IconOfFile(CommandIconFile(name)); }

QIcon MessageIcon(const char* name) {
    return IconOfFile(QStringLiteral(":/velo/icons/message/") + QString::fromUtf8(name) +
                      QStringLiteral(".png"));
}
