// Reader of the calendar memo files: one note per day, one text file per year
// ("CalendarMemoYYYY.txt" in the database folder, code page 932, lines ended by CR LF).
// The sheet shows these notes as marks and tooltips in its month calendar and as the day's
// note in the status line; the memo dialog edits them through CalendarMemoBook. The file is
// a small block format (named blocks in braces, key=value lines, "//" comments); notes keep
// their line breaks as "<BR>", which reading turns back into CR LF.
#pragma once

#include <QString>
#include <array>
#include <functional>
#include <set>
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

// What reading a year's file found.
enum class MemoFileRead {
    kRead,        // a memo file: its notes were appended
    kNoFile,      // no file, or an empty one: the year has no notes yet
    kUnreadable,  // a file that could not be opened or read, or that is not a memo file
};

// Reads one year's file from the folder into *out (appending); *out is unchanged unless
// kRead is returned. The file is code page 932, except that a file starting with a UTF-8
// byte-order mark (as some editors save it) is UTF-8.
MemoFileRead ReadCalendarMemoFile(const std::string& folder, int year,
                                  std::vector<CalendarMemo>* out);

// Same as ReadCalendarMemoFile, true for kRead: for screens that only show the notes.
bool ReadCalendarMemoYear(const std::string& folder, int year, std::vector<CalendarMemo>* out);

// Test hook: called with the path before a memo file is opened for reading; returning false
// makes the open fail, as on a share that is busy for a moment. Pass an empty function to
// remove the hook.
void SetCalendarMemoReadHookForTesting(std::function<bool(const std::string&)> hook);

// The notes of one month from its year's file; all empty when there is none.
MonthMemos ReadMonthMemos(const std::string& folder, int year, int month);

// "YYYYMMDD" of a date.
std::string CalendarMemoKey(int year, int month, int day);

// The bytes of one year's file (code page 932, CR LF): the header, then the notes of that
// year, which must be sorted by key, in month blocks. Line breaks of a note (CR LF, LF or a
// lone CR) become "<BR>"; an empty note is written as a day line ending in "=".
std::string FormatCalendarMemoYear(int year, const std::vector<CalendarMemo>& sortedNotes);

// The loaded notes with the pending edits laid over them, sorted by key (byte-wise): a
// pending note replaces the loaded one of the same key; the later of two pending edits
// of one key wins.
std::vector<CalendarMemo> MergeCalendarMemos(const std::vector<CalendarMemo>& loaded,
                                             const std::vector<CalendarMemo>& pending);

// The notes of one day at a time, as the memo dialog edits them: the notes read from the
// year files, and the edits not yet saved. Saving writes each edited year to its own file,
// atomically, so a failed save leaves every file either old or new and keeps the edits.
class CalendarMemoBook {
public:
    explicit CalendarMemoBook(std::string folder) : m_folder(std::move(folder)) {}

    // Reads a year's file once; a missing or unreadable file adds nothing.
    void LoadYear(int year);
    // The note shown for a key: the pending edit, else the loaded note, else "".
    QString NoteOf(const std::string& key) const;
    // Records an edit of a key, replacing an earlier edit of the same key.
    void SetPending(const std::string& key, const QString& text);
    bool HasPending() const { return !m_pending.empty(); }
    const std::vector<CalendarMemo>& Pending() const { return m_pending; }

    // Writes every year that has a pending edit. Each year's file is read again first and
    // the edits are merged into what it holds then, so that notes another workstation saved
    // since the year was loaded are kept; the folder's CSharedFileLock is held from that
    // reading to the last write, so that two saves at the same moment both keep their
    // notes. When a year's file exists but cannot be read, nothing is written (it would
    // replace that year's notes with the edits alone): UnreadableFile() names it and false
    // is returned. Otherwise returns false at the first year that cannot be written (or
    // when the lock cannot be had). On failure *error (when not null) holds the path and
    // the reason, and the pending edits are kept, so the save can be tried again. On
    // success the edits become loaded notes.
    bool Save(std::string* error);
    // The year file that stopped the last Save because it could not be read; "" otherwise.
    const std::string& UnreadableFile() const { return m_unreadableFile; }

private:
    std::string m_folder;
    std::string m_unreadableFile;
    std::set<int> m_loadedYears;
    std::vector<CalendarMemo> m_loaded;
    std::vector<CalendarMemo> m_pending;
};

}  // namespace velo::sheet
