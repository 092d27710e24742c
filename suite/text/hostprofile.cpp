// CHostProfile over CIniFile: path resolution from the XDG variables and the program name.
#include "suite/text/hostprofile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "suite/text/inifile.h"

namespace {

std::mutex g_nameMutex;
QString g_programName;

QString DefaultProgramName() {
    if (QCoreApplication::instance() != nullptr) {
        QString name = QCoreApplication::applicationName();
        if (!name.isEmpty()) return name;
    }
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && !exe.filename().empty()) return QString::fromStdString(exe.filename().string());
    return QStringLiteral("velo");
}

std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && home[0] != '\0' ? home : ".") + "/.config";
}

}  // namespace

void CHostProfile::SetProgramName(const QString& name) {
    std::lock_guard<std::mutex> lock(g_nameMutex);
    g_programName = name;
}

QString CHostProfile::ProgramName() {
    QString name;
    {
        std::lock_guard<std::mutex> lock(g_nameMutex);
        name = g_programName;
    }
    if (name.isEmpty()) name = DefaultProgramName();
    name.replace(u'/', u'_');
    return name;
}

std::string CHostProfile::Path() {
    return ConfigHome() + "/velo/" + ProgramName().toStdString() + ".ini";
}

int CHostProfile::GetProfileInt(const QString& section, const QString& key, int def) {
    return CIniFile::ReadInt(Path(), section, key, def);
}

QString CHostProfile::GetProfileString(const QString& section, const QString& key,
                                       const QString& def) {
    return CIniFile::ReadString(Path(), section, key, def);
}

bool CHostProfile::EnsureFolder() {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(Path()).parent_path(), ec);
    return !ec;
}

bool CHostProfile::WriteProfileInt(const QString& section, const QString& key, int value) {
    return EnsureFolder() && CIniFile::WriteInt(Path(), section, key, value);
}

bool CHostProfile::WriteProfileString(const QString& section, const QString& key,
                                      const QString& value) {
    return EnsureFolder() && CIniFile::WriteString(Path(), section, key, value);
}

bool CHostProfile::WriteProfileValues(const std::vector<CIniValue>& values) {
    return EnsureFolder() && CIniFile::WriteValues(Path(), values);
}
