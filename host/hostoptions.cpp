// Parsing of the host program's command line.
#include "hostoptions.h"

#include "velo_version.h"

namespace {

// Options that take a value, and where each value goes.
struct ValueOption {
    const char* name;
    QString CHostOptions::*field;
};

constexpr ValueOption kValueOptions[] = {
    {"--database", &CHostOptions::database},
    {"--screenshot", &CHostOptions::screenshot},
};

// QApplication's own options, with and without a value (a single leading dash; Qt
// accepts two as well).
constexpr const char* kQtOptionsWithValue[] = {
    "platform",
    "platformpluginpath",
    "platformtheme",
    "plugin",
    "display",
    "geometry",
    "qwindowgeometry",
    "qwindowtitle",
    "qwindowicon",
    "style",
    "stylesheet",
    "session",
    "title",
    "fn",
    "font",
    "bg",
    "background",
    "fg",
    "foreground",
    "btn",
    "button",
    "name",
    "visual",
    "im",
};
constexpr const char* kQtFlags[] = {"reverse", "widgetcount", "nograb",
                                    "dograb",  "sync",        "qmljsdebugger"};

// The option name without one or two leading dashes, when `arg` is a single-word option.
QString BareOption(const QString& arg) {
    if (arg.startsWith(QLatin1String("--"))) return arg.mid(2);
    if (arg.startsWith(QLatin1Char('-'))) return arg.mid(1);
    return {};
}

}  // namespace

QStringList WithoutQtOptions(const QStringList& args) {
    QStringList kept;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString bare = BareOption(args[i]);
        bool dropped = false;
        for (const char* name : kQtOptionsWithValue) {
            const QLatin1String option(name);
            if (bare == option) {
                ++i;  // the value follows as the next argument
                dropped = true;
            } else if (bare.startsWith(option + QLatin1Char('='))) {
                dropped = true;
            }
        }
        for (const char* name : kQtFlags) {
            if (bare == QLatin1String(name)) dropped = true;
        }
        if (!dropped) kept << args[i];
    }
    return kept;
}

CHostArgs ParseHostArguments(const QStringList& args) {
    CHostArgs result;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            result.options.help = true;
            continue;
        }
        if (arg == QLatin1String("--version")) {
            result.options.version = true;
            continue;
        }
        bool matched = false;
        for (const ValueOption& option : kValueOptions) {
            const QString name = QLatin1String(option.name);
            QString value;
            if (arg == name) {
                if (i + 1 >= args.size()) {
                    result.error = QStringLiteral("%1 needs a value").arg(name);
                    return result;
                }
                value = args[++i];
            } else if (arg.startsWith(name + QLatin1Char('='))) {
                value = arg.mid(name.size() + 1);
            } else {
                continue;
            }
            if (value.isEmpty()) {
                result.error = QStringLiteral("%1 needs a non-empty value").arg(name);
                return result;
            }
            result.options.*option.field = value;
            matched = true;
            break;
        }
        if (matched) continue;
        if (arg.startsWith(QLatin1Char('-'))) {
            result.error = QStringLiteral("unknown option %1").arg(arg);
        } else {
            result.error = QStringLiteral("unexpected argument %1").arg(arg);
        }
        return result;
    }
    result.ok = true;
    return result;
}

QString HostUsage() {
    return QStringLiteral(
        "usage: velo [--database DIR] [--screenshot FILE]\n"
        "The clinic's appointment sheet and lab-work schedule (予約・技工物) on a database "
        "folder.\n"
        "  --database DIR     open the database folder DIR (default: the folder opened last)\n"
        "  --screenshot FILE  save a picture of the main window as PNG to FILE and exit\n"
        "  -h, --help         show this text\n"
        "  --version          print the version and exit\n"
        "See velo(1) and velodb(1) for making a database and its nightly backup.\n");
}

QString HostVersion() { return QStringLiteral("velo %1\n").arg(QLatin1String(kVeloVersion)); }

QString ChooseDatabaseFolder(const CHostOptions& options, const QString& profileFolder) {
    if (!options.database.isEmpty()) return options.database;
    return profileFolder.trimmed();
}
