// CByItemView: the lab schedule window's "技工物別表示", a scrolling grid of item cards with
// one column per lab-item category and rows by due day. The heading row and the day column
// stay in place while the cards scroll. A card is selected by a click; a double-click asks
// the window to edit (or, when picking, to confirm) it. The same drawing, with a title and
// the clinic's lines above it, is printed as one page.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <string>

#include "lab/labcore.h"

class CVeloDBSys;
class QPrinter;

class CByItemView final : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Grid geometry in logical pixels.
    static constexpr int kRowHeight = 36;
    static constexpr int kColumnWidth = 200;
    static constexpr int kHeadingHeight = 36;
    static constexpr int kDayColumnWidth = 72;
    // Height of the printed title block above the grid.
    static constexpr int kPrintHeaderHeight = 160;

    // Reads the clinic's name, address and telephone number for the printed form.
    explicit CByItemView(QWidget* parent = nullptr);
    CByItemView(const CByItemView&) = delete;
    CByItemView& operator=(const CByItemView&) = delete;

    // Builds the grid for the filter and shows it, keeping `selectNo` selected when it is
    // among the cards. When empty days are asked for over more than six months the six-month
    // message is shown (through CMessageService) and the view is left empty. A table file
    // that could not be read is named in *failure (when not null); the view shows what was
    // read.
    ByItemResult Rebuild(CVeloDBSys* db, const LabFilter& filter, bool showEmptyDays,
                         const LabNames& names, const std::string& selectNo,
                         LabReadFailure* failure = nullptr);
    // Shows a grid built elsewhere.
    void SetGrid(ByItemGrid grid, const std::string& selectNo);
    const ByItemGrid& Grid() const { return m_grid; }
    int CardCount() const;

    // The selected card's MaterialNo, "" when none.
    std::string SelectedMaterialNo() const { return m_selected; }
    // Selects the card and scrolls it into view; false (selection cleared) when no card
    // has that MaterialNo.
    bool SelectMaterialNo(const std::string& materialNo);
    // Centre of the card in viewport coordinates, or (-1, -1) when there is no such card.
    QPoint CardCentre(const std::string& materialNo) const;

    // Size of the whole grid, and of the printed picture (grid plus title block).
    QSize ContentSize() const;
    QSize PictureSize() const;

    // Draws the whole grid from (0, 0); in print mode the title, the print date and the
    // clinic's lines come first and the grid below them.
    void Render(QPainter& painter, bool print) const;

    // Asks for a printer (A4; landscape when the picture is wider than tall) through
    // CMessageService::ExecPrintDialog and prints one page. False when cancelled or failed.
    bool Print();
    // Sets A4 paper and the orientation that suits the picture.
    void PreparePrinter(QPrinter* printer) const;
    // Prints the picture scaled to one page (once per copy the printer does not make
    // itself). False when the printer could not be started.
    bool PrintTo(QPrinter* printer) const;

signals:
    void SelectionChanged();
    // A card was double-clicked.
    void CardActivated(const QString& materialNo);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    struct CardPlace {
        const ByItemCard* card = nullptr;
        QRect rect;  // in grid coordinates
    };
    // The card under a point of the viewport; card null when none.
    CardPlace CardAt(const QPoint& viewportPoint) const;
    // Where the card lies in grid coordinates; invalid when not found.
    QRect CardRect(const std::string& materialNo) const;
    void UpdateScrollBars();
    // Draws the grid with the cards shifted by the scroll offset; headings stay put.
    void DrawGrid(QPainter& painter, const QPoint& scroll, const QSize& area) const;

    ByItemGrid m_grid;
    std::vector<int> m_dayTop;  // grid y of each day's first row, below the heading
    int m_totalRows = 0;
    std::string m_selected;
    QString m_clinicName, m_clinicAddress, m_clinicTel;
};
