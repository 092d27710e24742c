// The velodb command line: argument parsing, usage text and exit codes over the
// operations of velodb.h.
#include <charconv>
#include <ostream>

#include "backup.h"
#include "suite/text/networkfolder.h"
#include "velo_version.h"
#include "velodb.h"

namespace velodb {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::ostream& err) {
    err << "usage:\n"
           "  velodb create DIR [--force]\n"
           "  velodb demo DIR [--patients N] [--units N] [--days-back N] [--days-ahead N] [--seed "
           "S]\n"
           "                  [--reservations N] [--xylo DIR2] [--today YYYYMMDD] [--force]\n"
           "  velodb dump DIR TABLE [--key N]\n"
           "  velodb check DIR\n"
           "  velodb push DIR CONNINFO [--force]\n"
           "  velodb pull DIR OUTDIR [--force]\n"
           "  velodb backup DIR FILE\n"
           "  velodb backup --keep N DIR FOLDER\n"
           "  velodb restore FILE DIR [--force]\n";
}

// The answer to --help: what velodb is for, then the usage.
void PrintHelp(std::ostream& out) {
    out << "velodb: makes, fills, checks and copies the database folders of the clinic suite.\n";
    PrintUsage(out);
    out << "  velodb --help | --version\n"
           "See velodb(1) for each command.\n";
}

template <typename T>
bool ParseNumber(const std::string& text, T* value, T minimum) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && ptr == end && *value >= minimum;
}

// Splits "--name value" pairs and bare words; a flag given twice, an unknown flag or a
// flag without its value makes the arguments bad.
struct SArguments {
    std::vector<std::string> m_words;
    std::vector<std::pair<std::string, std::string>> m_options;
    bool m_force = false;
};

bool SplitArguments(const std::vector<std::string>& args, size_t first,
                    const std::vector<std::string>& valueFlags, bool allowForce, SArguments* out) {
    for (size_t i = first; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            out->m_words.push_back(arg);
            continue;
        }
        if (allowForce && arg == "--force") {
            out->m_force = true;
            continue;
        }
        bool known = false;
        for (const std::string& flag : valueFlags) known = known || flag == arg;
        if (!known || i + 1 >= args.size()) return false;
        for (const auto& option : out->m_options) {
            if (option.first == arg) return false;
        }
        out->m_options.emplace_back(arg, args[++i]);
    }
    return true;
}

// Says, before the command works on the folder, when its tables are not safe where it is.
void WarnIfOnNetworkShare(const std::string& folder, std::ostream& err) {
    const std::string share = EmbeddedEngineNetworkShare(folder);
    if (!share.empty()) err << NetworkShareWarning(folder, share);
}

int RunCreate(const SArguments& a, std::ostream& out, std::ostream& err) {
    if (a.m_words.size() != 1 || !a.m_options.empty()) {
        PrintUsage(err);
        return kExitUsage;
    }
    WarnIfOnNetworkShare(a.m_words[0], err);
    std::string error;
    if (!CreateDatabase(a.m_words[0], a.m_force, &error)) {
        err << "velodb: " << error << "\n";
        return kExitFailed;
    }
    out << "created an empty database in " << a.m_words[0] << "\n";
    return kExitOk;
}

int RunDemo(const SArguments& a, std::ostream& out, std::ostream& err) {
    if (a.m_words.size() != 1) {
        PrintUsage(err);
        return kExitUsage;
    }
    SDemoOptions options;
    options.m_folder = a.m_words[0];
    options.m_force = a.m_force;
    for (const auto& [flag, value] : a.m_options) {
        bool ok = true;
        if (flag == "--patients") {
            ok = ParseNumber(value, &options.m_patients, 1);
        } else if (flag == "--units") {
            ok = ParseNumber(value, &options.m_units, 1);
        } else if (flag == "--days-back") {
            ok = ParseNumber(value, &options.m_daysBack, 0);
        } else if (flag == "--days-ahead") {
            ok = ParseNumber(value, &options.m_daysAhead, 0);
        } else if (flag == "--seed") {
            ok = ParseNumber<uint64_t>(value, &options.m_seed, 0);
        } else if (flag == "--reservations") {
            ok = ParseNumber<long long>(value, &options.m_reservations, 0);
        } else if (flag == "--xylo") {
            options.m_xyloFolder = value;
            ok = !value.empty();
        } else if (flag == "--today") {
            options.m_today = QDate::fromString(QString::fromStdString(value), "yyyyMMdd");
            ok = options.m_today.isValid() && value.size() == 8;
        }
        if (!ok) {
            err << "velodb: bad value for " << flag << ": " << value << "\n";
            PrintUsage(err);
            return kExitUsage;
        }
    }
    WarnIfOnNetworkShare(options.m_folder, err);
    SDemoSummary summary;
    std::string error;
    if (!BuildDemoDatabase(options, &summary, &err, &error)) {
        err << "velodb: " << error << "\n";
        return kExitFailed;
    }
    out << "demo database in " << options.m_folder << ": " << summary.m_patients << " patients, "
        << summary.m_reservations << " reservations (" << summary.m_blocked << " blocked times, "
        << summary.m_changed << " changed, " << summary.m_cancelled << " cancelled), "
        << summary.m_materials << " lab items, " << summary.m_standby << " standby entries\n";
    if (!options.m_xyloFolder.empty()) {
        out << "cephalometric database in " << options.m_xyloFolder << ": "
            << summary.m_xyloPatients << " patients\n";
    }
    return kExitOk;
}

