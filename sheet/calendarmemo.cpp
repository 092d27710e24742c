// Calendar memo files: the reader decodes the year's file from code page 932 first and
// parses the decoded text, so that a double-byte character whose second byte looks like
// "{" or "}" is never taken for a brace; the writer builds a whole year in memory and
// replaces the file in one step, under the folder's lock for shared files.
#include "sheet/calendarmemo.h"

#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string_view>

#include "suite/text/atomicfile.h"
#include "suite/text/cp932.h"
#include "suite/text/sharedfilelock.h"

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

std::function<bool(const std::string&)>& ReadHook() {
    static std::function<bool(const std::string&)> hook;
    return hook;
}

// The file's text: code page 932, or UTF-8 after a byte-order mark.
QString DecodeMemoFile(std::string_view bytes) {
    constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
    if (bytes.starts_with(kUtf8Bom)) {
        bytes.remove_prefix(kUtf8Bom.size());
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    return Cp932ToQString(bytes);
}

// The whole file into *bytes. kNoFile when there is none; kUnreadable when something is
// there that cannot be read as a file.
MemoFileRead ReadMemoFileBytes(const std::string& path, std::string* bytes) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return MemoFileRead::kNoFile;
    if (error || status.type() != std::filesystem::file_type::regular)
        return MemoFileRead::kUnreadable;
    if (ReadHook() && !ReadHook()(path)) return MemoFileRead::kUnreadable;
    std::ifstream file(path, std::ios::binary);
    if (!file) return MemoFileRead::kUnreadable;
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad()) return MemoFileRead::kUnreadable;
    return MemoFileRead::kRead;
}

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

MemoFileRead ReadCalendarMemoFile(const std::string& folder, int year,
                                  std::vector<CalendarMemo>* out) {
    std::string bytes;
    const MemoFileRead read = ReadMemoFileBytes(CalendarMemoPath(folder, year), &bytes);
    if (read != MemoFileRead::kRead) return read;
    const QString text = DecodeMemoFile(bytes);
    if (text.trimmed().isEmpty()) return MemoFileRead::kNoFile;
    // Something that is not a memo file is not ours to replace.
    return ParseCalendarMemo(text, out) ? MemoFileRead::kRead : MemoFileRead::kUnreadable;
}

bool ReadCalendarMemoYear(const std::string& folder, int year, std::vector<CalendarMemo>* out) {
    return ReadCalendarMemoFile(folder, year, out) == MemoFileRead::kRead;
}

void SetCalendarMemoReadHookForTesting(std::function<bool(const std::string&)> hook) {
    ReadHook() = std::move(hook);
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
    m_unreadableFile.clear();
    std::set<int> years;
    for (const CalendarMemo& note : m_pending) years.insert(YearOfKey(note.key));
    if (years.empty()) return true;
    // From the reading of the files to the last write, no other program changes them: each
    // save merges into what the one before it wrote.
    const CSharedFileLock lock(CalendarMemoPath(m_folder, *years.begin()));
    if (!lock.IsLocked()) {
        if (error != nullptr) *error = lock.Error();
        return false;
    }
    // Every year is read before any is written, so that an unreadable one stops the save
    // while all files are still as they were.
    std::map<int, std::vector<CalendarMemo>> merged;
    for (int year : years) {
        std::vector<CalendarMemo> stored;
        if (ReadCalendarMemoFile(m_folder, year, &stored) == MemoFileRead::kUnreadable) {
            m_unreadableFile = CalendarMemoPath(m_folder, year);
            if (error != nullptr) *error = m_unreadableFile + ": cannot be read";
            return false;
        }
        merged[year] = MergeCalendarMemos(stored, m_pending);
    }
    for (const auto& [year, notes] : merged) {
        const std::string path = CalendarMemoPath(m_folder, year);
        std::string reason;
        if (!WriteFileAtomically(path, FormatCalendarMemoYear(year, notes), &reason)) {
            if (error != nullptr) *error = path + ": " + reason;
            return false;
        }
    }
    std::erase_if(m_loaded, [&years](const CalendarMemo& note) {
        return years.count(YearOfKey(note.key)) != 0;
    });
    for (const auto& [year, notes] : merged) {
        m_loadedYears.insert(year);
        for (const CalendarMemo& note : notes)
            if (YearOfKey(note.key) == year) m_loaded.push_back(note);
    }
    m_pending.clear();
    return true;
}

}  // namespace velo::sheet
