#include "CPUGraphView.h"

#include "NSUserDefaults-QVExt.h"
#include "PlotGeometry.h"
#include "SettingsKeys.h"
#include "platform/SystemLog.h"
#include "platform/UserDefaults.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QTimer>

#include <algorithm>

#include <cstdio>

namespace {

void reportQueryFailure(const QString& why) {
    std::fprintf(stderr, "host_processor_info error: %s\n", qPrintable(why));
}

// One repeating timer per sampling interval, ticking every view of that
// interval in the order they joined.
class SampleClock {
public:
    static void add(CPUGraphView* view, int intervalMs) {
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

    static void remove(CPUGraphView* view, int intervalMs) {
        auto it = tickers().find(intervalMs);
        if (it == tickers().end())
            return;
        it->views.removeAll(view);
        if (it->views.isEmpty()) {
            delete it->timer;
            tickers().erase(it);
        }
    }

    // Another source of samples of the same interval (the network helper) just
    // delivered: the views tick with it, so that one wake-up and one paint serve
    // both, and the timer stands back, firing only if that source misses a beat.
    static bool alongside(int intervalMs) {
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

private:
    struct Ticker {
        QTimer* timer = nullptr;
        QList<CPUGraphView*> views;
        QElapsedTimer lastTick;
    };
    static QHash<int, Ticker>& tickers() {
        static QHash<int, Ticker> all;
        return all;
    }
    static void tick(int intervalMs) {
        tickers()[intervalMs].lastTick.start();
        // A copy: a view may leave while the others are ticked.
        const QList<CPUGraphView*> views = tickers()[intervalMs].views;
        for (CPUGraphView* v : views)
            if (tickers()[intervalMs].views.contains(v))
                v->_drawGraph();
        GraphView::sampleTicked();
    }
};

} // namespace

bool CPUGraphView::sampleAlongside(int intervalMs) { return SampleClock::alongside(intervalMs); }

CPUGraphView::CPUGraphView(const QRect& frame, int cpuNumber, QWidget* parent)
    : GraphView(frame, parent), cpuNumber_(cpuNumber),
      cpuGraphElements_{{{&CPULoad::user, SettingsKeys::CPUUserFillColor, {}},
                         {&CPULoad::system, SettingsKeys::CPUSystemFillColor, {}},
                         {&CPULoad::nice, SettingsKeys::CPUNiceFillColor, {}}}} {
    setTitle(QStringLiteral("CPU #%1").arg(cpuNumber_ + 1));
}

CPUGraphView::~CPUGraphView() {
    if (sampleInterval_ > 0)
        SampleClock::remove(this, sampleInterval_);
    systemLog(QStringLiteral("CPUGraphView dealloc"));
}

int CPUGraphView::getCPUCount() {
    QString error;
    const auto snapshot = ProcStatReader::shared().snapshot(&error);
    if (!snapshot) {
        reportQueryFailure(error);
        return 0;
    }
    return snapshot->processorCount();
}

std::optional<CPULoad> CPUGraphView::_getCPULoad() {
    QString error;
    const auto snapshot = ProcStatReader::shared().snapshot(&error);
    if (!snapshot) {
        reportQueryFailure(error);
        return std::nullopt;
    }
    const ProcessorTicks* current = snapshot->processor(cpuNumber_);
    if (!current)
        return std::nullopt; // offline: nothing to show for this interval
    // The first sample compares with zero: the shares since boot.
    const CPULoad load = cpuLoadBetween(prevInfoArray_.value_or(ProcessorTicks{}), *current);
    prevInfoArray_ = *current;
    return load;
}

void CPUGraphView::viewWillMoveToWindow(QWidget* window) {
    if (window) {
        // A view entering a window while it samples keeps its interval.
        if (sampleInterval_ == 0) {
            const float seconds =
                UserDefaults::standardUserDefaults().floatForKey(SettingsKeys::CPUInterval);
            // The settings never give a value out of range; a missing one
            // (no defaults registered) reads as 0 and takes the minimum.
            const SettingsKeys::NumberRange range = *SettingsKeys::rangeOf(SettingsKeys::CPUInterval);
            sampleInterval_ = int(std::clamp(double(seconds), range.minimum, range.maximum) * 1000.0 + 0.5);
            SampleClock::add(this, sampleInterval_);
        }
    } else if (sampleInterval_ > 0) {
        SampleClock::remove(this, sampleInterval_);
        sampleInterval_ = 0;
    }
    GraphView::viewWillMoveToWindow(window);
}

void CPUGraphView::_drawGraph() {
    // A tick without a sample adds nothing and keeps the last picture.
    const auto load = _getCPULoad();
    if (!load)
        return;

    const QSizeF size = imageSize();
    const int capacity = PlotGeometry::capacity(float(size.width()));
    const float plotHeight = PlotGeometry::plotHeight(float(size.height()), topMargin());
    for (GraphElement& element : cpuGraphElements_) {
        element.dataArray.push_back((*load).*element.cpuInfoKey);
        if (int(element.dataArray.size()) > capacity)
            element.dataArray.pop_front();
    }

    clearGraph();
    ImagePainter painter(*this);
    painter.setRenderHint(QPainter::Antialiasing);
    const UserDefaults& defaults = UserDefaults::standardUserDefaults();
    std::array<QColor, 3> colors;
    for (std::size_t e = 0; e < colors.size(); ++e) {
        // Read once per redraw rather than once per segment: the same colour for
        // every column, and a changed colour still shows at the next tick.
        colors[e] = QVExtensions::unarchivedObjectForKey(defaults, cpuGraphElements_[e].fillColor);
    }
    const std::size_t n = cpuGraphElements_[0].dataArray.size();
    for (std::size_t c = 0; c < n; ++c) {
        const float x = PlotGeometry::columnCenter(int(c));
        float y = 1.0f;
        for (std::size_t e = 0; e < cpuGraphElements_.size(); ++e) {
            const float top = y + plotHeight * cpuGraphElements_[e].dataArray[c];
            // A one-unit stroke with flat ends from (x, y) to (x, top) covers
            // exactly this rectangle; filling it is much cheaper than stroking.
            if (top > y && colors[e].isValid())
                painter.fillRect(QRectF(x - 0.5, y, 1.0, top - y), colors[e]);
            y = top;
        }
    }
    painter.end();
    imageDrawn();
}
