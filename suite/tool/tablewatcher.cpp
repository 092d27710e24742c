// The window-side change watch: a timer over recman::CChangeWatch and the stamps of plain
// files, and the rule of when a window may reload.
#include "suite/tool/tablewatcher.h"

#include <sys/stat.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <filesystem>

#include "recman/changes.h"
#include "recman/recman.h"

namespace {

QString NameOf(const std::string& path) {
    return QString::fromStdString(std::filesystem::path(path).filename().string());
}

}  // namespace

// A plain file as last seen: which file it was, how long and when it was written. A save by
// replacing the file (atomic writes) gives another identity, a save in place another time.
struct CTableWatcher::PlainFile {
    std::string path;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static PlainFile Stamp(const std::string& path) {
        PlainFile f;
        f.path = path;
        struct stat info;
        if (::stat(path.c_str(), &info) != 0) return f;
        f.exists = true;
        f.device = info.st_dev;
        f.inode = info.st_ino;
        f.size = info.st_size;
        f.modified = info.st_mtim;
        f.changed = info.st_ctim;
        return f;
    }
    bool SameAs(const PlainFile& o) const {
        const auto same = [](const timespec& a, const timespec& b) {
            return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
        };
        if (exists != o.exists) return false;
        return !exists || (device == o.device && inode == o.inode && size == o.size &&
                           same(modified, o.modified) && same(changed, o.changed));
    }
};

CTableWatcher::CTableWatcher(QWidget* window)
    : QObject(window),
      m_window(window),
      m_timer(new QTimer(this)),
      m_watch(std::make_unique<recman::CChangeWatch>()) {
    m_timer->setInterval(kPollIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &CTableWatcher::Poll);
    m_timer->start();
}

CTableWatcher::~CTableWatcher() = default;

int CTableWatcher::WatchTables(const std::string& folder,
                               const std::vector<std::string>& fileNames) {
    int missed = 0;
    for (const std::string& name : fileNames) {
        if (m_watch->Watch((std::filesystem::path(folder) / name).string()) != recman::kOk)
            ++missed;
    }
    return missed;
}

void CTableWatcher::WatchFile(const std::string& path) {
    for (const PlainFile& f : m_files)
        if (f.path == path) return;
    m_files.push_back(PlainFile::Stamp(path));
}

void CTableWatcher::SetBusyCheck(std::function<bool()> busy) { m_busy = std::move(busy); }

void CTableWatcher::Collect() {
    for (const std::string& path : m_watch->Poll()) {
        const QString name = NameOf(path);
        if (!m_waiting.contains(name)) m_waiting << name;
    }
    for (PlainFile& f : m_files) {
        PlainFile now = PlainFile::Stamp(f.path);
        if (now.SameAs(f)) continue;
        f = std::move(now);
        const QString name = NameOf(f.path);
        if (!m_waiting.contains(name)) m_waiting << name;
    }
}

void CTableWatcher::MarkSeen(const QStringList& fileNames) {
    // What changed in the other files until now still waits for the window.
    Collect();
    for (const QString& name : fileNames) m_waiting.removeAll(name);
}

void CTableWatcher::MarkAllSeen() {
    Collect();
    m_waiting.clear();
}

bool CTableWatcher::WindowIsFree() const {
    if (m_window == nullptr || !m_window->isVisible()) return false;
    // A dialog over the window (a booking being filled in, a question) is never disturbed:
    // the window reloads once it is back in front.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != m_window->window()) return false;
    if (QApplication::activePopupWidget() != nullptr) return false;
    if (QApplication::mouseButtons() != Qt::NoButton) return false;
    return !m_busy || !m_busy();
}

void CTableWatcher::Poll() {
    // A reload that waits in an event loop of its own must not start another one.
    if (m_handingOver) return;
    Collect();
    if (m_waiting.isEmpty() || !WindowIsFree()) return;
    const QStringList names = m_waiting;
    m_waiting.clear();
    m_handingOver = true;
    emit changed(names);
    m_handingOver = false;
}
