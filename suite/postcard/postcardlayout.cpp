// Painting of the reminder postcards. Everything is laid out in millimetres on the paper
// and drawn in tenths of a millimetre (the painter is scaled once per page), so font sizes
// can be whole numbers of units and the same card comes out on any resolution.
#include "suite/postcard/postcardlayout.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

#include "suite/text/atomicfile.h"

namespace {

constexpr double kUnitsPerMm = 10.0;
double U(double mm) { return mm * kUnitsPerMm; }

const QColor kZipFrameColor(220, 30, 30);

// The postal-code boxes as the post office prints them: three larger boxes, a gap with a
// short hyphen, then four boxes; positions of their left edges from the paper's left.
constexpr double kZipLeft[7] = {44.3, 51.3, 58.3, 65.8, 72.6, 79.4, 86.2};
constexpr double kZipTop = 12.0;
constexpr double kZipWidth = 5.7;
constexpr double kZipHeight = 8.0;

// Glyph advance and column pitch of vertical text, as factors of the font size.
constexpr double kCellFactor = 1.05;
constexpr double kPitchFactor = 1.4;
// Line pitch of horizontal text.
constexpr double kLineFactor = 1.35;
// The smallest share of its size a block may shrink to so that it fits its area.
constexpr double kMinScale = 0.5;

QFont CardFont(double sizeMm, bool bold = false) {
    QFont font;
    font.setFamilies(
        {QStringLiteral("IPAMincho"), QStringLiteral("IPA明朝"), QStringLiteral("IPAPMincho")});
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(U(sizeMm)))));
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferOutline);
    return font;
}

QRectF MmRect(double left, double top, double width, double height) {
    return QRectF(U(left), U(top), U(width), U(height));
}

// One paragraph of a text block: its text, size in mm, weight, and how many characters
// its first column or line is indented by.
struct Paragraph {
    QString text;
    double sizeMm;
    bool bold = false;
    double indent = 0;
    // Written in one column, smaller when it would not fit (a name cut in two reads badly).
    bool oneColumn = false;
};

// How a character stands in a vertical line.
enum class ETurn { Upright, Rotated, Corner, Small };

bool IsOneOf(QChar c, const char16_t* set) {
    for (const char16_t* p = set; *p != 0; ++p) {
        if (c.unicode() == *p) return true;
    }
    return false;
}

// Long marks, dashes, waves and brackets are turned a quarter to the right; commas and
// full stops sit in the upper right of their cell; small kana a little up and right.
ETurn TurnOf(QChar c) {
    if (IsOneOf(c, u"ー－‐−―—～〜（）「」『』［］【】〔〕＜＞｛｝＝：…‥")) return ETurn::Rotated;
    if (IsOneOf(c, u"、。，．")) return ETurn::Corner;
    if (IsOneOf(c, u"ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ")) return ETurn::Small;
    return ETurn::Upright;
}

// Vertical lines show ASCII in its full-width form, so digits and letters stand upright
// in their cells like the kana around them.
QString VerticalText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u' ') {
            out += QChar(u'　');
        } else if (c.unicode() > u' ' && c.unicode() <= u'~') {
            out += QChar(static_cast<char16_t>(c.unicode() - u'!' + u'！'));
        } else {
            out += c;
        }
    }
    return out;
}

// Cuts a paragraph into columns of `perColumn` characters, the first shortened by the
// indent. A comma or full stop that would begin a column hangs below the previous one.
QStringList VerticalColumns(const QString& text, int perColumn, int indent) {
    QStringList columns;
    QString column;
    int room = std::max(1, perColumn - indent);
    for (QChar c : text) {
        if (column.size() >= room && TurnOf(c) != ETurn::Corner) {
            columns << column;
            column.clear();
            room = std::max(1, perColumn);
        }
        column += c;
    }
    if (!column.isEmpty() || columns.isEmpty()) columns << column;
    return columns;
}

