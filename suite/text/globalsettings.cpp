// CGlobalSettings: the database folder, and the structured settings kept in
// GlobalSetting.ini on top of CIniFile.
#include "suite/text/globalsettings.h"

#include <QDate>
#include <QStringList>
#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "suite/text/hostprofile.h"
#include "suite/text/inifile.h"

namespace {

std::mutex g_folderMutex;
std::string g_databaseFolder;

const QString kOfficeHour = QStringLiteral("OfficeHour");
const QString kDayOff = QStringLiteral("ClinicDayOff");
const QString kDayOpen = QStringLiteral("ClinicDayOpen");
const QString kTemplatePrefix = QStringLiteral("MailTemplate");

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

QString DateKey(int y, int m, int d) {
    return QStringLiteral("%1%2%3")
        .arg(y, 4, 10, QLatin1Char('0'))
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(d, 2, 10, QLatin1Char('0'));
}

// One HHMM time of an office-hour entry: digits only, at most 24:00, minutes below 60.
bool ParseHhmm(const QString& text, uint16_t* out) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 4) return false;
    for (QChar c : t) {
        if (!c.isDigit() || c.unicode() > u'9') return false;
    }
    int value = t.toInt();
    if (value > 2400 || value % 100 >= 60) return false;
    *out = static_cast<uint16_t>(value);
    return true;
}

// Parses a template section name "MailTemplate<digits>"; -1 when it is not one.
int TemplateNumberOf(const QString& section) {
    if (section.size() <= kTemplatePrefix.size() ||
        !section.startsWith(kTemplatePrefix, Qt::CaseInsensitive)) {
        return -1;
    }
    const QString digits = section.mid(kTemplatePrefix.size());
    for (QChar c : digits) {
        if (c < u'0' || c > u'9') return -1;
    }
    bool ok = false;
    int number = digits.toInt(&ok);
    return ok ? number : -1;
}

}  // namespace

void CGlobalSettings::SetDatabaseFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_folderMutex);
    g_databaseFolder = folder;
}

std::string CGlobalSettings::DatabaseFolder() {
    {
        std::lock_guard<std::mutex> lock(g_folderMutex);
        if (!g_databaseFolder.empty()) return WithSlash(g_databaseFolder);
    }
    return WithSlash(
        CHostProfile::GetProfileString(QStringLiteral("GLOBAL"), QStringLiteral("DATABASE"))
            .toStdString());
}

std::string CGlobalSettings::SettingsPath() {
    const std::string folder = DatabaseFolder();
    if (folder.empty()) return std::string();
    const std::string exact = folder + "GlobalSetting.ini";
    std::error_code ec;
    if (std::filesystem::exists(exact, ec)) return exact;
    // A folder copied from a case-insensitive file system may spell the name otherwise.
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const QString name = QString::fromStdString(entry.path().filename().string());
        if (name.compare(QLatin1String("GlobalSetting.ini"), Qt::CaseInsensitive) == 0) {
            return entry.path().string();
        }
    }
    return exact;
}

int CGlobalSettings::GetInt(const QString& section, const QString& key, int def) {
    const std::string path = SettingsPath();
    return path.empty() ? def : CIniFile::ReadInt(path, section, key, def);
}

QString CGlobalSettings::GetString(const QString& section, const QString& key, const QString& def) {
    const std::string path = SettingsPath();
    return path.empty() ? def : CIniFile::ReadString(path, section, key, def);
}

bool CGlobalSettings::SetInt(const QString& section, const QString& key, int value) {
    const std::string path = SettingsPath();
    return !path.empty() && CIniFile::WriteInt(path, section, key, value);
}

bool CGlobalSettings::SetString(const QString& section, const QString& key, const QString& value) {
    const std::string path = SettingsPath();
    return !path.empty() && CIniFile::WriteString(path, section, key, value);
}

bool CGlobalSettings::SetValues(const std::vector<CIniValue>& values, std::string* error) {
    const std::string path = SettingsPath();
    if (path.empty()) {
        if (error) *error = "no database folder is set";
        return false;
    }
    return CIniFile::WriteValues(path, values, error);
}

void CGlobalSettings::GetOfficeHours(VELOOFFICEHOUR* hours) {
    if (hours == nullptr) return;
    *hours = VELOOFFICEHOUR{};
    const std::string path = SettingsPath();
    if (path.empty()) return;
    CIniFile file;
    file.Load(path);
    for (int day = 0; day < 7; ++day) {
        const QStringList parts =
            file.GetString(kOfficeHour, QStringLiteral("Week%1").arg(day)).split(u',');
        VELOOFFICEHOURDATA entry{};
        if (parts.size() == 4 && ParseHhmm(parts[0], &entry.Open) &&
            ParseHhmm(parts[1], &entry.BreakStart) && ParseHhmm(parts[2], &entry.BreakEnd) &&
            ParseHhmm(parts[3], &entry.Close)) {
            hours->Week[day] = entry;
        }
    }
}

bool CGlobalSettings::SetOfficeHours(const VELOOFFICEHOUR& hours) {
    const std::string path = SettingsPath();
    if (path.empty()) return false;
    return CIniFile::Update(path, [&hours](CIniFile& file) {
        for (int day = 0; day < 7; ++day) {
            const VELOOFFICEHOURDATA& e = hours.Week[day];
            file.SetString(kOfficeHour, QStringLiteral("Week%1").arg(day),
                           QStringLiteral("%1,%2,%3,%4")
                               .arg(e.Open)
                               .arg(e.BreakStart)
                               .arg(e.BreakEnd)
                               .arg(e.Close));
        }
        return true;
    });
}

