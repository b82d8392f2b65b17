#pragma once

#include "remote/NodeMetrics.h"

#include <QString>

#include <functional>
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
    void show(const QString& word, bool greyed);
    void push(const NodeRates& rates);
    // How many columns a graph of the group holds.
    int columns() const;

private:
    std::vector<RemoteGraphView*> views_;
};
