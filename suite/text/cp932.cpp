// Code page 932 conversion over glibc's iconv. One converter per direction is opened per
// thread on first use and kept for the thread's lifetime, so the hot path of converting
// record fields opens nothing.
#include "suite/text/cp932.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr char kGetaMark[] = "\x81\xAC";  // "〓", written for characters CP932 lacks

// A converter that resets itself before every conversion and closes on thread exit.
class CIconv {
public:
    CIconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~CIconv() {
        if (Valid()) iconv_close(m_cd);
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;

    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Handle() const { return m_cd; }
    void Reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t m_cd;
};

CIconv& FromCp932() {
    thread_local CIconv cd("UTF-8", "CP932");
    return cd;
}

CIconv& ToCp932() {
    thread_local CIconv cd("CP932", "UTF-8");
    return cd;
}

// Length of the UTF-8 sequence that starts with `c` (1 for a stray continuation byte).
size_t Utf8SequenceLength(unsigned char c) {
    if (c >= 0xF0 && c <= 0xF7) return 4;
    if (c >= 0xE0) return 3;
    if (c >= 0xC0) return 2;
    return 1;
}

// Runs iconv over `in`, appending to `out`. On an unconvertible or invalid input sequence
// `onBad(at, left, out)` appends a replacement and returns how many input bytes to skip;
// `at` points at the offending sequence, `left` bytes of input remain from there.
template <typename OnBad>
void Convert(CIconv& cd, std::string_view in, std::string& out, OnBad onBad) {
    cd.Reset();
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[1024];
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof(buffer);
        size_t rc = iconv(cd.Handle(), &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (rc != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ (invalid or unmappable) or EINVAL (incomplete at the end).
        size_t skip = onBad(static_cast<const char*>(src), srcLeft, out);
        if (skip > srcLeft) skip = srcLeft;
        src += skip;
        srcLeft -= skip;
        cd.Reset();
    }
    char* dst = buffer;
    size_t dstLeft = sizeof(buffer);
    iconv(cd.Handle(), nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, static_cast<size_t>(dst - buffer));
}

}  // namespace

QString Cp932ToQString(std::string_view bytes) {
    if (bytes.empty()) return QString();
    CIconv& cd = FromCp932();
    if (!cd.Valid()) {
        // Without a converter only ASCII is safe to show as it is.
        QString text;
        for (unsigned char c : bytes) text.append(c < 0x80 ? QChar(c) : QChar(0xFFFD));
        return text;
    }
    std::string utf8;
    utf8.reserve(bytes.size() * 2);
    Convert(cd, bytes, utf8, [](const char*, size_t, std::string& out) {
        out.append("\xEF\xBF\xBD");  // U+FFFD
        return size_t{1};
    });
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString Cp932FieldToQString(const char* field, size_t width) {
    if (field == nullptr || width == 0) return QString();
    const void* zero = std::memchr(field, 0, width);
    size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : width;
    return Cp932ToQString(std::string_view(field, length));
}

std::string QStringToCp932(const QString& text) {
    if (text.isEmpty()) return std::string();
    QByteArray utf8 = text.toUtf8();
    std::string out;
    out.reserve(static_cast<size_t>(utf8.size()));
    CIconv& cd = ToCp932();
    if (!cd.Valid()) {
        for (char c : utf8) {
            if (static_cast<unsigned char>(c) < 0x80) out.push_back(c);
        }
        return out;
    }
    Convert(cd, std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())), out,
            [](const char* at, size_t, std::string& o) {
                o.append(kGetaMark);
                return Utf8SequenceLength(static_cast<unsigned char>(*at));
            });
    return out;
}

QString CharactersCp932Lacks(const QString& text) {
    QString lacking;
    if (text.isEmpty()) return lacking;
    CIconv& cd = ToCp932();
    const QByteArray utf8 = text.toUtf8();
    auto note = [&lacking](const char* at, size_t left) {
        const size_t length = std::min(Utf8SequenceLength(static_cast<unsigned char>(*at)), left);
        const QString ch = QString::fromUtf8(at, static_cast<qsizetype>(length));
        if (!lacking.contains(ch)) lacking += ch;
        return length;
    };
    if (!cd.Valid()) {
        // Without a converter only ASCII is kept (see QStringToCp932).
        for (size_t i = 0; i < static_cast<size_t>(utf8.size());) {
            const char* at = utf8.constData() + i;
            const size_t left = static_cast<size_t>(utf8.size()) - i;
            i += static_cast<unsigned char>(*at) < 0x80 ? 1 : note(at, left);
        }
        return lacking;
    }
    std::string out;
    Convert(cd, std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())), out,
            [&note](const char* at, size_t left, std::string&) { return note(at, left); });
    return lacking;
}

void CopyTextField(char* field, size_t width, std::string_view bytes) {
    if (field == nullptr || width == 0) return;
    std::memset(field, 0, width);
    const size_t limit = width - 1;
    size_t used = 0;
    size_t i = 0;
    while (i < bytes.size() && bytes[i] != '\0') {
        size_t length = IsCp932LeadByte(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
        if (length == 2 && (i + 1 >= bytes.size() || bytes[i + 1] == '\0')) break;
        if (used + length > limit) break;
        std::memcpy(field + used, bytes.data() + i, length);
        used += length;
        i += length;
    }
}

void SetCp932Field(char* field, size_t width, const QString& text) {
    CopyTextField(field, width, QStringToCp932(text));
}
