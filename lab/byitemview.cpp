// The by-item view: grid geometry, drawing, card selection and one-page printing.
#include "lab/byitemview.h"

#include <QEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QStringList>
#include <QToolTip>
#include <algorithm>

#include "lab/labstrings.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/strings.h"

namespace {

const QColor kGridLine(0xb0, 0xb8, 0xc4);
const QColor kHeadingFill(0xe4, 0xe9, 0xf0);
const QColor kCardFill(0xff, 0xfb, 0xe6);
const QColor kFinishedFill(0xe6, 0xe6, 0xe6);
const QColor kSelectedFill(0xcc, 0xe0, 0xff);
const QColor kSelectedBorder(0x1f, 0x5f, 0xbf);

// The value part of a card line "技工物　： 床装置" (the text after the first "： ").
QString CardValue(const QString& line) {
    const int colon = line.indexOf(QStringLiteral("： "));
    return colon < 0 ? line : line.mid(colon + 2);
}

int DayOfWeek(const std::string& yyyymmdd) {
    const QDate date = CDate::FromYmd(yyyymmdd.c_str());
    return date.isValid() ? date.dayOfWeek() % 7 : -1;  // 0 Sunday
}

}  // namespace

CByItemView::CByItemView(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("byItemView"));
    m_clinicName = CVeloSubTools::GetGlobalSettingString("GLOBAL", "ClinicName", QString());
    m_clinicAddress = CVeloSubTools::GetGlobalSettingString("GLOBAL", "ClinicAddress", QString());
    m_clinicTel = CVeloSubTools::GetGlobalSettingString("GLOBAL", "ClinicTel", QString());
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setMouseTracking(true);
    horizontalScrollBar()->setSingleStep(kColumnWidth / 4);
    verticalScrollBar()->setSingleStep(kRowHeight);
}

ByItemResult CByItemView::Rebuild(CVeloDBSys* db, const LabFilter& filter, bool showEmptyDays,
                                  const LabNames& names, const std::string& selectNo,
                                  LabReadFailure* failure) {
    ByItemGrid grid;
    const ByItemResult result = BuildByItemGrid(db, filter, showEmptyDays, names, &grid, failure);
    if (result == ByItemResult::RangeTooLong) {
        SetGrid(ByItemGrid{}, std::string());
        CMessageService::MessageBox(this, LoadString(kIdsLabSixMonths), LoadString(kIdsLabTitle),
                                    CMessageService::EIcon::Warning);
        return result;
    }
    SetGrid(std::move(grid), selectNo);
    return result;
}

void CByItemView::SetGrid(ByItemGrid grid, const std::string& selectNo) {
    m_grid = std::move(grid);
    m_dayTop.clear();
    m_totalRows = 0;
    for (const ByItemDay& day : m_grid.days) {
        m_dayTop.push_back(kHeadingHeight + m_totalRows * kRowHeight);
        m_totalRows += std::max(1, day.rows);
    }
    UpdateScrollBars();
    if (!selectNo.empty() && SelectMaterialNo(selectNo)) return;
    m_selected.clear();
    viewport()->update();
    emit SelectionChanged();
}

int CByItemView::CardCount() const {
    int count = 0;
    for (const ByItemDay& day : m_grid.days) {
        for (const auto& cell : day.cells) count += static_cast<int>(cell.size());
    }
    return count;
}

QRect CByItemView::CardRect(const std::string& materialNo) const {
    for (size_t d = 0; d < m_grid.days.size(); ++d) {
        const ByItemDay& day = m_grid.days[d];
        for (size_t c = 0; c < day.cells.size(); ++c) {
            for (size_t n = 0; n < day.cells[c].size(); ++n) {
                if (day.cells[c][n].materialNo != materialNo) continue;
                return QRect(kDayColumnWidth + static_cast<int>(c) * kColumnWidth,
                             m_dayTop[d] + static_cast<int>(n) * kRowHeight, kColumnWidth,
                             kRowHeight);
            }
        }
    }
    return QRect();
}

