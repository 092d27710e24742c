// Command line of the host program velo: which database folder to open, and an
// optional picture of the main window to save for documentation. Plain logic, so a
// test reaches it without a window.
#pragma once

#include <QString>
#include <QStringList>

struct CHostOptions {
    QString database;      // --database DIR; empty when not given
    QString screenshot;    // --screenshot FILE; empty when not given
    bool help = false;     // -h / --help
    bool version = false;  // --version
};

// The result of parsing: options when ok, else a message that names the bad argument.
struct CHostArgs {
    bool ok = false;
    QString error;
    CHostOptions options;
};

// Parses the arguments after the program name. Accepts "--name VALUE" and
// "--name=VALUE"; an unknown option, a missing or empty value or a stray positional
// argument is an error. A repeated option keeps its last value.
CHostArgs ParseHostArguments(const QStringList& args);

// The arguments without the options that QApplication takes for itself ("-platform
// offscreen", "-style NAME", "-reverse", ...), so that the program's own can be checked
// before a QApplication exists (and so before a display is needed).
QStringList WithoutQtOptions(const QStringList& args);

// The usage text printed for --help and after a bad argument.
QString HostUsage();
// "velo VERSION", printed for --version.
QString HostVersion();

// The database folder to open: the command line's when given, else the folder stored in
// the host profile. Empty when neither names one.
QString ChooseDatabaseFolder(const CHostOptions& options, const QString& profileFolder);
