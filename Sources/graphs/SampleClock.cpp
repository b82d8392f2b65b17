#include "graphs/SampleClock.h"

#include "graphs/GraphView.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QTimer>

#include <algorithm>

namespace SampleClock {

namespace {

struct Ticker {
    QTimer* timer = nullptr;
    QList<GraphView*> views;
    QElapsedTimer lastTick;
};

QHash<int, Ticker>& tickers() {
    static QHash<int, Ticker> all;
    return all;
}

void tick(int intervalMs) {
    tickers()[intervalMs].lastTick.start();
    // A copy: a view may leave while the others are ticked.
    const QList<GraphView*> views = tickers()[intervalMs].views;
    for (GraphView* v : views)
        if (tickers()[intervalMs].views.contains(v))
            v->sampleTick();
    GraphView::sampleTicked();
}

} // namespace

void add(GraphView* view, int intervalMs) {
    Ticker& ticker = tickers()[intervalMs];
    if (!ticker.timer) {
        ticker.timer = new QTimer;
        ticker.timer->setInterval(intervalMs);
        QObject::connect(ticker.timer, &QTimer::timeout, [intervalMs] {
            Ticker& self = tickers()[intervalMs];
            // Back to its own pace if it stood in for another source.
            if (self.timer->interval() != intervalMs)
                self.timer->start(intervalMs);
            tick(intervalMs);
        });
        ticker.timer->start();
    }
    ticker.views.append(view);
}

void remove(GraphView* view, int intervalMs) {
    auto it = tickers().find(intervalMs);
    if (it == tickers().end())
        return;
    it->views.removeAll(view);
    if (it->views.isEmpty()) {
        delete it->timer;
        tickers().erase(it);
    }
}

bool alongside(int intervalMs) {
    auto it = tickers().find(intervalMs);
    if (it == tickers().end())
        return false;
    // Ticked a moment ago by the timer (the two were out of step): a tick
    // now would sample almost nothing.
    if (!it->lastTick.isValid() || it->lastTick.elapsed() >= intervalMs / 2)
        tick(intervalMs);
    it->timer->start(intervalMs * 3 / 2);
    return true;
}

void followWindow(GraphView* view, const void* window, int& intervalMs, int wantedMs) {
    if (window && intervalMs == 0) {
        intervalMs = wantedMs;
        add(view, intervalMs);
    } else if (!window && intervalMs > 0) {
        remove(view, intervalMs);
        intervalMs = 0;
    }
}

void retime(GraphView* view, int& intervalMs, int wantedMs) {
    if (intervalMs <= 0 || wantedMs <= 0 || intervalMs == wantedMs)
        return;
    remove(view, intervalMs);
    intervalMs = wantedMs;
    add(view, intervalMs);
}

int netIntervalMs() {
    return 1000 * std::max(1, UserDefaults::standardUserDefaults().integerForKey(
                                  SettingsKeys::NetInterval));
}

int cpuIntervalMs() {
    const float seconds =
        UserDefaults::standardUserDefaults().floatForKey(SettingsKeys::CPUInterval);
    // The settings never give a value out of range; a missing one (no
    // defaults registered) reads as 0 and takes the minimum.
    const SettingsKeys::NumberRange range = *SettingsKeys::rangeOf(SettingsKeys::CPUInterval);
    return int(std::clamp(double(seconds), range.minimum, range.maximum) * 1000.0 + 0.5);
}

} // namespace SampleClock
