// Calendar memo reader: decodes the year's file from code page 932 first and parses the
// decoded text, so that a double-byte character whose second byte looks like "{" or "}"
// is never taken for a brace.
#include "sheet/calendarmemo.h"

#include <QStringList>
#include <cstdio>
#include <fstream>
#include <sstream>

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

}  // namespace velo::sheet
