// Calendar memo files: the reader decodes the year's file from code page 932 first and
// parses the decoded text, so that a double-byte character whose second byte looks like
// "{" or "}" is never taken for a brace; the writer builds a whole year in memory and
// replaces the file in one step.
#include "sheet/calendarmemo.h"

#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "suite/text/atomicfile.h"
#include "suite/text/cp932.h"

namespace velo::sheet {
namespace {

QString TrimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return text.mid(begin, end - begin);
}

QString WithoutComment(const QString& text) {
    const qsizetype at = text.indexOf(QStringLiteral("//"));
    return at < 0 ? text : text.left(at);
}

bool IsDigits(const QString& text, qsizetype length) {
    if (text.size() != length) return false;
    for (QChar c : text)
        if (c < u'0' || c > u'9') return false;
    return true;
}

int YearOfKey(const std::string& key) { return std::stoi(key.substr(0, 4)); }

bool ByKey(const CalendarMemo& a, const CalendarMemo& b) { return a.key < b.key; }

QString WithBreakMarks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("<BR>"));
    text.replace(u'\n', QStringLiteral("<BR>"));
    text.replace(u'\r', QStringLiteral("<BR>"));
    return text;
}

}  // namespace

std::string CalendarMemoPath(const std::string& folder, int year) {
    char name[32];
    std::snprintf(name, sizeof name, "CalendarMemo%04d.txt", year);
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool ParseCalendarMemo(const QString& content, std::vector<CalendarMemo>* out) {
    QStringList lines = content.split(u'\n');
    for (QString& line : lines) line.remove(u'\r');
    if (lines.size() < 2 || TrimBlanks(lines[0]) != QStringLiteral("CalendarMemoFile") ||
        !TrimBlanks(lines[1]).startsWith(QStringLiteral("Version")))
        return false;

    std::vector<QString> blocks;  // names of the open blocks, outermost first
    std::string lastKey;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QString line = TrimBlanks(lines[i]);
        if (line.isEmpty() || line.startsWith(QStringLiteral("//"))) continue;
        if (line.startsWith(u'}')) {
            if (!blocks.empty()) blocks.pop_back();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        const QString head = WithoutComment(equals < 0 ? line : line.left(equals));
        if (equals < 0 || head.size() < equals) {
            // A block line (or a comment reaching over the "=").
            const QString code = TrimBlanks(head);
            if (code.endsWith(u'{')) blocks.push_back(TrimBlanks(code.chopped(1)));
            continue;
        }
        if (blocks.size() != 2) continue;
        const QString day = TrimBlanks(head);
        if (!IsDigits(blocks[0], 4) || !IsDigits(blocks[1], 2) || !IsDigits(day, 2)) continue;
        const QString value = line.mid(equals + 1);
        if (value.isEmpty()) continue;
        const std::string key = (blocks[0] + blocks[1] + day).toStdString();
        if (key == lastKey) continue;
        QString text = value;
        text.replace(QStringLiteral("<BR>"), QStringLiteral("\r\n"));
        out->push_back({key, text});
        lastKey = key;
    }
    return true;
}

bool ReadCalendarMemoYear(const std::string& folder, int year, std::vector<CalendarMemo>* out) {
    std::ifstream file(CalendarMemoPath(folder, year), std::ios::binary);
    if (!file) return false;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad()) return false;
    return ParseCalendarMemo(Cp932ToQString(bytes.str()), out);
}

MonthMemos ReadMonthMemos(const std::string& folder, int year, int month) {
    MonthMemos memos;
    std::vector<CalendarMemo> notes;
    if (!ReadCalendarMemoYear(folder, year, &notes)) return memos;
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%04d%02d", year, month);
    for (const CalendarMemo& note : notes) {
        if (note.key.compare(0, 6, prefix) != 0) continue;
        const int day = std::stoi(note.key.substr(6, 2));
        if (day >= 1 && day <= 31) memos[size_t(day)] = note.text;
    }
    return memos;
}

std::string CalendarMemoKey(int year, int month, int day) {
    char key[16];
    std::snprintf(key, sizeof key, "%04d%02d%02d", year, month, day);
    return key;
}

std::string FormatCalendarMemoYear(int year, const std::vector<CalendarMemo>& sortedNotes) {
    QString text = QStringLiteral("CalendarMemoFile\r\nVersion 1.00\r\n\r\n");
    text += QString::asprintf("%04d {\r\n", year);
    QString month;
    for (const CalendarMemo& note : sortedNotes) {
        if (note.key.size() != 8 || YearOfKey(note.key) != year) continue;
        const QString noteMonth = QString::fromStdString(note.key.substr(4, 2));
        if (noteMonth != month) {
            if (!month.isEmpty()) text += QStringLiteral("\t}\r\n");
            text += QStringLiteral("\t") + noteMonth + QStringLiteral(" {\r\n");
            month = noteMonth;
        }
        text += QStringLiteral("\t\t") + QString::fromStdString(note.key.substr(6, 2)) + u'=' +
                WithBreakMarks(note.text) + QStringLiteral("\r\n");
    }
    if (!month.isEmpty()) text += QStringLiteral("\t}\r\n");
    text += QStringLiteral("}\r\n");
    return QStringToCp932(text);
}

std::vector<CalendarMemo> MergeCalendarMemos(const std::vector<CalendarMemo>& loaded,
                                             const std::vector<CalendarMemo>& pending) {
    std::vector<CalendarMemo> merged = pending;
    // Later edits of a key come first after the reversal, so unique keeps them.
    std::reverse(merged.begin(), merged.end());
    std::stable_sort(merged.begin(), merged.end(), ByKey);
    merged.erase(
        std::unique(merged.begin(), merged.end(),
                    [](const CalendarMemo& a, const CalendarMemo& b) { return a.key == b.key; }),
        merged.end());
    for (const CalendarMemo& note : loaded) {
        const auto at = std::lower_bound(merged.begin(), merged.end(), note, ByKey);
        if (at == merged.end() || at->key != note.key) merged.insert(at, note);
    }
    return merged;
}

void CalendarMemoBook::LoadYear(int year) {
    if (!m_loadedYears.insert(year).second) return;
    ReadCalendarMemoYear(m_folder, year, &m_loaded);
}

QString CalendarMemoBook::NoteOf(const std::string& key) const {
    for (const CalendarMemo& note : m_pending)
        if (note.key == key) return note.text;
    for (const CalendarMemo& note : m_loaded)
        if (note.key == key) return note.text;
    return QString();
}

void CalendarMemoBook::SetPending(const std::string& key, const QString& text) {
    for (CalendarMemo& note : m_pending) {
        if (note.key == key) {
            note.text = text;
            return;
        }
    }
    m_pending.push_back({key, text});
}

bool CalendarMemoBook::Save(std::string* error) {
    std::set<int> years;
    for (const CalendarMemo& note : m_pending) years.insert(YearOfKey(note.key));
    // A year edited without being read first would otherwise lose its other notes.
    for (int year : years) LoadYear(year);
    const std::vector<CalendarMemo> merged = MergeCalendarMemos(m_loaded, m_pending);
    for (int year : years) {
        const std::string path = CalendarMemoPath(m_folder, year);
        std::string reason;
        if (!WriteFileAtomically(path, FormatCalendarMemoYear(year, merged), &reason)) {
            if (error != nullptr) *error = path + ": " + reason;
            return false;
        }
    }
    m_loaded = merged;
    m_pending.clear();
    return true;
}

}  // namespace velo::sheet
