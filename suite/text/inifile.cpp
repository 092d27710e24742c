// CIniFile: a line-preserving ini model. Each line of the file is kept with its original
// bytes; only lines the caller changed are written anew, so comments, malformed lines and
// text in unconvertible bytes survive a load-modify-save untouched.
#include "suite/text/inifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <map>
#include <mutex>
#include <vector>

#include "suite/text/atomicfile.h"
#include "suite/text/cp932.h"
#include "suite/text/sharedfilelock.h"

namespace {

enum class ELineKind { Blank, Comment, Section, Key, Other };

struct SLine {
    ELineKind kind = ELineKind::Other;
    std::string raw;     // the line as read, without its line end; unused when dirty
    bool dirty = false;  // written from name/value instead of raw
    QString name;        // section name or key name
    QString value;       // key value as the caller sees it: trimmed, or unquoted
};

}  // namespace

struct CIniFile::SContent {
    std::vector<SLine> lines;
};

namespace {

// Identity of a file's content as far as the cache is concerned.
struct SStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtimeNs = 0;
    bool operator==(const SStamp&) const = default;
};

struct SCacheEntry {
    SStamp stamp;
    std::shared_ptr<const CIniFile::SContent> content;
};

constexpr size_t kCacheLimit = 64;
std::mutex g_cacheMutex;
std::map<std::string, SCacheEntry> g_cache;
std::atomic<long long> g_parseCount{0};

SStamp StampOf(const struct stat& st) {
    SStamp s;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return s;
}

std::shared_ptr<const CIniFile::SContent> CacheLookup(const std::string& path,
                                                      const SStamp& stamp) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    auto it = g_cache.find(path);
    if (it == g_cache.end() || !(it->second.stamp == stamp)) return nullptr;
    return it->second.content;
}

void CacheStore(const std::string& path, const SStamp& stamp,
                std::shared_ptr<const CIniFile::SContent> content) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    if (g_cache.size() >= kCacheLimit && g_cache.find(path) == g_cache.end()) g_cache.clear();
    g_cache[path] = SCacheEntry{stamp, std::move(content)};
}

void CacheForget(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    g_cache.erase(path);
}

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }

QString TrimBlanks(const QString& s) {
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && IsBlank(s[begin])) ++begin;
    while (end > begin && IsBlank(s[end - 1])) --end;
    return s.mid(begin, end - begin);
}

// A value is stored in double quotes when its own blanks or quotes would otherwise be lost:
// reading trims the blanks around a value and then takes off one pair of enclosing quotes,
// as the classic profile functions do, so unquoted files of older workstations read as
// they always have.
bool NeedsQuotes(const QString& value) {
    if (value.isEmpty()) return false;
    if (IsBlank(value.front()) || IsBlank(value.back())) return true;
    return value.size() >= 2 && value.front() == u'"' && value.back() == u'"';
}

QString QuotedIfNeeded(const QString& value) {
    return NeedsQuotes(value) ? QLatin1Char('"') + value + QLatin1Char('"') : value;
}

// `stored` is already trimmed.
QString Unquoted(const QString& stored) {
    if (stored.size() >= 2 && stored.front() == u'"' && stored.back() == u'"') {
        return stored.mid(1, stored.size() - 2);
    }
    return stored;
}

std::string KeyLineBytes(const QString& name, const QString& value) {
    return QStringToCp932(name) + "=" + QStringToCp932(QuotedIfNeeded(value));
}

// Names compare without regard to ASCII case; other characters must match exactly.
bool SameName(const QString& a, const QString& b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
        if (x != y) return false;
    }
    return true;
}

SLine ParseLine(std::string raw) {
    SLine line;
    const QString text = TrimBlanks(Cp932ToQString(raw));
    line.raw = std::move(raw);
    if (text.isEmpty()) {
        line.kind = ELineKind::Blank;
    } else if (text.startsWith(u';')) {
        line.kind = ELineKind::Comment;
    } else if (text.startsWith(u'[')) {
        qsizetype close = text.indexOf(u']');
        if (close > 0) {
            line.kind = ELineKind::Section;
            line.name = TrimBlanks(text.mid(1, close - 1));
        }
    } else {
        qsizetype eq = text.indexOf(u'=');
        if (eq > 0) {
            line.name = TrimBlanks(text.left(eq));
            line.value = Unquoted(TrimBlanks(text.mid(eq + 1)));
            if (!line.name.isEmpty()) line.kind = ELineKind::Key;
        }
    }
    return line;
}

