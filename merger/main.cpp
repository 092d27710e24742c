// Unita: the database merger program. Records the folder it runs from (where the empty
// database archive lies), shows the main window modally and ends when it closes.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include "merger/convert.h"
#include "merger/unitadlg.h"
#include "merger/workingfile.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Unita"));
    unita::SetProgramFolder(QApplication::applicationDirPath().toStdString() + "/");
    // The record manager's working file stays out of the databases the merger reads.
    const QTemporaryDir work(QDir::tempPath() + QStringLiteral("/unita-XXXXXX"));
    if (work.isValid()) unita::KeepWorkingFileIn(work.path().toStdString());
    unita::CUnitaDlg window;
    window.exec();
    return 0;
}