void DrawVerticalChar(QPainter& painter, QChar c, double centerX, double centerY, double cell) {
    const QRectF box(-U(cell) / 2, -U(cell) / 2, U(cell), U(cell));
    painter.save();
    painter.translate(U(centerX), U(centerY));
    switch (TurnOf(c)) {
        case ETurn::Rotated:
            painter.rotate(90);
            break;
        case ETurn::Corner:
            painter.translate(U(cell) * 0.6, -U(cell) * 0.6);
            break;
        case ETurn::Small:
            painter.translate(U(cell) * 0.1, -U(cell) * 0.1);
            break;
        case ETurn::Upright:
            break;
    }
    painter.drawText(box, Qt::AlignCenter, QString(c));
    painter.restore();
}

// The columns of every paragraph at `scale`, and the width they take.
struct VerticalFit {
    std::vector<QStringList> columns;
    double width = 0;
};

// The character size of a paragraph in columns `height` mm high at `scale`.
double VerticalSize(const Paragraph& p, double height, double scale) {
    const double size = p.sizeMm * scale;
    const qsizetype cells = VerticalText(p.text).size() + static_cast<qsizetype>(p.indent);
    if (!p.oneColumn || cells == 0) return size;
    return std::min(size, height / (static_cast<double>(cells) * kCellFactor));
}

VerticalFit FitVertical(const std::vector<Paragraph>& paragraphs, double height, double scale) {
    VerticalFit fit;
    for (const Paragraph& p : paragraphs) {
        const double size = VerticalSize(p, height, scale);
        const int perColumn = std::max(1, static_cast<int>(height / (size * kCellFactor)));
        fit.columns.push_back(
            VerticalColumns(VerticalText(p.text), perColumn, static_cast<int>(p.indent)));
        fit.width += fit.columns.back().size() * size * kPitchFactor;
    }
    return fit;
}

// Writes the paragraphs in columns from `right` (the right edge of the first column)
// leftwards within [left, right] x [top, bottom], shrinking them together until they fit.
void DrawVerticalBlock(QPainter& painter, const std::vector<Paragraph>& paragraphs, double left,
                       double right, double top, double bottom) {
    double scale = 1.0;
    VerticalFit fit = FitVertical(paragraphs, bottom - top, scale);
    while (fit.width > right - left && scale > kMinScale) {
        scale = std::max(kMinScale, scale - 0.05);
        fit = FitVertical(paragraphs, bottom - top, scale);
    }
    painter.save();
    painter.setClipRect(MmRect(left, top, right - left, bottom - top));
    double x = right;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        const Paragraph& p = paragraphs[i];
        const double size = VerticalSize(p, bottom - top, scale);
        const double cell = size * kCellFactor;
        const double pitch = size * kPitchFactor;
        painter.setFont(CardFont(size, p.bold));
        bool first = true;
        for (const QString& column : fit.columns[i]) {
            const double centerX = x - pitch / 2;
            double y = top + (first ? p.indent * cell : 0) + cell / 2;
            for (QChar c : column) {
                DrawVerticalChar(painter, c, centerX, y, cell);
                y += cell;
            }
            x -= pitch;
            first = false;
        }
    }
    painter.restore();
}

QStringList WrapLine(const QString& text, const QFontMetricsF& metrics, double width,
                     double indentWidth) {
    QStringList lines;
    QString line;
    double room = width - indentWidth;
    for (QChar c : text) {
        if (!line.isEmpty() && metrics.horizontalAdvance(line + c) > room &&
            TurnOf(c) != ETurn::Corner) {
            lines << line;
            line.clear();
            room = width;
        }
        line += c;
    }
    if (!line.isEmpty() || lines.isEmpty()) lines << line;
    return lines;
}

