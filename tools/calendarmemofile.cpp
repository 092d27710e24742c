// The calendar memo file writer of velodb; the layout is the one the sheet's memo dialog
// reads and writes.
#include "calendarmemofile.h"

#include <cstdio>
#include <filesystem>

#include "suite/text/atomicfile.h"
#include "suite/text/cp932.h"
#include "suite/text/sharedfilelock.h"

namespace velodb {

std::string CalendarMemoFileName(int year) {
    char name[32];
    std::snprintf(name, sizeof name, "CalendarMemo%04d.txt", year);
    return name;
}

std::string FormatCalendarMemo(int year, const CalendarNotes& notes) {
    const std::string crlf = "\r\n";
    char yearText[8];
    std::snprintf(yearText, sizeof yearText, "%04d", year);

    std::string text = "CalendarMemoFile" + crlf + "Version 1.00" + crlf + crlf;
    text += std::string(yearText) + " {" + crlf;
    std::string openMonth;
    for (const auto& [key, note] : notes) {
        if (key.size() != 8 || key.compare(0, 4, yearText) != 0) continue;
        const std::string month = key.substr(4, 2);
        if (month != openMonth) {
            if (!openMonth.empty()) text += "\t}" + crlf;
            text += "\t" + month + " {" + crlf;
            openMonth = month;
        }
        QString flat = note;
        flat.replace(QStringLiteral("\r\n"), QStringLiteral("<BR>"));
        flat.replace(QChar('\n'), QStringLiteral("<BR>"));
        flat.remove(QChar('\r'));
        text += "\t\t" + key.substr(6, 2) + "=" + QStringToCp932(flat) + crlf;
    }
    if (!openMonth.empty()) text += "\t}" + crlf;
    text += "}" + crlf;
    return text;
}

bool WriteCalendarMemoFile(const std::string& folder, int year, const CalendarNotes& notes,
                           std::string* error) {
    const std::string path = (std::filesystem::path(folder) / CalendarMemoFileName(year)).string();
    // Under the lock the sheet's memo dialog takes too, so the file never changes between
    // the dialog's reading it and its writing the merged notes.
    const CSharedFileLock lock(path);
    if (!lock.IsLocked()) {
        if (error != nullptr) *error = lock.Error();
        return false;
    }
    return WriteFileAtomically(path, FormatCalendarMemo(year, notes), error);
}

}  // namespace velodb
