#pragma once

#include "remote/NodeMetrics.h"

#include <QString>
#include <Qt>

#include <functional>
#include <optional>
#include <vector>

class RemoteGraphView;

// One other machine's group of four graphs (its processors' load, network
// traffic, used memory and disk traffic), the first titled with the
// machine's name or, while it does not answer as it should, a word that says
// so over the greyed group. The views belong to whoever puts them in a
// window; the group takes them out and deletes them when it goes.
class RemoteGroup {
public:
    RemoteGroup();
    ~RemoteGroup();
    RemoteGroup(const RemoteGroup&) = delete;
    RemoteGroup& operator=(const RemoteGroup&) = delete;

    const std::vector<RemoteGraphView*>& views() const { return views_; }
    // Called at each tick of the network graph's clock while the group is in
    // a window.
    void setTickHandler(std::function<void()> handler);
    // A word of state over the group, greyed or not.
    void show(const QString& word, bool greyed);
    // The machine's name, not greyed, cut short where it would not fit: at
    // its end, or at its start where the end tells more (a port beside a
    // host that others share).
    void showName(const QString& name, Qt::TextElideMode elide);
    // A column drawn now (a history filled at once).
    void push(const NodeRates& rates);
    // A column drawn at the clock's next tick, with the machine's own graphs:
    // an answer that comes between two ticks would otherwise cost the window
    // a paint of its own, and the display server's answer to it a wake-up.
    void hold(const NodeRates& rates) { held_ = rates; }
    void drawHeld();
    // How many columns a graph of the group holds.
    int columns() const;

private:
    std::vector<RemoteGraphView*> views_;
    std::optional<NodeRates> held_;
    // The name last shown and what it was cut to: the cutting shapes text,
    // which costs more than the rest of an answer, and the name seldom changes.
    struct Elided {
        QString name, shown;
        Qt::TextElideMode mode;
        qreal width;
    };
    std::optional<Elided> elided_;
};