// Writes the paragraphs as lines from `top` down within [left, right], shrinking them
// together until they fit above `bottom`; `center` centres each line.
void DrawHorizontalBlock(QPainter& painter, const std::vector<Paragraph>& paragraphs, double left,
                         double right, double top, double bottom, bool center = false) {
    const double width = U(right - left);
    struct Laid {
        QFont font;
        QStringList lines;
        double indent;
        double pitch;
    };
    std::vector<Laid> laid;
    double scale = 1.0;
    for (;;) {
        laid.clear();
        double height = 0;
        for (const Paragraph& p : paragraphs) {
            const QFont font = CardFont(p.sizeMm * scale, p.bold);
            const QFontMetricsF metrics(font);
            const double indent = metrics.horizontalAdvance(QChar(u'　')) * p.indent;
            laid.push_back({font, WrapLine(p.text, metrics, width, indent), indent,
                            U(p.sizeMm * scale * kLineFactor)});
            height += laid.back().lines.size() * laid.back().pitch;
        }
        if (height <= U(bottom - top) || scale <= kMinScale) break;
        scale = std::max(kMinScale, scale - 0.05);
    }
    painter.save();
    painter.setClipRect(MmRect(left, top, right - left, bottom - top));
    double y = U(top);
    for (const Laid& block : laid) {
        painter.setFont(block.font);
        bool first = true;
        for (const QString& line : block.lines) {
            const double indent = first ? block.indent : 0;
            const QRectF box(U(left) + indent, y, width - indent, block.pitch);
            painter.drawText(box, (center ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter,
                             line);
            y += block.pitch;
            first = false;
        }
    }
    painter.restore();
}

void DrawZipBoxes(QPainter& painter, const QString& digits) {
    painter.save();
    painter.setPen(QPen(kZipFrameColor, U(0.3)));
    painter.setBrush(Qt::NoBrush);
    for (double x : kZipLeft) painter.drawRect(MmRect(x, kZipTop, kZipWidth, kZipHeight));
    const double hyphenLeft = kZipLeft[2] + kZipWidth + 0.3;
    painter.drawLine(QPointF(U(hyphenLeft), U(kZipTop + kZipHeight / 2)),
                     QPointF(U(kZipLeft[3] - 0.3), U(kZipTop + kZipHeight / 2)));
    painter.setPen(Qt::black);
    painter.setFont(CardFont(5.5));
    for (int i = 0; i < digits.size() && i < 7; ++i) {
        painter.drawText(MmRect(kZipLeft[i], kZipTop, kZipWidth, kZipHeight), Qt::AlignCenter,
                         digits.mid(i, 1));
    }
    painter.restore();
}

QString NameWithHonorific(const CPostcardAddressee& card, const QString& gap) {
    return card.name + gap + QStringLiteral("様");
}

std::vector<Paragraph> SenderParagraphs(const CPostcardSender& sender) {
    std::vector<Paragraph> paragraphs;
    if (!sender.address.isEmpty()) paragraphs.push_back({sender.address, 3.4});
    if (!sender.name.isEmpty()) paragraphs.push_back({sender.name, 4.4, true, 0, true});
    if (!sender.tel.isEmpty()) {
        paragraphs.push_back({QStringLiteral("TEL ") + sender.tel, 3.2});
    }
    return paragraphs;
}

std::vector<Paragraph> ReminderParagraphs(const CPostcardAddressee& card) {
    std::vector<Paragraph> paragraphs;
    const std::vector<QString> lines = PostcardReminderLines(card);
    for (size_t i = 0; i < lines.size(); ++i) {
        paragraphs.push_back({lines[i], i == 0 ? 4.2 : 3.6, i == 0});
    }
    return paragraphs;
}

void DrawFrame(QPainter& painter, const QRectF& mm) {
    painter.save();
    painter.setPen(QPen(Qt::darkGray, U(0.2)));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(MmRect(mm.left(), mm.top(), mm.width(), mm.height()));
    painter.restore();
}

void PaintVerticalCard(QPainter& painter, const CPostcardAddressee& card,
                       const CPostcardSender& sender) {
    // The address from the right edge, its second line one column on and a little lower.
    std::vector<Paragraph> address = {{card.address1, 5.5}};
    if (!card.address2.isEmpty()) address.push_back({card.address2, 5.5, false, 2});
    DrawVerticalBlock(painter, address, 64, 91, 27, 128);
    // The name down the middle of the card, with a blank cell before "様".
    DrawVerticalBlock(painter, {{NameWithHonorific(card, QStringLiteral("　")), 9.5}}, 44, 58, 32,
                      130);
    DrawFrame(painter, QRectF(5, 27, 33, 54));
    DrawVerticalBlock(painter, ReminderParagraphs(card), 7, 36, 29, 79);
    DrawVerticalBlock(painter, SenderParagraphs(sender), 5, 38, 88, 142);
}

void PaintHorizontalCard(QPainter& painter, const CPostcardAddressee& card,
                         const CPostcardSender& sender) {
    std::vector<Paragraph> address = {{card.address1, 5.0}};
    if (!card.address2.isEmpty()) address.push_back({card.address2, 5.0, false, 2});
    DrawHorizontalBlock(painter, address, 12, 92, 28, 56);
    DrawHorizontalBlock(painter, {{NameWithHonorific(card, QStringLiteral("　")), 8.0}}, 8, 92, 60,
                        80, true);
    DrawFrame(painter, QRectF(8, 86, 84, 26));
    DrawHorizontalBlock(painter, ReminderParagraphs(card), 11, 89, 88, 111);
    DrawHorizontalBlock(painter, SenderParagraphs(sender), 8, 92, 117, 143);
}

void PaintCard(QPainter& painter, const CPostcardAddressee& card, const CPostcardSender& sender,
               int mode) {
    painter.setPen(Qt::black);
    DrawZipBoxes(painter, card.zipDigits);
    if (mode == kPostcardHorizontal) {
        PaintHorizontalCard(painter, card, sender);
    } else {
        PaintVerticalCard(painter, card, sender);
    }
}

}  // namespace