std::shared_ptr<CIniFile::SContent> Parse(const std::string& bytes) {
    ++g_parseCount;
    auto content = std::make_shared<CIniFile::SContent>();
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        size_t next = (end == std::string::npos) ? bytes.size() : end + 1;
        if (end == std::string::npos) end = bytes.size();
        size_t length = end - start;
        if (length > 0 && bytes[start + length - 1] == '\r') --length;
        content->lines.push_back(ParseLine(bytes.substr(start, length)));
        start = next;
    }
    return content;
}

std::string Render(const CIniFile::SContent& content) {
    std::string out;
    for (const SLine& line : content.lines) {
        if (!line.dirty) {
            out += line.raw;
        } else if (line.kind == ELineKind::Section) {
            out += "[" + QStringToCp932(line.name) + "]";
        } else {
            out += KeyLineBytes(line.name, line.value);
        }
        out += "\r\n";
    }
    return out;
}

// Reads a file whole. Returns 0 on success, ENOENT for a missing file, else the error.
int ReadWholeFile(const std::string& path, std::string* bytes, SStamp* stamp) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return (errno == ENOENT || errno == ENOTDIR) ? ENOENT : errno;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = S_ISREG(st.st_mode) ? errno : EISDIR;
        close(fd);
        return err;
    }
    *stamp = StampOf(st);
    bytes->clear();
    char buffer[8192];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            close(fd);
            return err;
        }
        if (n == 0) break;
        bytes->append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return 0;
}

// The parsed content of a file as it is on the disk now, stored in the cache for later
// loads. Null when the file cannot be read; an empty content when it does not exist.
std::shared_ptr<const CIniFile::SContent> LoadFromDisk(const std::string& path) {
    std::string bytes;
    SStamp stamp;
    int err = ReadWholeFile(path, &bytes, &stamp);
    if (err == ENOENT) {
        CacheForget(path);
        return std::make_shared<CIniFile::SContent>();
    }
    if (err != 0) return nullptr;
    std::shared_ptr<const CIniFile::SContent> content = Parse(bytes);
    CacheStore(path, stamp, content);
    return content;
}

// The parsed content of a file, through the cache. Null when the file cannot be read;
// an empty content when it does not exist.
std::shared_ptr<const CIniFile::SContent> LoadShared(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        if (auto cached = CacheLookup(path, StampOf(st))) return cached;
    }
    return LoadFromDisk(path);
}