bool CByItemView::SelectMaterialNo(const std::string& materialNo) {
    const QRect rect = materialNo.empty() ? QRect() : CardRect(materialNo);
    m_selected = rect.isValid() ? materialNo : std::string();
    if (rect.isValid()) {
        // Scroll so that the card shows below the heading and right of the day column.
        const int viewW = viewport()->width() - kDayColumnWidth;
        const int viewH = viewport()->height() - kHeadingHeight;
        const int x = rect.x() - kDayColumnWidth;
        const int y = rect.y() - kHeadingHeight;
        QScrollBar* h = horizontalScrollBar();
        QScrollBar* v = verticalScrollBar();
        if (x < h->value()) h->setValue(x);
        if (x + rect.width() > h->value() + viewW) h->setValue(x + rect.width() - viewW);
        if (y < v->value()) v->setValue(y);
        if (y + rect.height() > v->value() + viewH) v->setValue(y + rect.height() - viewH);
    }
    viewport()->update();
    emit SelectionChanged();
    return rect.isValid();
}

QPoint CByItemView::CardCentre(const std::string& materialNo) const {
    const QRect rect = CardRect(materialNo);
    if (!rect.isValid()) return QPoint(-1, -1);
    return rect.center() - QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

QSize CByItemView::ContentSize() const {
    return QSize(kDayColumnWidth + static_cast<int>(m_grid.columns.size()) * kColumnWidth,
                 kHeadingHeight + m_totalRows * kRowHeight);
}

QSize CByItemView::PictureSize() const {
    const QSize content = ContentSize();
    return QSize(content.width(), content.height() + kPrintHeaderHeight);
}

void CByItemView::UpdateScrollBars() {
    const QSize content = ContentSize();
    const QSize area = viewport()->size();
    horizontalScrollBar()->setPageStep(std::max(1, area.width() - kDayColumnWidth));
    verticalScrollBar()->setPageStep(std::max(1, area.height() - kHeadingHeight));
    horizontalScrollBar()->setRange(0, std::max(0, content.width() - area.width()));
    verticalScrollBar()->setRange(0, std::max(0, content.height() - area.height()));
}

CByItemView::CardPlace CByItemView::CardAt(const QPoint& point) const {
    if (point.x() < kDayColumnWidth || point.y() < kHeadingHeight) return {};
    const QPoint p = point + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int column = (p.x() - kDayColumnWidth) / kColumnWidth;
    if (column < 0 || column >= static_cast<int>(m_grid.columns.size())) return {};
    // The day whose block holds y: the last day starting at or above it.
    const auto next = std::upper_bound(m_dayTop.begin(), m_dayTop.end(), p.y());
    if (next == m_dayTop.begin()) return {};
    const size_t d = static_cast<size_t>(next - m_dayTop.begin()) - 1;
    const ByItemDay& day = m_grid.days[d];
    const int n = (p.y() - m_dayTop[d]) / kRowHeight;
    if (static_cast<size_t>(column) >= day.cells.size()) return {};
    const auto& cell = day.cells[static_cast<size_t>(column)];
    if (n < 0 || static_cast<size_t>(n) >= cell.size()) return {};
    return {&cell[static_cast<size_t>(n)],
            QRect(kDayColumnWidth + column * kColumnWidth, m_dayTop[d] + n * kRowHeight,
                  kColumnWidth, kRowHeight)};
}

void CByItemView::DrawGrid(QPainter& painter, const QPoint& scroll, const QSize& area) const {
    const QSize content = ContentSize();
    const int right = std::min(area.width(), content.width() - scroll.x());
    const int bottom = std::min(area.height(), content.height() - scroll.y());
    QFont cardFont = painter.font();
    cardFont.setPixelSize(12);
    QFont headFont = cardFont;
    headFont.setPixelSize(13);
    headFont.setBold(true);

    // Cards: shifted both ways, clipped to the area right of the days and below the heading.
    painter.save();
    painter.setClipRect(QRect(kDayColumnWidth, kHeadingHeight, area.width(), area.height()));
    painter.translate(-scroll);
    painter.setFont(cardFont);
    for (size_t d = 0; d < m_grid.days.size(); ++d) {
        const ByItemDay& day = m_grid.days[d];
        const int rows = std::max(1, day.rows);
        const int top = m_dayTop[d];
        if (top > scroll.y() + area.height() || top + rows * kRowHeight < scroll.y()) continue;
        for (size_t c = 0; c < day.cells.size(); ++c) {
            for (size_t n = 0; n < day.cells[c].size(); ++n) {
                const ByItemCard& card = day.cells[c][n];
                const QRect cell(kDayColumnWidth + static_cast<int>(c) * kColumnWidth,
                                 top + static_cast<int>(n) * kRowHeight, kColumnWidth, kRowHeight);
                const bool selected = !m_selected.empty() && card.materialNo == m_selected;
                const QRect body = cell.adjusted(2, 2, -2, -2);
                painter.setPen(selected ? QPen(kSelectedBorder, 2) : QPen(kGridLine));
                painter.setBrush(selected ? kSelectedFill
                                          : (card.finished ? kFinishedFill : kCardFill));
                painter.drawRoundedRect(body, 3, 3);
                const QStringList lines = card.text.split(u'\n');
                const QRect text = body.adjusted(4, 1, -4, -1);
                const int half = text.height() / 2;
                painter.setPen(card.finished ? QColor(0x70, 0x70, 0x70) : QColor(Qt::black));
                const QFontMetrics metrics(cardFont);
                const QString first =
                    metrics.elidedText(CardValue(lines.value(0)), Qt::ElideRight, text.width());
                const QString second =
                    metrics.elidedText(CardValue(lines.value(1)), Qt::ElideRight, text.width());
                painter.drawText(QRect(text.x(), text.y(), text.width(), half),
                                 Qt::AlignLeft | Qt::AlignVCenter, first);
                painter.drawText(QRect(text.x(), text.y() + half, text.width(), half),
                                 Qt::AlignLeft | Qt::AlignVCenter, second);
            }
        }
        painter.setPen(kGridLine);
        const int lineY = top + rows * kRowHeight - 1;
        painter.drawLine(kDayColumnWidth, lineY, content.width(), lineY);
    }
    for (size_t c = 1; c <= m_grid.columns.size(); ++c) {
        const int x = kDayColumnWidth + static_cast<int>(c) * kColumnWidth - 1;
        painter.setPen(kGridLine);
        painter.drawLine(x, kHeadingHeight, x, content.height());
    }
    painter.restore();

    // Heading row: shifted sideways only.
    painter.save();
    painter.setClipRect(QRect(kDayColumnWidth, 0, area.width(), kHeadingHeight));
    painter.translate(-scroll.x(), 0);
    painter.setFont(headFont);
    for (size_t c = 0; c < m_grid.columns.size(); ++c) {
        const QRect cell(kDayColumnWidth + static_cast<int>(c) * kColumnWidth, 0, kColumnWidth,
                         kHeadingHeight);
        painter.fillRect(cell, kHeadingFill);
        painter.setPen(kGridLine);
        painter.drawRect(cell.adjusted(0, 0, -1, -1));
        painter.setPen(Qt::black);
        painter.drawText(cell.adjusted(4, 0, -4, 0), Qt::AlignCenter,
                         QFontMetrics(headFont).elidedText(m_grid.columns[c].name, Qt::ElideRight,
                                                           kColumnWidth - 8));
    }
    painter.restore();

    // Day column: shifted up and down only.
    painter.save();
    painter.setClipRect(QRect(0, kHeadingHeight, kDayColumnWidth, area.height()));
    painter.translate(0, -scroll.y());
    painter.setFont(cardFont);
    for (size_t d = 0; d < m_grid.days.size(); ++d) {
        const QRect cell(0, m_dayTop[d], kDayColumnWidth,
                         std::max(1, m_grid.days[d].rows) * kRowHeight);
        painter.fillRect(cell, kHeadingFill);
        painter.setPen(kGridLine);
        painter.drawRect(cell.adjusted(0, 0, -1, -1));
        const int weekday = DayOfWeek(m_grid.days[d].date);
        QColor ink = Qt::black;
        if (weekday == 0) ink = QColor(0xc0, 0x20, 0x20);
        if (weekday == 6) ink = QColor(0x20, 0x40, 0xc0);
        painter.setPen(ink);
        painter.drawText(QRect(cell.x(), cell.y(), cell.width(), kRowHeight), Qt::AlignCenter,
                         ByItemDayLabel(m_grid.days[d].date).trimmed());
    }
    painter.restore();

    // Corner.
    painter.fillRect(QRect(0, 0, kDayColumnWidth, kHeadingHeight), kHeadingFill);
    painter.setPen(kGridLine);
    painter.drawRect(QRect(0, 0, kDayColumnWidth - 1, kHeadingHeight - 1));
    if (m_grid.days.empty() && bottom >= kHeadingHeight) {
        painter.setPen(QColor(0x60, 0x60, 0x60));
        painter.setFont(cardFont);
        painter.drawText(QRect(kDayColumnWidth + 8, kHeadingHeight + 8, std::max(right, 400), 24),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("該当する技工物予定はありません。"));
    }
}

void CByItemView::Render(QPainter& painter, bool print) const {
    painter.save();
    if (print) {
        QFont font = painter.font();
        font.setPixelSize(26);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, 8, 600, 40), Qt::AlignLeft | Qt::AlignVCenter,
                         LoadString(kIdsLabByItemTitle));
        font.setPixelSize(13);
        font.setBold(false);
        painter.setFont(font);
        const QDate today = CDate::Today();
        const QString date = QStringLiteral("%1 年 %2 月 %3 日")
                                 .arg(today.year(), 4, 10, QChar('0'))
                                 .arg(today.month(), 2, 10, QChar('0'))
                                 .arg(today.day(), 2, 10, QChar('0'));
        painter.drawText(QRect(0, 56, 600, 20), Qt::AlignLeft | Qt::AlignVCenter,
                         LoadString(kIdsLabPrintDate).arg(date));
        const QStringList clinic = {m_clinicName, m_clinicAddress,
                                    QStringLiteral("電話： %1").arg(m_clinicTel)};
        for (int i = 0; i < clinic.size(); ++i) {
            painter.drawText(QRect(0, 80 + i * 22, 900, 20), Qt::AlignLeft | Qt::AlignVCenter,
                             clinic[i]);
        }
        painter.translate(0, kPrintHeaderHeight);
    }
    DrawGrid(painter, QPoint(0, 0), ContentSize());
    painter.restore();
}

