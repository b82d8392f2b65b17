#pragma once

#include "graphs/GraphView.h"

#include <QByteArray>
#include <QStringList>

#include <deque>

class QProcess;
class QTimer;

// The network graph: incoming bytes per second hang from the top of the graph
// area, outgoing bytes per second rise from its bottom, one column per sample
// on a logarithmic scale ("NetScale" decades fill half the height). Its data
// come from the network helper, a child that prints one line of counters per
// "NetInterval" seconds; the view runs it while it is in a window.
class NetGraphView : public GraphView {
    Q_OBJECT
public:
    explicit NetGraphView(const QRect& frame, QWidget* parent = nullptr);
    ~NetGraphView() override;

    // Trims both series to the plot's width and redraws.
    void _drawGraph();
    // Handles one chunk of the helper's output: a sample pair for each whole
    // line in it; an empty chunk means the output has ended.
    void _readFromNetstat(const QByteArray& chunk);
    void _startNetstat();
    void _stopNetstat();

    const std::deque<float>& inBpsArray() const { return inBpsArray_; }
    const std::deque<float>& outBpsArray() const { return outBpsArray_; }
    bool isReading() const { return task_ != nullptr && !drained_; }
    QProcess* task() const { return task_; }

    // Where the helper is: beside the program in a build tree, or in
    // ../libexec/quorvel when installed. Tests may point elsewhere.
    static QString helperPath();
    static void setHelperPath(const QString& path);
    // How long after an unexpected end the helper is started again (5 s).
    static void setFirstRestartDelay(int milliseconds);

protected:
    void viewWillMoveToWindow(QWidget* window) override;
    // The helper's lines are its clock; it ticks the graphs of its interval
    // along with it.
    int clockIntervalMs() const override { return 0; }

private:
    // The helper runs with the interval and interfaces it was started with; a
    // change of either starts it again.
    void restartIfIntervalChanged();
    void helperEnded(int exitCode, int exitStatus);
    void takeLine(QByteArrayView line);

    QProcess* task_ = nullptr;
    std::deque<float> inBpsArray_;
    std::deque<float> outBpsArray_;
    // The child's interval: its counts are divided by the interval they cover,
    // even if the setting has changed since it started.
    int startedInterval_ = 1;
    QStringList startedInterfaces_;
    bool drained_ = false;
    QByteArray unfinishedLine_;
    static constexpr qsizetype maxLineBytes = 4096;
    // A helper that ends on its own is started again after this delay, which
    // doubles while it keeps ending soon after starting.
    int restartDelayMs_ = 0;
    QTimer* restartTimer_ = nullptr;
    qint64 startedAtMs_ = 0;
};