int RunDump(const SArguments& a, std::ostream& out, std::ostream& err) {
    if (a.m_words.size() != 2 || a.m_force) {
        PrintUsage(err);
        return kExitUsage;
    }
    int key = 0;
    for (const auto& option : a.m_options) {
        if (!ParseNumber(option.second, &key, 0)) {
            err << "velodb: bad key number: " << option.second << "\n";
            PrintUsage(err);
            return kExitUsage;
        }
    }
    WarnIfOnNetworkShare(a.m_words[0], err);
    std::string error;
    if (!DumpTable(a.m_words[0], a.m_words[1], key, out, &error)) {
        err << "velodb: " << error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunPush(const SArguments& a, std::ostream& out, std::ostream& err) {
    if (a.m_words.size() != 2 || !a.m_options.empty()) {
        PrintUsage(err);
        return kExitUsage;
    }
    std::string error;
    if (!PushDatabase(a.m_words[0], a.m_words[1], a.m_force, out, &error)) {
        err << "velodb: " << error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunPull(const SArguments& a, std::ostream& out, std::ostream& err) {
    if (a.m_words.size() != 2 || !a.m_options.empty()) {
        PrintUsage(err);
        return kExitUsage;
    }
    std::string error;
    if (!PullDatabase(a.m_words[0], a.m_words[1], a.m_force, out, &error)) {
        err << "velodb: " << error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunBackup(const SArguments& a, std::ostream& out, std::ostream& err) {
    if (a.m_words.size() != 2) {
        PrintUsage(err);
        return kExitUsage;
    }
    int keep = 0;
    if (!a.m_options.empty() && !ParseNumber(a.m_options.front().second, &keep, 1)) {
        err << "velodb: bad value for --keep: " << a.m_options.front().second << "\n";
        PrintUsage(err);
        return kExitUsage;
    }
    WarnIfOnNetworkShare(a.m_words[0], err);
    std::string error;
    const bool done =
        keep > 0 ? BackupIntoFolder(a.m_words[0], a.m_words[1], keep, QDateTime(), out, &error)
                 : BackupDatabase(a.m_words[0], a.m_words[1], out, &error);
    if (!done) {
        err << "velodb: " << error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunRestore(const SArguments& a, std::ostream& out, std::ostream& err) {
    if (a.m_words.size() != 2 || !a.m_options.empty()) {
        PrintUsage(err);
        return kExitUsage;
    }
    WarnIfOnNetworkShare(a.m_words[1], err);
    std::string error;
    if (!RestoreDatabase(a.m_words[0], a.m_words[1], a.m_force, out, &error)) {
        err << "velodb: " << error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunCheck(const SArguments& a, std::ostream& out, std::ostream& err) {
    if (a.m_words.size() != 1 || !a.m_options.empty() || a.m_force) {
        PrintUsage(err);
        return kExitUsage;
    }
    WarnIfOnNetworkShare(a.m_words[0], err);
    return CheckDatabase(a.m_words[0], out) ? kExitOk : kExitFailed;
}

}  // namespace

std::string NetworkShareWarning(const std::string& folder, const std::string& share) {
    return "velodb: warning: " + folder + " is on a network file system (" + share +
           "). The table files of a folder database are not safe there: file locks do not\n"
           "  work reliably between machines, and workstations sharing the folder can corrupt\n"
           "  the database. To share a database, keep its tables on a PostgreSQL server:\n"
           "  `velodb push " +
           folder +
           " CONNINFO` moves them there and writes velodb.conninfo\n"
           "  into the folder (see the README).\n";
}

int RunVelodb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        PrintUsage(err);
        return kExitUsage;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h") {
        PrintHelp(out);
        return kExitOk;
    }
    if (command == "--version") {
        out << "velodb " << kVeloVersion << "\n";
        return kExitOk;
    }
    SArguments a;
    bool ok = false;
    if (command == "create") {
        ok = SplitArguments(args, 1, {}, true, &a);
        if (ok) return RunCreate(a, out, err);
    } else if (command == "demo") {
        ok = SplitArguments(args, 1,
                            {"--patients", "--units", "--days-back", "--days-ahead", "--seed",
                             "--reservations", "--xylo", "--today"},
                            true, &a);
        if (ok) return RunDemo(a, out, err);
    } else if (command == "dump") {
        ok = SplitArguments(args, 1, {"--key"}, false, &a);
        if (ok) return RunDump(a, out, err);
    } else if (command == "push") {
        ok = SplitArguments(args, 1, {}, true, &a);
        if (ok) return RunPush(a, out, err);
    } else if (command == "pull") {
        ok = SplitArguments(args, 1, {}, true, &a);
        if (ok) return RunPull(a, out, err);
    } else if (command == "backup") {
        ok = SplitArguments(args, 1, {"--keep"}, false, &a);
        if (ok) return RunBackup(a, out, err);
    } else if (command == "restore") {
        ok = SplitArguments(args, 1, {}, true, &a);
        if (ok) return RunRestore(a, out, err);
    } else if (command == "check") {
        ok = SplitArguments(args, 1, {}, false, &a);
        if (ok) return RunCheck(a, out, err);
    }
    PrintUsage(err);
    return kExitUsage;
}

}  // namespace velodb
