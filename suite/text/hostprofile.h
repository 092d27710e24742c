// The host program's own profile: per-workstation choices of the program that loaded the
// modules, kept in $XDG_CONFIG_HOME/velo/<program>.ini (~/.config when XDG_CONFIG_HOME is
// unset or not absolute). Sections and keys compare without regard to case.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "suite/text/inifile.h"

class CHostProfile {
public:
    // Names the profile file. Until called (or after an empty name), the name is the
    // application name of a running QCoreApplication, else the executable's base name,
    // else "velo". Slashes in the name become "_".
    static void SetProgramName(const QString& name);
    static QString ProgramName();
    // Full path of the profile file (which need not exist).
    static std::string Path();

    // Stored values, or `def` when the key is missing or the file cannot be read.
    static int GetProfileInt(const QString& section, const QString& key, int def);
    static QString GetProfileString(const QString& section, const QString& key,
                                    const QString& def = QString());
    // Store a value, creating the folder and file when needed; false when that fails.
    static bool WriteProfileInt(const QString& section, const QString& key, int value);
    static bool WriteProfileString(const QString& section, const QString& key,
                                   const QString& value);
    // Stores several values in one rewrite of the file: all of them, or none and false.
    static bool WriteProfileValues(const std::vector<CIniValue>& values);

private:
    static bool EnsureFolder();
};
