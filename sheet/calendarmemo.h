// Reader of the calendar memo files: one note per day, one text file per year
// ("CalendarMemoYYYY.txt" in the database folder, code page 932). The sheet shows these
// notes as marks and tooltips in its month calendar and as the day's note in the status
// line. The file is a small block format (named blocks in braces, key=value lines, "//"
// comments); notes keep their line breaks as "<BR>", which reading turns back into CR LF.
#pragma once

#include <QString>
#include <array>
#include <string>
#include <vector>

namespace velo::sheet {

struct CalendarMemo {
    std::string key;  // YYYYMMDD
    QString text;     // line breaks as CR LF
};

// Notes of one month by day: index 1..31 (index 0 unused); an empty text means no note.
using MonthMemos = std::array<QString, 32>;

// "<folder>/CalendarMemoYYYY.txt" (no separator added when the folder already ends in "/").
std::string CalendarMemoPath(const std::string& folder, int year);

// Parses the decoded text of a memo file and appends its notes to *out in file order.
// Returns false, adding nothing, when the first line is not "CalendarMemoFile" or the second
// does not begin with "Version". Lines are trimmed of blanks and tabs at both ends; a line
// ending in "{" opens a block named by the rest, a line beginning with "}" closes one. A
// "//" starts a comment on block lines and in front of the "=", but inside a note it is
// text, so that notes holding addresses survive. Day lines count only inside a year and a
// month block, and only when year, month and day make an eight-digit key. An empty note,
// and a key equal to the one added just before, are skipped.
bool ParseCalendarMemo(const QString& content, std::vector<CalendarMemo>* out);

// Reads one year's file from the folder into *out (appending). Returns false when the file
// is missing, unreadable or not a memo file; *out is then unchanged.
bool ReadCalendarMemoYear(const std::string& folder, int year, std::vector<CalendarMemo>* out);

// The notes of one month from its year's file; all empty when there is none.
MonthMemos ReadMonthMemos(const std::string& folder, int year, int month);

}  // namespace velo::sheet