// Index of the first Key line of `key` in a section named `section`, or -1.
long FindKey(const CIniFile::SContent& content, const QString& section, const QString& key) {
    bool inSection = false;
    for (size_t i = 0; i < content.lines.size(); ++i) {
        const SLine& line = content.lines[i];
        if (line.kind == ELineKind::Section) {
            inSection = SameName(line.name, section);
        } else if (inSection && line.kind == ELineKind::Key && SameName(line.name, key)) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

const SLine* FindKeyLine(const CIniFile::SContent* content, const QString& section,
                         const QString& key) {
    if (content == nullptr) return nullptr;
    long index = FindKey(*content, section, key);
    return index < 0 ? nullptr : &content->lines[static_cast<size_t>(index)];
}

bool ValidSectionName(const QString& name) {
    return !name.isEmpty() && !name.contains(u']') && !name.contains(u'\n') &&
           !name.contains(u'\r');
}

bool ValidKeyName(const QString& name) {
    return !name.isEmpty() && !name.contains(u'=') && !name.contains(u'\n') &&
           !name.contains(u'\r') && !name.startsWith(u';') && !name.startsWith(u'[');
}

}  // namespace

CIniFile::CIniFile() : m_content(std::make_shared<SContent>()) {}
CIniFile::~CIniFile() = default;
CIniFile::CIniFile(const CIniFile&) = default;
CIniFile& CIniFile::operator=(const CIniFile&) = default;

CIniFile::SContent& CIniFile::Mutable() {
    if (m_content.use_count() != 1) m_content = std::make_shared<SContent>(*m_content);
    return const_cast<SContent&>(*m_content);
}

bool CIniFile::Load(const std::string& path) {
    m_path = path;
    auto content = LoadShared(path);
    if (!content) {
        m_content = std::make_shared<SContent>();
        return false;
    }
    m_content = std::move(content);
    return true;
}

QString CIniFile::GetString(const QString& section, const QString& key, const QString& def) const {
    const SLine* line = FindKeyLine(m_content.get(), section, key);
    return line ? line->value : def;
}

int CIniFile::GetInt(const QString& section, const QString& key, int def) const {
    const SLine* line = FindKeyLine(m_content.get(), section, key);
    return line ? ParseInt(line->value, def) : def;
}

bool CIniFile::HasSection(const QString& section) const {
    for (const SLine& line : m_content->lines) {
        if (line.kind == ELineKind::Section && SameName(line.name, section)) return true;
    }
    return false;
}

bool CIniFile::HasKey(const QString& section, const QString& key) const {
    return FindKeyLine(m_content.get(), section, key) != nullptr;
}

bool CIniFile::SetString(const QString& section, const QString& key, const QString& value) {
    const QString sectionName = TrimBlanks(section);
    const QString keyName = TrimBlanks(key);
    if (!ValidSectionName(sectionName) || !ValidKeyName(keyName)) return false;
    QString cleanValue = value;
    cleanValue.replace(QStringLiteral("\r\n"), QStringLiteral(" "))
        .replace(u'\r', u' ')
        .replace(u'\n', u' ');

    SContent& content = Mutable();
    long index = FindKey(content, sectionName, keyName);
    if (index >= 0) {
        SLine& line = content.lines[static_cast<size_t>(index)];
        if (line.value == cleanValue) return true;
        line.value = cleanValue;
        line.dirty = true;
        return true;
    }
    SLine line;
    line.kind = ELineKind::Key;
    line.dirty = true;
    line.name = keyName;
    line.value = cleanValue;

    // After the last key of the first section of that name, or right after its header.
    long insertAt = -1;
    bool inSection = false;
    bool seenSection = false;
    for (size_t i = 0; i < content.lines.size(); ++i) {
        const SLine& l = content.lines[i];
        if (l.kind == ELineKind::Section) {
            if (seenSection && inSection) break;
            inSection = SameName(l.name, sectionName);
            if (inSection) {
                seenSection = true;
                insertAt = static_cast<long>(i) + 1;
            }
        } else if (inSection && l.kind == ELineKind::Key) {
            insertAt = static_cast<long>(i) + 1;
        }
    }
    if (insertAt >= 0) {
        content.lines.insert(content.lines.begin() + insertAt, std::move(line));
        return true;
    }
    SLine header;
    header.kind = ELineKind::Section;
    header.dirty = true;
    header.name = sectionName;
    content.lines.push_back(std::move(header));
    content.lines.push_back(std::move(line));
    return true;
}

bool CIniFile::SetInt(const QString& section, const QString& key, int value) {
    return SetString(section, key, QString::number(value));
}

void CIniFile::RemoveKey(const QString& section, const QString& key) {
    if (!HasKey(section, key)) return;
    SContent& content = Mutable();
    bool inSection = false;
    std::vector<SLine> kept;
    kept.reserve(content.lines.size());
    for (SLine& line : content.lines) {
        if (line.kind == ELineKind::Section) inSection = SameName(line.name, section);
        if (inSection && line.kind == ELineKind::Key && SameName(line.name, key)) continue;
        kept.push_back(std::move(line));
    }
    content.lines = std::move(kept);
}

void CIniFile::RemoveSection(const QString& section) {
    if (!HasSection(section)) return;
    SContent& content = Mutable();
    bool inSection = false;
    std::vector<SLine> kept;
    kept.reserve(content.lines.size());
    for (SLine& line : content.lines) {
        if (line.kind == ELineKind::Section) inSection = SameName(line.name, section);
        if (inSection) continue;
        kept.push_back(std::move(line));
    }
    content.lines = std::move(kept);
}

QStringList CIniFile::Sections() const {
    QStringList names;
    for (const SLine& line : m_content->lines) {
        if (line.kind != ELineKind::Section) continue;
        bool known = false;
        for (const QString& n : names) known = known || SameName(n, line.name);
        if (!known) names.append(line.name);
    }
    return names;
}

QStringList CIniFile::Keys(const QString& section) const {
    QStringList names;
    bool inSection = false;
    for (const SLine& line : m_content->lines) {
        if (line.kind == ELineKind::Section) inSection = SameName(line.name, section);
        if (!inSection || line.kind != ELineKind::Key) continue;
        bool known = false;
        for (const QString& n : names) known = known || SameName(n, line.name);
        if (!known) names.append(line.name);
    }
    return names;
}

bool CIniFile::Save(std::string* error) {
    if (m_path.empty()) {
        if (error) *error = "the ini file has no path";
        return false;
    }
    return Save(m_path, error);
}

bool CIniFile::Save(const std::string& path, std::string* error) {
    if (!WriteFileAtomically(path, Render(*m_content), error)) return false;
    m_path = path;
    // The saved lines are now what the file holds, so the next load can reuse them.
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        auto saved = std::make_shared<SContent>();
        saved->lines.reserve(m_content->lines.size());
        for (const SLine& line : m_content->lines) {
            SLine copy = line;
            if (copy.dirty) {
                copy.raw = copy.kind == ELineKind::Section ? "[" + QStringToCp932(copy.name) + "]"
                                                           : KeyLineBytes(copy.name, copy.value);
                copy = ParseLine(copy.raw);
            }
            saved->lines.push_back(std::move(copy));
        }
        m_content = saved;
        CacheStore(path, StampOf(st), std::move(saved));
    } else {
        CacheForget(path);
    }
    return true;
}