bool CGlobalSettings::IsClinicDayOff(int y, int m, int d) {
    return GetInt(kDayOff, DateKey(y, m, d), 0) != 0;
}

bool CGlobalSettings::SetClinicDayOff(int y, int m, int d, bool off) {
    const std::string path = SettingsPath();
    if (path.empty()) return false;
    return CIniFile::Update(path, [&](CIniFile& file) {
        if (off) {
            file.SetInt(kDayOff, DateKey(y, m, d), 1);
        } else {
            file.RemoveKey(kDayOff, DateKey(y, m, d));
        }
        return true;
    });
}

bool CGlobalSettings::IsClinicDayOpen(int y, int m, int d) {
    return GetInt(kDayOpen, DateKey(y, m, d), 0) != 0;
}

CGlobalSettings::EClinicDay CGlobalSettings::GetClinicDay(int y, int m, int d) {
    const std::string path = SettingsPath();
    if (path.empty()) return kClinicDayUsual;
    CIniFile file;
    file.Load(path);
    const QString key = DateKey(y, m, d);
    if (file.GetInt(kDayOff, key, 0) != 0) return kClinicDayClosed;
    if (file.GetInt(kDayOpen, key, 0) != 0) return kClinicDayOpen;
    return kClinicDayUsual;
}

std::map<std::string, CGlobalSettings::EClinicDay> CGlobalSettings::ClinicDays() {
    std::map<std::string, EClinicDay> days;
    const std::string path = SettingsPath();
    if (path.empty()) return days;
    CIniFile file;
    file.Load(path);
    // Open days first, so that a day marked both ways ends up closed, as GetClinicDay says.
    for (const auto& [section, mark] :
         {std::pair{kDayOpen, kClinicDayOpen}, std::pair{kDayOff, kClinicDayClosed}}) {
        for (const QString& key : file.Keys(section)) {
            if (key.size() != 8 || file.GetInt(section, key, 0) == 0) continue;
            if (!QDate::fromString(key, QStringLiteral("yyyyMMdd")).isValid()) continue;
            days[key.toStdString()] = mark;
        }
    }
    return days;
}

bool CGlobalSettings::SetClinicDays(const std::map<std::string, EClinicDay>& days,
                                    std::string* error) {
    const std::string path = SettingsPath();
    if (path.empty()) {
        if (error) *error = "no database folder is set";
        return false;
    }
    return CIniFile::Update(
        path,
        [&days](CIniFile& file) {
            for (const auto& [ymd, mark] : days) {
                const QString key = QString::fromStdString(ymd);
                file.RemoveKey(kDayOff, key);
                file.RemoveKey(kDayOpen, key);
                if (mark == kClinicDayClosed) file.SetInt(kDayOff, key, 1);
                if (mark == kClinicDayOpen) file.SetInt(kDayOpen, key, 1);
            }
            return true;
        },
        error);
}

QString CGlobalSettings::EscapeLineBreaks(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\') {
            out += QStringLiteral("\\\\");
        } else if (c == u'\r') {
            out += QStringLiteral("\\n");
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        } else if (c == u'\n') {
            out += QStringLiteral("\\n");
        } else {
            out += c;
        }
    }
    return out;
}

QString CGlobalSettings::UnescapeLineBreaks(const QString& stored) {
    QString out;
    out.reserve(stored.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const QChar c = stored[i];
        if (c == u'\\' && i + 1 < stored.size()) {
            const QChar next = stored[i + 1];
            if (next == u'n') {
                out += u'\n';
                ++i;
                continue;
            }
            if (next == u'\\') {
                out += u'\\';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

bool CGlobalSettings::GetReservationTemplate(int number, QString* title, QString* subject,
                                             QString* body) {
    const std::string path = SettingsPath();
    if (number < 0 || path.empty()) return false;
    CIniFile file;
    file.Load(path);
    const QString section = kTemplatePrefix + QString::number(number);
    if (!file.HasSection(section)) return false;
    if (title) *title = file.GetString(section, QStringLiteral("Title"));
    if (subject) *subject = file.GetString(section, QStringLiteral("Subject"));
    if (body) *body = UnescapeLineBreaks(file.GetString(section, QStringLiteral("Body")));
    return true;
}

bool CGlobalSettings::SetReservationTemplate(int number, const QString& title,
                                             const QString& subject, const QString& body) {
    const std::string path = SettingsPath();
    if (number < 0 || path.empty()) return false;
    return CIniFile::Update(path, [&](CIniFile& file) {
        const QString section = kTemplatePrefix + QString::number(number);
        file.SetString(section, QStringLiteral("Title"), title);
        file.SetString(section, QStringLiteral("Subject"), subject);
        file.SetString(section, QStringLiteral("Body"), EscapeLineBreaks(body));
        return true;
    });
}

QList<int> CGlobalSettings::TemplateNumbers() {
    QList<int> numbers;
    const std::string path = SettingsPath();
    if (path.empty()) return numbers;
    CIniFile file;
    file.Load(path);
    for (const QString& section : file.Sections()) {
        int number = TemplateNumberOf(section);
        if (number >= 0 && !numbers.contains(number)) numbers.append(number);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}
