#pragma once

#include "graphs/GraphView.h"
#include "remote/NodeMetrics.h"

#include <array>
#include <deque>
#include <functional>

// One graph of another machine's group (see remote/RemoteHost): its processors'
// load stacked as a CPU graph's, its network or disk traffic as the network
// graph's, or its used memory. It draws what the group hands it; the group's
// first graph keeps the group's time on the network graph's clock.
class RemoteGraphView : public GraphView {
    Q_OBJECT
public:
    enum class Kind { Cpu, Network, Memory, Disk };

    RemoteGraphView(const QRect& frame, Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    // Called at each tick of the clock while in a window; only one graph of a
    // group is given one.
    void setTickHandler(std::function<void()> handler) { tick_ = std::move(handler); }
    void sampleTick() override;

    void push(const NodeRates& rates);
    // A word in place of the title while the machine is not answering as it
    // should; the graph is greyed meanwhile. Empty: the title, not greyed.
    void showState(const QString& title, bool greyed);
    bool isGreyed() const { return greyed_; }
    const std::deque<float>& history(int element) const { return history_[std::size_t(element)]; }

protected:
    int clockIntervalMs() const override;
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
    std::function<void()> tick_;
    bool greyed_ = false;
    std::array<std::deque<float>, 3> history_;
};
