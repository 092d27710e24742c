// The host program's main window: the navigation strip above, and below it the screen
// chosen on the strip. The reservation screen comes from the appointment-sheet module
// when it is present; otherwise, and for the start screen, the host shows a status page
// of the open database. Screens of the suite's other programs get a page that says so.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QStackedWidget>

#include "hoststatus.h"
#include "navigation.h"

class CNavigationStrip;
class CModuleEntry;
class CVeloDBSys;

class CHostWindow final : public QMainWindow {
    Q_OBJECT
public:
    // db and sheet belong to the caller and must outlive the window. sheet may be
    // unavailable; imageFolder holds the strip's images.
    CHostWindow(CVeloDBSys* db, const CModuleEntry* sheet, const QString& imageFolder,
                QWidget* parent = nullptr);

    CHostWindow(const CHostWindow&) = delete;
    CHostWindow& operator=(const CHostWindow&) = delete;

    // The lab-work module for the lab screen; null or unavailable leaves the host's page.
    // It must outlive the window.
    void SetLabModule(const CModuleEntry* lab) { m_lab = lab; }

    // Shows the screen of `screenCode` (kScreenNone: the start screen). The reservation
    // and lab screens run their modules when available and act on the code each returns,
    // which may open the other module in turn.
    void ShowScreen(int screenCode);
    int CurrentScreen() const { return m_current; }
    CNavigationStrip* Strip() const { return m_strip; }

    // Recounts the status page's figures.
    void RefreshStatus();

private:
    void OnButtonPressed(int position);
    void ShowPage(int screenCode);
    QWidget* MakeStatusPage();
    QWidget* MakeOtherProgramPage();
    // The loaded module that shows the screen, or null.
    const CModuleEntry* ModuleFor(int screenCode) const;

    CVeloDBSys* m_db;
    const CModuleEntry* m_sheet;
    const CModuleEntry* m_lab = nullptr;
    int m_current = kScreenNone;
    CNavigationStrip* m_strip = nullptr;
    QStackedWidget* m_pages = nullptr;
    QWidget* m_statusPage = nullptr;
    QWidget* m_otherPage = nullptr;
    QLabel* m_statusTitle = nullptr;
    QLabel* m_folderValue = nullptr;
    QLabel* m_patientsValue = nullptr;
    QLabel* m_reservationsValue = nullptr;
    QLabel* m_labValue = nullptr;
    QLabel* m_moduleNote = nullptr;
    QLabel* m_otherTitle = nullptr;
};
