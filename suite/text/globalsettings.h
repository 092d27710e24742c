// The suite's shared settings: GlobalSetting.ini in the current database folder, in code
// page 932, sections and keys compared without regard to case. Besides single values it
// holds the clinic's office hours, the clinic's own closed and open days and the reminder
// mail templates. Every workstation using the folder reads and changes the one file: each
// Set below is one CIniFile::Update, so changes made at the same moment by two programs
// are both kept.
#pragma once

#include <QList>
#include <QString>
#include <map>
#include <string>
#include <vector>

#include "suite/text/inifile.h"
#include "suite/text/officehour.h"

class CGlobalSettings {
public:
    // Sets the process-wide database folder (the host and the database handle call it).
    // An empty folder clears it, so the host profile's choice applies again.
    static void SetDatabaseFolder(const std::string& folder);
    // The database folder with a trailing "/": the folder set above or else the host
    // profile's "GLOBAL"/"DATABASE"; "" when neither names one.
    static std::string DatabaseFolder();
    // DatabaseFolder() + "GlobalSetting.ini" (an existing file whose name differs only in
    // case is used instead); "" when there is no database folder, in which case reads give
    // their defaults and writes fail.
    static std::string SettingsPath();

    static int GetInt(const QString& section, const QString& key, int def);
    static QString GetString(const QString& section, const QString& key,
                             const QString& def = QString());
    static bool SetInt(const QString& section, const QString& key, int value);
    static bool SetString(const QString& section, const QString& key, const QString& value);
    // Stores several values in one rewrite of the file: all of them, or after a failure none
    // (then false, with the reason in `error` when it is not null).
    static bool SetValues(const std::vector<CIniValue>& values, std::string* error = nullptr);

    // Section "OfficeHour", keys "Week0" (Sunday) .. "Week6", each "open,breakStart,
    // breakEnd,close" in HHMM. A missing or malformed entry leaves that day all zero.
    static void GetOfficeHours(VELOOFFICEHOUR* hours);
    static bool SetOfficeHours(const VELOOFFICEHOUR& hours);

    // Section "ClinicDayOff", key "YYYYMMDD", value 1 on a closed day (0 or missing: open).
    static bool IsClinicDayOff(int y, int m, int d);
    static bool SetClinicDayOff(int y, int m, int d, bool off);
    // Section "ClinicDayOpen", key "YYYYMMDD", value 1 on a day the clinic opens although it
    // is a national holiday (0 or missing: the holiday closes it).
    static bool IsClinicDayOpen(int y, int m, int d);

    // The clinic's own mark of one day, from the two sections above. A day marked in both
    // (only a hand-edited file can do that) counts as closed.
    enum EClinicDay { kClinicDayUsual = 0, kClinicDayClosed = 1, kClinicDayOpen = 2 };
    static EClinicDay GetClinicDay(int y, int m, int d);
    // Every day with a mark, keyed "YYYYMMDD" (keys that are not such dates are skipped).
    static std::map<std::string, EClinicDay> ClinicDays();
    // Sets the marks of several days, keyed "YYYYMMDD", in one rewrite of the file: each
    // day loses its old mark and gets the new one (none for kClinicDayUsual). All or none;
    // false with the reason in `error` when the file cannot be written.
    static bool SetClinicDays(const std::map<std::string, EClinicDay>& days,
                              std::string* error = nullptr);

    // Sections "MailTemplate<number>" with keys "Title", "Subject", "Body"; line breaks of
    // the body are stored as the two characters "\n" and a backslash as "\\". Get returns
    // false, leaving the strings unchanged, when the template does not exist.
    static bool GetReservationTemplate(int number, QString* title, QString* subject, QString* body);
    static bool SetReservationTemplate(int number, const QString& title, const QString& subject,
                                       const QString& body);
    // Numbers of the stored templates, ascending.
    static QList<int> TemplateNumbers();

    // The body escaping used above, for callers that store texts the same way.
    static QString EscapeLineBreaks(const QString& text);
    static QString UnescapeLineBreaks(const QString& stored);
};
