// velo: the host program of the clinic suite. Parses the command line and hands over
// to RunHost.
#include <QApplication>
#include <cstdio>

#include "hostapp.h"
#include "hostoptions.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velo"));
    const CHostArgs args = ParseHostArguments(QApplication::arguments().mid(1));
    if (!args.ok) {
        std::fprintf(stderr, "velo: %s\n%s", qPrintable(args.error), qPrintable(HostUsage()));
        return 2;
    }
    if (args.options.help) {
        std::fputs(qPrintable(HostUsage()), stdout);
        return 0;
    }
    return RunHost(args.options);
}
