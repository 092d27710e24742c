// CSheetGridView: what the day and the week grids of the appointment sheet share. It keeps
// the display settings both read on every reload, paints through an off-screen image that
// a derived view renders, scrolls by wheel and scroll bars, swallows Enter and Escape so
// the sheet window never closes by accident, and carries the signals by which a grid tells
// the main window what the user did. The derived views own their data, layout and mouse
// rules.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "sheet/displayitems.h"
#include "sheet/sheetballoon.h"
#include "sheet/sheetdata.h"
#include "sheet/sheetsettings.h"
#include "sheet/timegrid.h"

class CVeloDBSys;

namespace velo::sheet {

class CSheetGridView : public QAbstractScrollArea {
    Q_OBJECT
public:
    CSheetGridView(CVeloDBSys* db, QWidget* parent);
    ~CSheetGridView() override;
    CSheetGridView(const CSheetGridView&) = delete;
    CSheetGridView& operator=(const CSheetGridView&) = delete;

    // 0 one column (row) per unit, 1 one per doctor: rebuilds the columns and reloads.
    void SetLayoutMode(int mode);
    int LayoutMode() const { return m_layoutMode; }

    // Re-reads the settings and the shown reservations, clears the selection and hides the
    // balloon. keepScroll false scrolls back to the top left. Returns 0 or the first
    // failing record status (the grid then shows what was read, and LoadFailure names the
    // file). Ends with loadFinished.
    virtual int Reload(bool keepScroll) = 0;
    // The table file the last reload could not read (columns or reservations); while it is
    // set the grid may show taken cells as free.
    const ReadFailure& LoadFailure() const { return m_loadFailure; }
    // Reloads for a change another program made: keeps the scroll position, and the selected
    // bar while a bar of its reservation number is still shown. With `columns` (a unit or a
    // doctor may have come or gone) the columns are read again first. Returns Reload's status.
    int ReloadKeepingPlace(bool columns);
    // The next reload reads the columns again (the view not shown when the masters changed).
    void ForgetColumns() { m_columnsStale = true; }

    // The selected bar's reservation number, "" when none.
    virtual std::string SelectedReservationNo() const = 0;
    // True while the user drags a range over the cells.
    bool IsDragging() const { return m_dragging; }

    const std::vector<ColumnEntity>& Columns() const { return m_columns; }
    const TimeGridConfig& Config() const { return m_config; }
    // The dragged range (empty when a bar is selected or nothing is).
    const Selection& Range() const { return m_range; }
    // The balloon's current text ("" when hidden).
    QString BalloonText() const { return m_balloon.Text(); }

    // Paints the current client area into an image, exactly as the screen shows it.
    QImage RenderImage();

signals:
    // A completed drag over free cells: column (row) index into Columns(), HHMM start and
    // end, the date YYYYMMDD. The range is cleared after the signal returns.
    void rangeChosen(int column, int start, int end, const QString& date);
    // A range was started: the main window clears its list selection.
    void rangeStarted();
    void barSelected(const QString& reservationNo);
    void barActivated(const QString& reservationNo);
    // Right click on a bar (after selecting it): the reservation menu at a global position.
    void contextMenuRequested(const QPoint& globalPos);
    void deleteRequested();
    void refreshRequested();
    // A reload ended, read or not (LoadFailure tells).
    void loadFinished();

protected:
    // Reads the sheet settings, the kana flags, both display-item lists and the free-table
    // names, as every reload does first; loads the columns when there are none yet.
    void ReadDisplaySettings();
    // Sizes the off-screen image to the client area and fills it with the surface shown
    // beyond the last column and cell.
    void PrepareImage(QImage* image) const;
    // Scrolls to the top left unless keepScroll, after the scroll ranges were updated.
    void ResetScroll(bool keepScroll);
    // Ends a reload: keeps the failure of the columns, else of the reservations, and
    // emits loadFinished.
    void FinishLoad(const ReadFailure& dataFailure);

    // Selects the bar of a reservation number without scrolling to it; false (nothing
    // selected) when no bar has that number.
    virtual bool ReselectBar(const std::string& reservationNo) = 0;

    // Scroll ranges, bar rectangles and painting of the derived view.
    virtual void UpdateScrollBars() = 0;
    virtual void LayoutBars() = 0;
    virtual void Render(QImage* image) = 0;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    int Vs() const;
    int Hs() const;

    CVeloDBSys* m_db;
    int m_layoutMode = 0;
    std::vector<ColumnEntity> m_columns;
    SheetSettings m_settings;
    TimeGridConfig m_config;
    DisplayItemTable m_barItems;
    DisplayItemTable m_balloonItems;
    QStringList m_freeTableNames;
    bool m_tipKana = false;
    bool m_timeKana = false;
    Selection m_range;
    bool m_dragging = false;
    CSheetBalloon m_balloon;

private:
    void LoadColumns();

    QImage m_image;
    bool m_columnsStale = false;
    ReadFailure m_columnFailure;
    ReadFailure m_loadFailure;
};

}  // namespace velo::sheet
