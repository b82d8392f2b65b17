#include "graphs/NetGraphView.h"

#include "graphs/SampleClock.h"
#include "kernel/NetstatScanner.h"
#include "session/SystemLog.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <chrono>

#ifndef QUORVEL_HELPER_RELATIVE
#define QUORVEL_HELPER_RELATIVE "../libexec/quorvel"
#endif

namespace {

QString overriddenHelperPath;

int firstRestartDelayMs = 5000;
constexpr int longestRestartDelayMs = 5 * 60 * 1000;
// A helper that ran this long was fine; the next end starts the back-off anew.
constexpr qint64 healthyRunMs = 60 * 1000;

qint64 nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

NetGraphView::NetGraphView(const QRect& frame, QWidget* parent) : GraphView(frame, parent) {
    setTitle(QStringLiteral("Network"));
    restartTimer_ = new QTimer(this);
    restartTimer_->setSingleShot(true);
    connect(restartTimer_, &QTimer::timeout, this, [this] {
        _stopNetstat();
        _startNetstat();
    });
    connect(&UserDefaults::standardUserDefaults(), &UserDefaults::didChange, this,
            &NetGraphView::restartIfIntervalChanged);
}

NetGraphView::~NetGraphView() {
    _stopNetstat(); // normally done already, when the view left its window
    systemLog(QStringLiteral("NetGraphView dealloc"));
}

QString NetGraphView::helperPath() {
    if (!overriddenHelperPath.isEmpty())
        return overriddenHelperPath;
    const QString dir = QCoreApplication::applicationDirPath();
    const QString besideProgram = dir + QStringLiteral("/quorvel-netstat");
    if (QFileInfo(besideProgram).isExecutable())
        return besideProgram;
    return QFileInfo(dir + QStringLiteral("/" QUORVEL_HELPER_RELATIVE "/quorvel-netstat"))
        .absoluteFilePath();
}

void NetGraphView::setHelperPath(const QString& path) {
    overriddenHelperPath = path;
}

void NetGraphView::setFirstRestartDelay(int milliseconds) {
    firstRestartDelayMs = milliseconds;
}

void NetGraphView::viewWillMoveToWindow(QWidget* window) {
    if (window)
        _startNetstat();
    else
        _stopNetstat();
    GraphView::viewWillMoveToWindow(window);
}

void NetGraphView::_startNetstat() {
    if (task_)
        return;
    startedInterval_ =
        std::max(1, UserDefaults::standardUserDefaults().integerForKey(SettingsKeys::NetInterval));
    drained_ = false;
    unfinishedLine_.clear();
    task_ = new QProcess(this);
    task_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    task_->setStandardInputFile(QProcess::nullDevice());
    connect(task_, &QProcess::readyReadStandardOutput, this,
            [this] { _readFromNetstat(task_->readAllStandardOutput()); });
    connect(task_, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        _readFromNetstat(QByteArray());
        helperEnded(exitCode, int(status));
    });
    connect(task_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            systemLog(QStringLiteral("Cannot start the network helper %1 (%2); the network graph "
                                     "stays empty.")
                          .arg(task_->program(), task_->errorString()));
            drained_ = true;
        }
    });
    startedAtMs_ = nowMs();
    startedInterfaces_ =
        UserDefaults::standardUserDefaults().stringArrayForKey(SettingsKeys::NetInterfaces);
    QStringList arguments = {QStringLiteral("-w"), QString::number(startedInterval_)};
    for (const QString& name : std::as_const(startedInterfaces_))
        arguments << QStringLiteral("-I") << name;
    task_->start(helperPath(), arguments);
}

void NetGraphView::helperEnded(int exitCode, int exitStatus) {
    // The helper runs until it is stopped; ending by itself means it crashed or
    // was killed. The graph keeps its picture and the helper comes back.
    if (nowMs() - startedAtMs_ >= healthyRunMs)
        restartDelayMs_ = 0;
    restartDelayMs_ = restartDelayMs_ == 0 ? firstRestartDelayMs
                                           : std::min(restartDelayMs_ * 2, longestRestartDelayMs);
    const QString how = exitStatus == QProcess::CrashExit
                            ? QStringLiteral("was killed")
                            : QStringLiteral("exited with status %1").arg(exitCode);
    systemLog(QStringLiteral("The network helper %1; starting it again in %2 s.")
                  .arg(how)
                  .arg(double(restartDelayMs_) / 1000.0));
    restartTimer_->start(restartDelayMs_);
}

void NetGraphView::_stopNetstat() {
    restartTimer_->stop();
    if (!task_)
        return;
    QProcess* child = std::exchange(task_, nullptr);
    child->disconnect(this);
    if (child->state() != QProcess::NotRunning) {
        child->terminate();
        if (!child->waitForFinished(500)) {
            child->kill();
            child->waitForFinished(500);
        }
    }
    delete child;
}

void NetGraphView::restartIfIntervalChanged() {
    const UserDefaults& defaults = UserDefaults::standardUserDefaults();
    const int interval = std::max(1, defaults.integerForKey(SettingsKeys::NetInterval));
    if (task_ && (interval != startedInterval_ ||
                  defaults.stringArrayForKey(SettingsKeys::NetInterfaces) != startedInterfaces_)) {
        _stopNetstat();
        _startNetstat();
    }
}

// Every line is a sample: after a stall of the main thread (a rescan of the
// desktop entries, the helper's restart) two or more arrive in one read. A
// line cut by the read waits for its end.
void NetGraphView::_readFromNetstat(const QByteArray& chunk) {
    if (drained_)
        return;
    if (chunk.isEmpty()) {
        drained_ = true; // the output has ended; the graph keeps its last picture
        return;
    }
    unfinishedLine_ += chunk;
    qsizetype start = 0;
    for (qsizetype end; (end = unfinishedLine_.indexOf('\n', start)) >= 0; start = end + 1)
        takeLine(QByteArrayView(unfinishedLine_).sliced(start, end - start));
    unfinishedLine_.remove(0, start);
    // The helper's lines are a few dozen bytes; text that never ends one is
    // not the helper's.
    if (unfinishedLine_.size() > maxLineBytes)
        unfinishedLine_.clear();
}

void NetGraphView::takeLine(QByteArrayView line) {
    const auto sample = scanNetstatChunk(line);
    if (!sample)
        return;
    const float interval = float(startedInterval_);
    appendToHistory(inBpsArray_, float(sample->inBytes) / interval);
    appendToHistory(outBpsArray_, float(sample->outBytes) / interval);
    _drawGraph();
    // The graphs of the same interval sample with this line, so both are
    // drawn and painted in one wake-up, and their tick tells of the sample;
    // alone, this graph does.
    if (!SampleClock::alongside(startedInterval_ * 1000))
        sampleTicked();
}

void NetGraphView::_drawGraph() {
    drawHangingAndRising(inBpsArray_, outBpsArray_, SettingsKeys::NetIncomingFillColor,
                         SettingsKeys::NetOutgoingFillColor, SettingsKeys::NetScale);
}
