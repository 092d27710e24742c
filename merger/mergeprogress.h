// What the merge steps report while they run: the status line, the progress bar, the mark of
// a Xylo patient row, and a chance to repaint. The main window implements it; tests use a
// recorder or the quiet one below. Every step of a run reports through one object, which
// also counts the run's steps (position = steps done × 100 / total steps).
#pragma once

#include <QString>
#include <algorithm>

namespace unita {

// Marks of the Xylo list's rows, in the order of the window's image list.
enum class ERowMark { None = 0, Success = 1, Importing = 2, Failure = 3 };

class IMergeProgress {
public:
    virtual ~IMergeProgress() = default;

    // The status line under the lists.
    virtual void SetStatus(const QString& text) = 0;
    // The progress bar, 0-100.
    virtual void SetPosition(int percent) = 0;
    // Mark row `row` (list order, counting from 0) of the Xylo list.
    virtual void MarkXyloRow(int row, ERowMark mark) = 0;
    // Lets the window repaint (one pending message after each patient).
    virtual void ProcessPendingEvents() {}

    // Step counting of a run or a command: BeginSteps sets the total and puts the bar at 0;
    // AdvanceStep counts one step and moves the bar to done × 100 / total.
    void BeginSteps(int totalSteps) {
        m_totalSteps = totalSteps;
        m_stepsDone = 0;
        SetPosition(0);
    }
    void AdvanceStep() {
        ++m_stepsDone;
        if (m_totalSteps > 0) SetPosition(m_stepsDone * 100 / m_totalSteps);
    }
    int StepsDone() const { return m_stepsDone; }
    // Goes back to `done` steps, for work that is done again (a batch merged again patient
    // by patient), so that the bar does not run past its end.
    void RewindSteps(int done) { m_stepsDone = std::min(done, m_stepsDone); }
    int TotalSteps() const { return m_totalSteps; }

    // The copy stop mark of a run: set by a failed file copy, asked about before the next
    // entry, and cleared at the start of each run so one stop never ends a later run.
    bool StopMark() const { return m_stopMark; }
    void SetStopMark(bool set) { m_stopMark = set; }

private:
    int m_totalSteps = 0;
    int m_stepsDone = 0;
    bool m_stopMark = false;
};

// Reports nowhere; for callers without a window (tests, the command line).
class CQuietMergeProgress final : public IMergeProgress {
public:
    void SetStatus(const QString&) override {}
    void SetPosition(int) override {}
    void MarkXyloRow(int, ERowMark) override {}
};

}  // namespace unita
