#include "graphs/RemoteGraphView.h"

#include "graphs/SampleClock.h"
#include "settings/SettingsKeys.h"

#include <QPainter>

RemoteGraphView::RemoteGraphView(const QRect& frame, Kind kind, QWidget* parent)
    : GraphView(frame, parent), kind_(kind) {}

// Only the graph with a tick handler joins the clock, at "NetInterval".
int RemoteGraphView::clockIntervalMs() const {
    return tick_ ? SampleClock::netIntervalMs() : 0;
}

void RemoteGraphView::sampleTick() {
    if (tick_)
        tick_();
}

void RemoteGraphView::push(const NodeRates& rates) {
    switch (kind_) {
    case Kind::Cpu:
        if (rates.user && rates.system && rates.nice)
            appendAndDrawStacked({{&history_[0], *rates.user, SettingsKeys::CPUUserFillColor},
                                  {&history_[1], *rates.system, SettingsKeys::CPUSystemFillColor},
                                  {&history_[2], *rates.nice, SettingsKeys::CPUNiceFillColor}});
        break;
    case Kind::Memory:
        if (rates.memoryUsed)
            appendAndDrawStacked(
                {{&history_[0], *rates.memoryUsed, SettingsKeys::MemUsedFillColor}});
        break;
    case Kind::Network:
        appendToHistory(history_[0], rates.inBytes);
        appendToHistory(history_[1], rates.outBytes);
        drawHangingAndRising(history_[0], history_[1], SettingsKeys::NetIncomingFillColor,
                             SettingsKeys::NetOutgoingFillColor, SettingsKeys::NetScale);
        break;
    case Kind::Disk:
        appendToHistory(history_[0], rates.readBytes);
        appendToHistory(history_[1], rates.writtenBytes);
        drawHangingAndRising(history_[0], history_[1], SettingsKeys::DiskReadFillColor,
                             SettingsKeys::DiskWriteFillColor, SettingsKeys::DiskScale);
        break;
    }
}

void RemoteGraphView::showState(const QString& title, bool greyed) {
    if (title == graphTitle() && greyed == greyed_)
        return;
    greyed_ = greyed;
    retitle(title);
}

void RemoteGraphView::paintEvent(QPaintEvent* event) {
    GraphView::paintEvent(event);
    if (greyed_) {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(128, 128, 128, 160));
    }
}
