#include "app/StatWindowGraphs.h"

#include "graphs/CPUGraphView.h"
#include "graphs/DiskGraphView.h"
#include "graphs/GPUGraphView.h"
#include "graphs/MemGraphView.h"
#include "graphs/NetGraphView.h"
#include "graphs/RemoteGraphView.h"
#include "graphs/TempGraphView.h"
#include "remote/PrometheusFleet.h"
#include "remote/RemoteHost.h"
#include "session/SystemLog.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"
#include "statwindow/StatWindowLayout.h"

#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

// Takes a graph out of the stat window and deletes it; taking the network
// graph out stops its helper.
template <typename View> void takeOutGraph(View*& view) {
    if (!view)
        return;
    view->removeFromSuperview();
    delete std::exchange(view, nullptr);
}

// A graph of its own kind, next in the window while it is shown (made when it
// first is), taken out and deleted while it is not.
template <typename View>
void placeGraph(bool shown, View*& view, QWidget* contentView, QList<GraphView*>& shownViews) {
    if (!shown) {
        takeOutGraph(view);
        return;
    }
    if (!view) {
        view = new View(StatWindowLayout::_graphRect(0, 1).toRect());
        view->addToContentView(contentView);
    }
    shownViews << view;
}

} // namespace

StatWindowGraphs::~StatWindowGraphs() {
    takeOutAll();
    takeOutCPUViews();
}

void StatWindowGraphs::takeOutAll() {
    takeOutGraph(netView_);
    takeOutGraph(memView_);
    takeOutGraph(diskView_);
    takeOutGraph(tempView_);
    takeOutGraph(gpuView_);
    remoteHosts_.clear();
    fleets_.clear();
}

void StatWindowGraphs::takeOutCPUViews() {
    for (CPUGraphView* view : std::as_const(cpuViews_))
        view->removeFromSuperview();
    qDeleteAll(std::exchange(cpuViews_, {}));
    hasCPUViews_ = false;
}

StatWindowGraphs::Arrangement StatWindowGraphs::arrange(QWidget* contentView,
                                                        const QRectF& workArea) {
    QList<GraphView*> shownViews;
    placeGraph(defaults_.boolForKey(SettingsKeys::ShowNetGraph), netView_, contentView, shownViews);
    placeGraph(defaults_.boolForKey(SettingsKeys::ShowMemGraph), memView_, contentView, shownViews);
    placeGraph(defaults_.boolForKey(SettingsKeys::ShowDiskGraph), diskView_, contentView,
               shownViews);
    // A machine without a temperature sensor (many virtual ones) has no
    // temperature graph, whatever the setting says; the preferences say why.
    placeGraph(defaults_.boolForKey(SettingsKeys::ShowTempGraph) &&
                   (tempView_ || !TempGraphView::sensors().empty()),
               tempView_, contentView, shownViews);
    // The same for a machine without a GPU that a reader knows.
    placeGraph(defaults_.boolForKey(SettingsKeys::ShowGPUGraph) &&
                   (gpuView_ || GPUDevices::anyReadable(GPUGraphView::drmRoot())),
               gpuView_, contentView, shownViews);
    const QList<GraphView*> remoteViews = placeRemoteHosts(contentView);

    const bool showCPU = defaults_.boolForKey(SettingsKeys::ShowCPUGraph);
    // The processor count is taken as fixed while the graphs are shown.
    if (showCPU && !hasCPUViews_)
        processorsShown_ = CPUGraphView::getCPUCount();
    const StatWindowLayout::GraphGrid grid = StatWindowLayout::graphGrid(
        workArea, int(shownViews.size() + remoteViews.size()), showCPU ? processorsShown_ : 0);
    const bool regrouped = hasCPUViews_ && !cpuViews_.isEmpty() &&
                           cpuViews_.front()->cpuCount() != grid.processorsPerGraph;
    if (hasCPUViews_ && (!showCPU || regrouped))
        takeOutCPUViews();
    if (showCPU && !hasCPUViews_) {
        hasCPUViews_ = true;
        for (int graph = 0; graph < grid.cpuGraphs; ++graph) {
            auto* view = new CPUGraphView(
                StatWindowLayout::_graphRect(0, 1).toRect(), graph * grid.processorsPerGraph,
                std::min(grid.processorsPerGraph,
                         processorsShown_ - graph * grid.processorsPerGraph));
            view->addToContentView(contentView);
            cpuViews_.append(view);
        }
    }
    for (CPUGraphView* view : std::as_const(cpuViews_))
        shownViews << view;
    shownViews << remoteViews;
    for (int slot = 0; slot < shownViews.size(); ++slot)
        shownViews[slot]->setGeometry(StatWindowLayout::_graphRect(slot, grid.columns).toRect());
    return {int(shownViews.size()), grid.columns};
}

// The machines "RemoteHosts" names, each a group of graphs after the local
// ones (a Prometheus server's, a group per machine it scrapes); a machine
// that stays in the list keeps its group and its history.
QList<GraphView*> StatWindowGraphs::placeRemoteHosts(QWidget* contentView) {
    QList<QUrl> wanted;
    for (const QString& entry : defaults_.stringArrayForKey(SettingsKeys::RemoteHosts)) {
        const QUrl url(entry);
        if (!wanted.contains(url))
            wanted << url;
    }
    if (wanted.size() > maxRemoteHosts) {
        systemLog(QStringLiteral("\"RemoteHosts\" names %1 machines; the first %2 are shown.")
                      .arg(wanted.size())
                      .arg(maxRemoteHosts));
        wanted.resize(maxRemoteHosts);
    }
    // Kept or made, in the list's order; those no longer named go with their
    // graphs.
    const auto keep = [&wanted](auto& had, const auto& wantedHere, auto make) {
        std::remove_reference_t<decltype(had)> kept;
        for (const QUrl& url : wanted) {
            if (!wantedHere(url))
                continue;
            auto found = std::find_if(had.begin(), had.end(), [&url](const auto& source) {
                return source && source->url() == url;
            });
            kept.push_back(found != had.end() ? std::move(*found) : make(url));
        }
        had = std::move(kept);
    };
    keep(
        remoteHosts_, [](const QUrl& url) { return !PrometheusFleet::isFleetAddress(url); },
        [](const QUrl& url) { return std::make_unique<RemoteHost>(url); });
    keep(fleets_, &PrometheusFleet::isFleetAddress, [this](const QUrl& url) {
        auto fleet = std::make_unique<PrometheusFleet>(url);
        QObject::connect(
            fleet.get(), &PrometheusFleet::groupsChanged, fleet.get(),
            [this] {
                if (regroup_)
                    regroup_();
            },
            Qt::QueuedConnection);
        return fleet;
    });
    // Every machine a group, at most maxRemoteHosts groups in all: a server
    // gets what the entries before it leave.
    QList<GraphView*> views;
    int groups = 0;
    const auto place = [&](const std::vector<RemoteGraphView*>& group) {
        for (RemoteGraphView* view : group) {
            if (view->parentWidget() != contentView)
                view->addToContentView(contentView);
            views << view;
        }
    };
    auto host = remoteHosts_.begin();
    auto fleet = fleets_.begin();
    for (const QUrl& url : std::as_const(wanted)) {
        if (PrometheusFleet::isFleetAddress(url)) {
            (*fleet)->setGroupLimit(maxRemoteHosts - groups);
            groups += (*fleet)->groupCount();
            place((*fleet++)->views());
        } else {
            ++groups;
            place((*host++)->views());
        }
    }
    return views;
}
