// velo: the host program of the clinic suite. Checks the command line (before any
// window system is needed) and hands over to RunHost.
#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "hostapp.h"
#include "hostoptions.h"
#include "suite/text/privatefiles.h"
#include "suite/tool/qttexts.h"

int main(int argc, char** argv) {
    // Patient data: every file and folder this program makes is closed to others.
    privatefiles::CloseNewFilesToOthers();
    QStringList raw;
    for (int i = 1; i < argc; ++i) raw << QString::fromLocal8Bit(argv[i]);
    const CHostArgs args = ParseHostArguments(WithoutQtOptions(raw));
    if (!args.ok) {
        std::fprintf(stderr, "velo: %s\n%s", qPrintable(args.error), qPrintable(HostUsage()));
        return 2;
    }
    if (args.options.help) {
        std::fputs(qPrintable(HostUsage()), stdout);
        return 0;
    }
    if (args.options.version) {
        std::fputs(qPrintable(HostVersion()), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velo"));
    UseJapaneseQtTexts();
    // The desktop's menu entry and icon, once the package has installed them.
    QGuiApplication::setDesktopFileName(QStringLiteral("velo"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("velo")));
    return RunHost(args.options);
}
