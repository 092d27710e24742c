// CTableWatcher: tells a window which of the files it shows another program has changed, so
// that it can reload them by itself: a booking made at reception appears at the chairs
// without anyone pressing 画面更新.
//
//   m_watcher = new CTableWatcher(this);
//   m_watcher->WatchTables(folder, {"RESERVATION.BTR", "PATIENT1.BTR"});
//   connect(m_watcher, &CTableWatcher::changed, this, &CMyDlg::ShowChangesOfOthers);
//
// A short timer polls the record manager's change watch (on the embedded engine a read of
// each file's change counter, no query) and the plain files watched beside the tables. The
// window's own saves are never reported. Changes are handed over only while the window is the
// one the user works in: while a dialog is open over it (a booking being filled in, a
// question), a menu is open, a mouse button is held or the window says it is busy, they wait,
// and come in one signal as soon as it is free again.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTimer;
class QWidget;

namespace recman {
class CChangeWatch;
}

class CTableWatcher final : public QObject {
    Q_OBJECT
public:
    static constexpr int kPollIntervalMs = 250;

    // Watches for `window`, which it belongs to; the timer runs from the start.
    explicit CTableWatcher(QWidget* window);
    ~CTableWatcher() override;
    CTableWatcher(const CTableWatcher&) = delete;
    CTableWatcher& operator=(const CTableWatcher&) = delete;

    // Watches table files of the database folder, by the names the tables open them by
    // ("RESERVATION.BTR"). A table the folder does not hold is left out. Returns the number
    // of tables that could not be watched.
    int WatchTables(const std::string& folder, const std::vector<std::string>& fileNames);
    // Watches a plain file (a calendar memo year file) by its identity, size and time; it
    // need not exist yet. Watching a file again changes nothing.
    void WatchFile(const std::string& path);
    // Changes also wait while `busy` returns true (a drag on the grid).
    void SetBusyCheck(std::function<bool()> busy);

    // The window has just read these files on its own (a reload after its own save, or
    // 画面更新): what changed in them until now counts as seen and is not handed over.
    void MarkSeen(const QStringList& fileNames);
    void MarkAllSeen();

    // Looks for changes now and hands them over when the window is free; the timer calls it.
    void Poll();
    // Names of the changed files waiting for the window to be free.
    const QStringList& Waiting() const { return m_waiting; }

signals:
    // Names of the watched files ("RESERVATION.BTR", "CalendarMemo2024.txt") that another
    // program has changed since the window last read them, each once.
    void changed(const QStringList& fileNames);

private:
    struct PlainFile;
    // Adds the names of whatever changed since the last look to m_waiting.
    void Collect();
    bool WindowIsFree() const;

    QWidget* m_window;
    QTimer* m_timer;
    std::unique_ptr<recman::CChangeWatch> m_watch;
    std::vector<PlainFile> m_files;
    std::function<bool()> m_busy;
    QStringList m_waiting;
    bool m_handingOver = false;
};
