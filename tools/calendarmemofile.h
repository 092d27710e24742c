// Writes the sheet's calendar memo file of one year ("CalendarMemo2025.txt"): code page
// 932, CR LF line ends, a two-line header, then nested year, month and day blocks with one
// "DD=note" line per day. Line breaks inside a note are stored as "<BR>".
#pragma once

#include <QString>
#include <map>
#include <string>

namespace velodb {

// Notes of one year by day: key "YYYYMMDD", value the note text.
using CalendarNotes = std::map<std::string, QString>;

// The file name of a year's memo file, "CalendarMemo%04d.txt".
std::string CalendarMemoFileName(int year);

// The file's bytes for the notes of one year. Notes whose key does not belong to the
// year are left out.
std::string FormatCalendarMemo(int year, const CalendarNotes& notes);

// Writes the year's memo file into the folder, replacing an existing one atomically.
// Returns false with a description in *error when the file cannot be written.
bool WriteCalendarMemoFile(const std::string& folder, int year, const CalendarNotes& notes,
                           std::string* error);

}  // namespace velodb
