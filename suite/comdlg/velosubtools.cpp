// Implementation of CVeloSubTools: settings go through CGlobalSettings, folders through
// std::filesystem and POSIX calls, and the arithmetic helpers are plain functions of their
// arguments.
#include "suite/comdlg/velosubtools.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "suite/text/globalsettings.h"
#include "suite/text/officehour.h"
#include "suite/text/suitefolders.h"
#include "suite/tool/date.h"

namespace {

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

// The per-user folder GetTemporaryFolder stands for, without a trailing "/".
std::string PrivateTemporaryFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        std::string folder = runtime;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        return folder + "/velo";
    }
    return QFile::encodeName(QDir::tempPath()).toStdString() + "/velo-" +
           std::to_string(::geteuid());
}

// Makes the folder (whose parent must exist) or accepts it when it is already there as a
// real folder of this user, and takes away everyone else's access. "" on success, else why
// not. A folder in the shared temporary folder could have been put there by another user to
// read or replace this user's files, hence the owner check and no following of links.
QString MakePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISDIR(info.st_mode)) return QStringLiteral("フォルダーではありません");
    if (info.st_uid != ::geteuid()) return QStringLiteral("他のユーザーのフォルダーです");
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    return QString();
}

int ToMinutes(int hhmm) { return (hhmm / 100) * 60 + hhmm % 100; }

// Day as the integer YYYYMMDD, or -1 when the text is not a real calendar day.
int ParseDay(const char* yyyymmdd) {
    if (yyyymmdd == nullptr) return -1;
    int value = 0;
    for (int i = 0; i < 8; ++i) {
        const char c = yyyymmdd[i];
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    if (!QDate(value / 10000, value / 100 % 100, value % 100).isValid()) return -1;
    return value;
}

// Consumption-tax steps: the first day each rate applies.
struct TaxStep {
    int firstDay;
    double rate;
};
constexpr TaxStep kTaxSteps[] = {
    {20191001, 0.10},
    {20140401, 0.08},
    {19970401, 0.05},
    {19890401, 0.03},
};

}  // namespace

int CVeloSubTools::GetGlobalSettingInt(const char* section, const char* key, int def) {
    return CGlobalSettings::GetInt(QString::fromUtf8(section), QString::fromUtf8(key), def);
}

QString CVeloSubTools::GetGlobalSettingString(const char* section, const char* key,
                                              const QString& def) {
    return CGlobalSettings::GetString(QString::fromUtf8(section), QString::fromUtf8(key), def);
}

bool CVeloSubTools::SetGlobalSettingInt(const char* section, const char* key, int value) {
    return CGlobalSettings::SetInt(QString::fromUtf8(section), QString::fromUtf8(key), value);
}

bool CVeloSubTools::SetGlobalSettingString(const char* section, const char* key,
                                           const QString& value) {
    return CGlobalSettings::SetString(QString::fromUtf8(section), QString::fromUtf8(key), value);
}

std::string CVeloSubTools::GetProgramFolder() { return suitefolders::ProgramFolder(); }

std::string CVeloSubTools::GetDataFolder() { return suitefolders::DataFolder(); }

std::string CVeloSubTools::GetTemplatesFolder() { return GetDataFolder() + "templates/"; }

std::string CVeloSubTools::GetTemporaryFolder(QString* error) {
    const std::string folder = PrivateTemporaryFolder();
    const QString reason = MakePrivateFolder(folder);
    if (reason.isEmpty()) return WithSlash(folder);
    if (error != nullptr)
        *error = QFile::decodeName(QByteArray::fromStdString(folder)) + ": " + reason;
    return std::string();
}

int CVeloSubTools::GetTimeSpan(int to, int from) {
    const int minutes = ToMinutes(to) - ToMinutes(from);
    if (minutes <= 0) return 0;
    return (minutes / 60) * 100 + minutes % 60;
}

double CVeloSubTools::GetTaxRate(const char* yyyymmdd) {
    int day = ParseDay(yyyymmdd);
    if (day < 0) {
        const QDate today = CDate::Today();
        day = today.year() * 10000 + today.month() * 100 + today.day();
    }
    for (const TaxStep& step : kTaxSteps) {
        if (day >= step.firstDay) return step.rate;
    }
    return 0.0;
}

long CVeloSubTools::RoundOff(int mode, double amount) {
    if (std::isnan(amount)) return 0;
    const bool negative = amount < 0;
    const double magnitude = std::fabs(amount);
    // Products such as 1.1 * 100 come out a hair above or below the intended value; the
    // tolerance absorbs that before the mode looks at the fraction. 1e-9 covers everyday
    // amounts; for very large ones the spacing of doubles itself grows, hence the relative
    // part (about 45 units in the last place).
    const double tolerance = std::max(1e-9, magnitude * 1e-14);
    double whole;
    switch (mode) {
        case kTruncate:
            whole = std::floor(magnitude + tolerance);
            break;
        case kRoundUp:
            whole = std::ceil(magnitude - tolerance);
            break;
        case kRoundHalfUp:
        default:
            whole = std::floor(magnitude + 0.5 + tolerance);
            break;
    }
    if (negative) whole = -whole;
    if (whole >= static_cast<double>(LONG_MAX)) return LONG_MAX;
    if (whole <= static_cast<double>(LONG_MIN)) return LONG_MIN;
    return static_cast<long>(whole);
}

void CVeloSubTools::GetVeloOfficeHourData(VELOOFFICEHOUR* hours) {
    if (hours == nullptr) return;
    CGlobalSettings::GetOfficeHours(hours);
}

bool CVeloSubTools::GetReservationTemplate(int number, QString& title, QString& subject,
                                           QString& body) {
    QString t, s, b;
    if (!CGlobalSettings::GetReservationTemplate(number, &t, &s, &b)) return false;
    title = t;
    subject = s;
    body = b;
    return true;
}

void CVeloSubTools::velo_strcpy(char* dest, int count, const char* src) {
    if (dest == nullptr || count < 0) return;
    const size_t width = static_cast<size_t>(count);
    const size_t length = src == nullptr ? 0 : strnlen(src, width);
    if (length > 0) std::memcpy(dest, src, length);
    std::memset(dest + length, 0, width - length + 1);
}
