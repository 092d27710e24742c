// Parser of the form data file.
#include "suite/formprinter/formdata.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "suite/formprinter/formsections.h"
#include "suite/text/cp932.h"

namespace {

constexpr std::uintmax_t kMaxFileBytes = 64u * 1024u * 1024u;
constexpr int kMaxIndex = 9999;

bool ParseCount(const SFormEntry* entry, int* value) {
    if (!entry) return false;
    bool ok = false;
    const int n = entry->value.trimmed().toInt(&ok);
    if (!ok || n < 0 || n > kMaxIndex) return false;
    *value = n;
    return true;
}

// "Data" followed by digits only; returns the number or -1.
int DataIndex(const QString& key, int digits) {
    if (!key.startsWith(QLatin1String("Data"), Qt::CaseInsensitive)) return -1;
    const QString rest = key.mid(4);
    if (rest.isEmpty() || (digits > 0 && rest.size() != digits)) return -1;
    for (QChar c : rest) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return -1;
    }
    if (rest.size() > 4) return -1;
    return rest.toInt();
}

bool SectionIs(const SFormSection& s, const char* name) {
    return s.name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// Page number of "[startpageN]" / "[endpageN]", or -1.
int PageMarker(const SFormSection& s, const char* prefix) {
    const QLatin1String p(prefix);
    if (!s.name.startsWith(p, Qt::CaseInsensitive)) return -1;
    bool ok = false;
    const int n = s.name.mid(p.size()).toInt(&ok);
    return ok ? n : -1;
}

void ReadSimpleData(const SFormSection& s, FormPage* page) {
    int count = 0;
    if (ParseCount(FindFormEntry(s, QStringLiteral("Count")), &count)) {
        page->simpleData.resize(count);
    }
    for (const SFormEntry& e : s.entries) {
        const int n = DataIndex(e.key, 0);
        if (n < 1) continue;
        if (static_cast<int>(page->simpleData.size()) < n) page->simpleData.resize(n);
        page->simpleData[n - 1] = e.value;
    }
}

void ReadList(const SFormSection& s, FormList* list) {
    ParseCount(FindFormEntry(s, QStringLiteral("RowCount")), &list->rowCount);
    ParseCount(FindFormEntry(s, QStringLiteral("ColumnCount")), &list->columnCount);
    for (const SFormEntry& e : s.entries) {
        const int code = DataIndex(e.key, 4);
        if (code < 0) continue;
        const int slot = code / 100;
        const int field = code % 100;
        if (slot < 1 || field < 1) continue;
        if (list->SlotCount() < slot) list->cells.resize(slot);
        auto& row = list->cells[slot - 1];
        if (static_cast<int>(row.size()) < field) row.resize(field);
        row[field - 1] = e.value;
    }
}

}  // namespace

QString FormList::Cell(int slot, int field) const {
    if (slot < 1 || slot > SlotCount()) return QString();
    const auto& row = cells[slot - 1];
    if (field < 1 || field > static_cast<int>(row.size())) return QString();
    return row[field - 1];
}

QString FormPage::SimpleData(int n) const {
    if (n < 1 || n > static_cast<int>(simpleData.size())) return QString();
    return simpleData[n - 1];
}

const FormList* FormPage::List(int n) const {
    if (n < 1 || n > static_cast<int>(lists.size())) return nullptr;
    return &lists[n - 1];
}

bool ParseFormData(std::string_view bytes, FormData* data, QString* error) {
    *data = FormData();
    std::vector<SFormSection> sections;
    if (!SplitFormSections(Cp932ToQString(bytes), &sections, error)) return false;
    auto fail = [error](const QString& text) {
        if (error) *error = text;
        return false;
    };

    size_t i = 0;
    while (i < sections.size() && !SectionIs(sections[i], "page")) ++i;
    if (i == sections.size()) return fail(QStringLiteral("no [page] section"));
    int pageCount = 0;
    if (!ParseCount(FindFormEntry(sections[i], QStringLiteral("pagecount")), &pageCount) ||
        pageCount < 1) {
        return fail(
            QStringLiteral("line %1: [page] needs a positive pagecount").arg(sections[i].line));
    }
    data->pageCount = pageCount;
    ++i;

    FormPage* open = nullptr;
    for (; i < sections.size(); ++i) {
        const SFormSection& s = sections[i];
        const int start = PageMarker(s, "startpage");
        const int end = PageMarker(s, "endpage");
        if (start >= 0) {
            if (open)
                return fail(
                    QStringLiteral("line %1: page %2 not closed").arg(s.line).arg(open->number));
            const int expected = static_cast<int>(data->pages.size()) + 1;
            if (start != expected) {
                return fail(QStringLiteral("line %1: page %2 where page %3 was expected")
                                .arg(s.line)
                                .arg(start)
                                .arg(expected));
            }
            if (expected > pageCount) {
                return fail(QStringLiteral("line %1: more pages than pagecount=%2")
                                .arg(s.line)
                                .arg(pageCount));
            }
            data->pages.push_back(FormPage());
            open = &data->pages.back();
            open->number = start;
        } else if (end >= 0) {
            if (!open || end != open->number) {
                return fail(
                    QStringLiteral("line %1: [%2] without its start").arg(s.line).arg(s.name));
            }
            open = nullptr;
        } else if (!open) {
            continue;  // sections outside pages carry nothing for the form
        } else if (SectionIs(s, "SimpleData")) {
            ReadSimpleData(s, open);
        } else if (SectionIs(s, "ListData")) {
            int count = 0;
            if (ParseCount(FindFormEntry(s, QStringLiteral("ListCount")), &count) &&
                static_cast<int>(open->lists.size()) < count) {
                open->lists.resize(count);
            }
        } else if (s.name.startsWith(QLatin1String("ListData"), Qt::CaseInsensitive)) {
            bool ok = false;
            const int n = s.name.mid(8).toInt(&ok);
            if (!ok || n < 1 || n > 99) continue;
            if (static_cast<int>(open->lists.size()) < n) open->lists.resize(n);
            ReadList(s, &open->lists[n - 1]);
        }
    }
    if (open) return fail(QStringLiteral("page %1 not closed").arg(open->number));
    if (static_cast<int>(data->pages.size()) != pageCount) {
        return fail(QStringLiteral("pagecount=%1 but %2 page(s) found")
                        .arg(pageCount)
                        .arg(data->pages.size()));
    }
    return true;
}

bool ReadSmallFile(const std::string& path, std::string* bytes, QString* error) {
    bytes->clear();
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec)) {
        if (error) *error = QStringLiteral("not a regular file");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        if (error) *error = QStringLiteral("cannot read the file");
        return false;
    }
    if (static_cast<std::uintmax_t>(size) > kMaxFileBytes) {
        if (error) *error = QStringLiteral("file too large");
        return false;
    }
    in.seekg(0, std::ios::beg);
    bytes->resize(static_cast<size_t>(size));
    if (size > 0 && !in.read(bytes->data(), size)) {
        if (error) *error = QStringLiteral("cannot read the file");
        bytes->clear();
        return false;
    }
    return true;
}

bool ReadFormDataFile(const std::string& path, FormData* data, QString* error) {
    *data = FormData();
    std::string bytes;
    if (!ReadSmallFile(path, &bytes, error)) return false;
    return ParseFormData(bytes, data, error);
}