std::vector<QString> PostcardReminderLines(const CPostcardAddressee& card) {
    std::vector<QString> lines = {QStringLiteral("ご予約のお知らせ")};
    if (card.HasReservation()) {
        lines.push_back(QStringLiteral("次回のご予約は"));
        lines.push_back(card.reservationDate);
        if (!card.reservationTime.isEmpty()) {
            lines.push_back(card.reservationTime + QStringLiteral("からです。"));
        }
    }
    lines.push_back(QStringLiteral("ご来院をお待ちしております。"));
    return lines;
}

// The standard postcard size (100 x 148 mm), so that a printer picks its postcard tray.
QPageLayout PostcardPageLayout() {
    return QPageLayout(QPageSize(QPageSize::Postcard), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                       QPageLayout::Millimeter);
}

bool PaintPostcards(QPainter& painter, QPagedPaintDevice& device,
                    const std::vector<CPostcardAddressee>& cards, const CPostcardSender& sender,
                    int mode) {
    const double unitsX = device.logicalDpiX() / 25.4 / kUnitsPerMm;
    const double unitsY = device.logicalDpiY() / 25.4 / kUnitsPerMm;
    for (size_t i = 0; i < cards.size(); ++i) {
        if (i > 0 && !device.newPage()) return false;
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.scale(unitsX, unitsY);
        PaintCard(painter, cards[i], sender, mode);
        painter.restore();
    }
    return true;
}

bool PrintPostcardsToPdf(const std::string& path, const std::vector<CPostcardAddressee>& cards,
                         const CPostcardSender& sender, int mode, std::string* error) {
    if (path.empty()) {
        if (error != nullptr) *error = "no output path";
        return false;
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    bool painted = false;
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(300);
        writer.setTitle(QStringLiteral("はがき"));
        writer.setCreator(QStringLiteral("PostcardView"));
        writer.setPageLayout(PostcardPageLayout());
        QPainter painter;
        if (painter.begin(&writer)) {
            painted = PaintPostcards(painter, writer, cards, sender, mode);
            painted = painter.end() && painted;
        }
    }
    if (!painted) {
        if (error != nullptr) *error = "the postcards could not be painted";
        return false;
    }
    const QByteArray& bytes = buffer.data();
    return WriteFileAtomically(path, std::string_view(bytes.constData(), bytes.size()), error);
}