void CByItemView::PreparePrinter(QPrinter* printer) const {
    const QSize picture = PictureSize();
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setPageOrientation(picture.height() < picture.width() ? QPageLayout::Landscape
                                                                   : QPageLayout::Portrait);
    printer->setFromTo(1, 1);
}

bool CByItemView::Print() {
    QPrinter printer(QPrinter::HighResolution);
    PreparePrinter(&printer);
    QPrintDialog dialog(&printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, true);
    dialog.setMinMax(1, 1);
    dialog.setFromTo(1, 1);
    if (!CMessageService::ExecPrintDialog(&dialog)) return false;
    return PrintTo(&printer);
}

bool CByItemView::PrintTo(QPrinter* printer) const {
    printer->setDocName(LoadString(kIdsLabPrintJob));
    const QSize picture = PictureSize();
    QPainter painter;
    if (!painter.begin(printer)) return false;
    const QRectF page = printer->pageRect(QPrinter::DevicePixel);
    const double scale = std::min(page.height() / picture.height(), page.width() / picture.width());
    const double left = std::max(0.0, (page.width() - picture.width() * scale) / 2);
    // Copies the printer does not make itself are printed as further pages.
    const int copies = printer->supportsMultipleCopies() ? 1 : std::max(1, printer->copyCount());
    for (int copy = 0; copy < copies; ++copy) {
        if (copy > 0 && !printer->newPage()) {
            painter.end();
            return false;
        }
        painter.save();
        painter.translate(left, 0);
        painter.scale(scale, scale);
        painter.setBackgroundMode(Qt::TransparentMode);
        Render(painter, true);
        painter.restore();
    }
    return painter.end();
}

void CByItemView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    DrawGrid(painter, QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()),
             viewport()->size());
}

void CByItemView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CByItemView::scrollContentsBy(int, int) {
    // The headings stay in place, so the whole viewport is drawn again.
    viewport()->update();
}

void CByItemView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const CardPlace place = CardAt(event->position().toPoint());
    const std::string selected = place.card != nullptr ? place.card->materialNo : std::string();
    if (selected == m_selected) return;
    m_selected = selected;
    viewport()->update();
    emit SelectionChanged();
}

void CByItemView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const CardPlace place = CardAt(event->position().toPoint());
    if (place.card == nullptr) return;
    if (m_selected != place.card->materialNo) {
        m_selected = place.card->materialNo;
        viewport()->update();
        emit SelectionChanged();
    }
    emit CardActivated(QString::fromStdString(place.card->materialNo));
}

bool CByItemView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const CardPlace place = CardAt(help->pos());
        if (place.card != nullptr) {
            QToolTip::showText(help->globalPos(), place.card->text, viewport());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}