QString CIniFile::ReadString(const std::string& path, const QString& section, const QString& key,
                             const QString& def) {
    auto content = LoadShared(path);
    const SLine* line = FindKeyLine(content.get(), section, key);
    return line ? line->value : def;
}

int CIniFile::ReadInt(const std::string& path, const QString& section, const QString& key,
                      int def) {
    auto content = LoadShared(path);
    const SLine* line = FindKeyLine(content.get(), section, key);
    return line ? ParseInt(line->value, def) : def;
}

bool CIniFile::WriteString(const std::string& path, const QString& section, const QString& key,
                           const QString& value, std::string* error) {
    return WriteValues(path, {{section, key, value}}, error);
}

bool CIniFile::WriteInt(const std::string& path, const QString& section, const QString& key,
                        int value, std::string* error) {
    return WriteString(path, section, key, QString::number(value), error);
}

bool CIniFile::Update(const std::string& path, const std::function<bool(CIniFile&)>& change,
                      std::string* error) {
    const CSharedFileLock lock(path);
    if (!lock.IsLocked()) {
        if (error) *error = lock.Error();
        return false;
    }
    // Under the lock the file is read from the disk: a change another program saved a
    // moment ago can carry the same size, time stamp and even inode number as the content
    // the cache holds.
    CIniFile file;
    file.m_path = path;
    file.m_content = LoadFromDisk(path);
    if (!file.m_content) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    if (!change(file)) return false;
    return file.Save(path, error);
}

bool CIniFile::WriteValues(const std::string& path, const std::vector<CIniValue>& values,
                           std::string* error) {
    return Update(
        path,
        [&](CIniFile& file) {
            for (const CIniValue& v : values) {
                if (file.SetString(v.section, v.key, v.value)) continue;
                if (error) {
                    *error = "invalid section or key name [" + v.section.toStdString() + "] " +
                             v.key.toStdString() + " for " + path;
                }
                return false;
            }
            return true;
        },
        error);
}

int CIniFile::ParseInt(const QString& text, int def) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    auto digit = [&](qsizetype at, int base) -> int {
        if (at >= n) return -1;
        char16_t c = text[at].unicode();
        if (c >= u'0' && c <= u'9') return c - u'0';
        if (base == 16 && c >= u'a' && c <= u'f') return c - u'a' + 10;
        if (base == 16 && c >= u'A' && c <= u'F') return c - u'A' + 10;
        return -1;
    };
    int base = 10;
    if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
        digit(i + 2, 16) >= 0) {
        base = 16;
        i += 2;
    }
    if (digit(i, base) < 0) return def;
    unsigned long long magnitude = 0;
    for (int d; (d = digit(i, base)) >= 0; ++i) {
        if (magnitude <= 0xFFFFFFFFFULL)
            magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    }
    if (base == 16) {
        // Hexadecimal values are bit patterns (colour references): keep the low 32 bits.
        unsigned int bits =
            static_cast<unsigned int>(magnitude > 0xFFFFFFFFULL ? 0xFFFFFFFFULL : magnitude);
        int value = static_cast<int>(bits);
        return negative ? static_cast<int>(0u - bits) : value;
    }
    long long value =
        negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

void CIniFile::ClearCache() {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    g_cache.clear();
}

long long CIniFile::ParseCount() { return g_parseCount.load(); }
