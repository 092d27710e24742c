// Unita: the database merger program. Records the folder it runs from (where the empty
// database archive lies), shows the main window modally and ends when it closes.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

#include "merger/convert.h"
#include "merger/unitadlg.h"
#include "recman/recman.h"
#include "suite/text/privatefiles.h"
#include "suite/tool/qttexts.h"
#include "velo_version.h"

namespace {

constexpr char kUsage[] =
    "usage: Unita [--help] [--version]\n"
    "The database merger (データベースのマージ): converts the practice database to the current\n"
    "format and merges it with the cephalometric product's database into a new database\n"
    "folder. The source folders come from VeloV1.ini, Xylo9.ini and Xylo8.ini in $VELO_WINDIR\n"
    "(default ~/.config/velo/windows/); everything else is chosen in the window.\n"
    "  -h, --help  show this text\n"
    "  --version   print the version and exit\n"
    "See Unita(1).\n";

}  // namespace

int main(int argc, char** argv) {
    // Patient data: every file and folder this program makes is closed to others.
    privatefiles::CloseNewFilesToOthers();
    // Answered before the window system is needed; other arguments are Qt's own.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Unita %s\n", kVeloVersion);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Unita"));
    UseJapaneseQtTexts();
    // The desktop's menu entry and icon, once the package has installed them.
    QGuiApplication::setDesktopFileName(QStringLiteral("Unita"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("Unita")));
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
