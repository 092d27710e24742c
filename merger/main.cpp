// Unita: the database merger program. Records the folder it runs from (where the empty
// database archive lies), shows the main window modally and ends when it closes.
#include <QApplication>

#include "merger/convert.h"
#include "merger/unitadlg.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Unita"));
    unita::SetProgramFolder(QApplication::applicationDirPath().toStdString() + "/");
    unita::CUnitaDlg window;
    window.exec();
    return 0;
}
