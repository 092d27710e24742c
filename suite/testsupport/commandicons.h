// A check for the tests of windows with toolbars: every command of a toolbar shows
// one of the suite's own command icons, a different one from the other commands, and on a
// screen of device pixel ratio 2 the icon's double-size image rather than an enlargement.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QToolBar>
#include <set>

#include "suite/tool/commandicons.h"

inline QImage CommandIconImage(const QString& file) {
    return QImage(file).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The name of the command icon whose image `icon` shows at the toolbar size, or an empty
// string when it shows none of them (a style's standard pixmap, a picture drawn in code).
inline QString CommandIconShown(const QIcon& icon) {
    const QImage shown = icon.pixmap(QSize(kCommandIconSize, kCommandIconSize), 1.0)
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QDirIterator images(QStringLiteral(":/velo/icons"), QDir::Files);
    while (images.hasNext()) {
        const QString file = images.next();
        if (!file.contains(QLatin1String("@2x")) && CommandIconImage(file) == shown)
            return QFileInfo(file).completeBaseName();
    }
    return QString();
}

inline void ExpectCommandIcons(const QToolBar* toolbar) {
    ASSERT_NE(toolbar, nullptr);
    std::set<QString> shown;
    for (const QAction* action : toolbar->actions()) {
        if (action->isSeparator()) continue;
        SCOPED_TRACE("command " + action->objectName().toStdString());
        const QString name = CommandIconShown(action->icon());
        ASSERT_FALSE(name.isEmpty()) << "not an icon of the suite's set";
        EXPECT_TRUE(shown.insert(name).second) << "shown twice: " << name.toStdString();
        const QPixmap dense = action->icon().pixmap(QSize(kCommandIconSize, kCommandIconSize), 2.0);
        EXPECT_EQ(dense.devicePixelRatio(), 2.0);
        EXPECT_EQ(dense.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  CommandIconImage(QStringLiteral(":/velo/icons/%1@2x.png").arg(name)));
    }
}
