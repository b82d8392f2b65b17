#pragma once

#include <QList>

#include <functional>
#include <memory>
#include <vector>

class CPUGraphView;
class DiskGraphView;
class GPUGraphView;
class GraphView;
class MemGraphView;
class NetGraphView;
class PrometheusFleet;
class QRectF;
class QWidget;
class RemoteHost;
class TempGraphView;
class UserDefaults;

// The graphs the settings ask for, made, kept and deleted as the settings
// change, and laid out in the stat window's content view: the network,
// memory, disk, temperature and GPU graphs, the CPU graphs (one per processor, or
// per run of processors where there are many), then the other machines'
// groups. The controller places the window around them.
class StatWindowGraphs {
public:
    explicit StatWindowGraphs(UserDefaults& defaults) : defaults_(defaults) {}
    ~StatWindowGraphs();
    StatWindowGraphs(const StatWindowGraphs&) = delete;
    StatWindowGraphs& operator=(const StatWindowGraphs&) = delete;

    // The graphs in their slots, in grid columns fitting workArea.
    struct Arrangement {
        int graphs = 0;
        int columns = 1;
    };
    Arrangement arrange(QWidget* contentView, const QRectF& workArea);
    // Every graph out and deleted; no helper outlives the program.
    void takeOutAll();

    // At most this many other machines are shown (each is four graphs).
    static constexpr int maxRemoteHosts = 8;
    // Called when a Prometheus server's machines come or go, for the window
    // to be laid out again (later, not within the fleet's own answer).
    void setRegroupHandler(std::function<void()> handler) { regroup_ = std::move(handler); }

    NetGraphView* netView() const { return netView_; }
    MemGraphView* memView() const { return memView_; }
    DiskGraphView* diskView() const { return diskView_; }
    TempGraphView* tempView() const { return tempView_; }
    GPUGraphView* gpuView() const { return gpuView_; }
    const std::vector<std::unique_ptr<RemoteHost>>& remoteHosts() const { return remoteHosts_; }
    const std::vector<std::unique_ptr<PrometheusFleet>>& fleets() const { return fleets_; }
    const QList<CPUGraphView*>& cpuViews() const { return cpuViews_; }
    bool hasCPUViews() const { return hasCPUViews_; }

private:
    // The other machines' graphs, in the window and in their order.
    QList<GraphView*> placeRemoteHosts(QWidget* contentView);
    void takeOutCPUViews();

    UserDefaults& defaults_;
    QList<CPUGraphView*> cpuViews_;
    bool hasCPUViews_ = false;
    int processorsShown_ = 0;
    NetGraphView* netView_ = nullptr;
    MemGraphView* memView_ = nullptr;
    DiskGraphView* diskView_ = nullptr;
    TempGraphView* tempView_ = nullptr;
    GPUGraphView* gpuView_ = nullptr;
    std::vector<std::unique_ptr<RemoteHost>> remoteHosts_;
    std::vector<std::unique_ptr<PrometheusFleet>> fleets_;
    std::function<void()> regroup_;
};
