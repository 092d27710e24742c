// Unita: the database merger program. Records the folder it runs from (where the empty
// database archive lies), shows the main window modally and ends when it closes.
#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

#include "merger/convert.h"
#include "merger/unitadlg.h"
#include "recman/recman.h"
#include "suite/text/privatefiles.h"

int main(int argc, char** argv) {
    // Patient data: every file and folder this program makes is closed to others.
    privatefiles::CloseNewFilesToOthers();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Unita"));
    unita::SetProgramFolder(QApplication::applicationDirPath().toStdString() + "/");
    // The record manager's working file stays out of the databases the merger reads, in a
    // folder of the user's that outlives a reboot: a commit cut short by a power failure
    // is recovered from what lies there.
    // A temporary folder is the fallback: better than a source folder.
    const QString work =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/work";
    const QTemporaryDir fallback(QDir::tempPath() + QStringLiteral("/unita-XXXXXX"));
    if (recman::SetWorkingFolder(work.toStdString()) != recman::kOk &&
        (!fallback.isValid() || recman::SetWorkingFolder(fallback.path().toStdString()) != recman::kOk)) {
        std::fprintf(stderr, "Unita: no folder for working files (%s)\n", qPrintable(work));
    }
    unita::CUnitaDlg window;
    window.exec();
    return 0;
}
