// Costs of the per-second work: one CPU tick (sample and redraw), one network
// redraw, the sampling of all CPU graphs for one interval, one whole tick
// (sample and draw every CPU graph) and the painting of the window's image,
// at 2, 64 and 256 processors, from generated /proc/stat files; and one tick
// of the whole window at 16, 256 and 1,024 processors; one GPU graph tick
// (its sysfs files read, a column drawn) on recorded AMD and Intel cards and
// on a card of kernel files; a Prometheus server's answer for two machines
// read into their figures, an exporter's answer (the collectors asked for)
// read into its figures, and one of those machines' group drawn.
#include "graphs/CPUGraphView.h"
#include "graphs/GPUGraphView.h"
#include "graphs/NetGraphView.h"
#include "kernel/ProcStat.h"
#include "remote/NodeMetrics.h"
#include "remote/PrometheusAnswer.h"
#include "remote/RemoteGroup.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"
#include "statwindow/StatWindowLayout.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

QTemporaryDir* scratch = nullptr;

// A /proc/stat of n processors whose counters grow with `round`.
QString writeProcStat(int processors, int round) {
    const QString path = scratch->path() + QStringLiteral("/stat-%1-%2").arg(processors).arg(round);
    if (QFile::exists(path))
        return path;
    QByteArray text = "cpu  1 2 3 4 5 6 7 8 0 0\n";
    for (int n = 0; n < processors; ++n)
        text += "cpu" + QByteArray::number(n) + " " + QByteArray::number(1000 + round * 30 + n) +
                " " + QByteArray::number(round * 2) + " " + QByteArray::number(500 + round * 10) +
                " " + QByteArray::number(90000 + round * 58) + " 12 3 4 0 0 0\n";
    text += "intr 1 2 3\nctxt 123456\nbtime 1700000000\nprocesses 4242\n";
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return path;
}

struct Settings {
    Settings() : defaults(scratch->path() + "/Quorvel.conf") {
        SettingsKeys::registerDefaultDefaults(defaults);
        UserDefaults::setStandardUserDefaults(&defaults);
    }
    ~Settings() { UserDefaults::setStandardUserDefaults(nullptr); }
    UserDefaults defaults;
};

// One tick a second of the clock: every CPU graph samples the next of two
// /proc/stat readings, in turn, and draws.
struct Ticks {
    QString rounds[2];
    int round = 0;
    std::chrono::steady_clock::time_point now{};
    void sampleAndDraw(std::vector<std::unique_ptr<CPUGraphView>>& views) {
        ProcStatReader reader(rounds[round++ % 2].toStdString(), std::chrono::milliseconds(20),
                              [this] { return now; });
        ProcStatReader::setShared(&reader);
        now += std::chrono::seconds(1);
        for (auto& view : views)
            view->_drawGraph();
        ProcStatReader::setShared(nullptr);
    }
};

void BM_CPUTick(benchmark::State& state) {
    Settings settings;
    // Two readings that differ, so that every tick draws real columns.
    ProcStatReader readers[2] = {
        ProcStatReader(writeProcStat(2, 1).toStdString(), std::chrono::milliseconds(0)),
        ProcStatReader(writeProcStat(2, 2).toStdString(), std::chrono::milliseconds(0))};
    CPUGraphView view(QRect(0, 0, 64, 64), 0);
    int tick = 0;
    for (; tick < 62; ++tick) { // a full graph: the steady state
        ProcStatReader::setShared(&readers[tick % 2]);
        view._drawGraph();
    }
    for (auto _ : state) {
        ProcStatReader::setShared(&readers[tick++ % 2]);
        view._drawGraph();
    }
    ProcStatReader::setShared(nullptr);
}
BENCHMARK(BM_CPUTick);

void BM_NetRedraw(benchmark::State& state) {
    Settings settings;
    NetGraphView view(QRect(0, 0, 64, 64));
    const QByteArray line = "        12     0     123456         10     0       4567     0\n";
    for (int i = 0; i < 62; ++i)
        view._readFromNetstat(line);
    for (auto _ : state)
        view._readFromNetstat(line);
}
BENCHMARK(BM_NetRedraw);

// A recorded answer under the fixtures, empty where it cannot be read.
QByteArray recordedAnswer(const QString& path) {
    QFile file(QStringLiteral(QUORVEL_FIXTURES) + path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void BM_PrometheusAnswer(benchmark::State& state) {
    const QByteArray json = recordedAnswer(QStringLiteral("/prometheus/vector.json"));
    if (json.isEmpty())
        return state.SkipWithError("no recorded answer");
    for (auto _ : state)
        benchmark::DoNotOptimize(fleetReadings(parsePrometheusAnswer(json).series));
}
BENCHMARK(BM_PrometheusAnswer);

void BM_ExporterAnswer(benchmark::State& state) {
    const QByteArray text = recordedAnswer(QStringLiteral("/node_exporter/debian12-filtered.prom"));
    if (text.isEmpty())
        return state.SkipWithError("no recorded answer");
    for (auto _ : state)
        benchmark::DoNotOptimize(
            parseNodeMetrics(std::string_view(text.constData(), std::size_t(text.size()))));
}
BENCHMARK(BM_ExporterAnswer);

void BM_RemoteGroupPush(benchmark::State& state) {
    Settings settings;
    RemoteGroup group;
    NodeRates rates;
    rates.user = 0.2f, rates.system = 0.1f, rates.nice = 0.0f, rates.memoryUsed = 0.5f;
    rates.inBytes = 12345, rates.outBytes = 2345, rates.readBytes = 1e6, rates.writtenBytes = 0;
    for (auto _ : state)
        group.push(rates);
}
BENCHMARK(BM_RemoteGroupPush);

// An AMD card whose attributes are links to kernel files of the same form
// (a power state, small numbers): read through descriptors kept open, as on
// a real card, where the recorded trees' plain files are opened each time.
QString kernelBackedCard() {
    const QString device = scratch->path() + QStringLiteral("/drm-kernel/card0/device/");
    QDir().mkpath(device + QStringLiteral("power"));
    QDir().mkpath(device + QStringLiteral("hwmon/hwmon0"));
    QFile uevent(device + QStringLiteral("uevent"));
    uevent.open(QIODevice::WriteOnly);
    uevent.write("DRIVER=amdgpu\n");
    const std::pair<const char*, const char*> links[] = {
        {"power/runtime_status", "/sys/devices/software/power/runtime_status"},
        {"gpu_busy_percent", "/sys/class/net/lo/addr_len"},
        {"mem_info_vram_used", "/sys/class/net/lo/tx_queue_len"},
        {"mem_info_vram_total", "/sys/class/net/lo/mtu"},
        {"hwmon/hwmon0/temp1_input", "/sys/class/net/lo/mtu"}};
    for (const auto& [name, target] : links)
        QFile::link(QString::fromLatin1(target), device + QString::fromLatin1(name));
    return scratch->path() + QStringLiteral("/drm-kernel");
}

void BM_GPUTick(benchmark::State& state) {
    Settings settings;
    const char* trees[] = {"amd-one", "i915", "kernel files"};
    GPUGraphView::setSources(state.range(0) == 2
                                 ? kernelBackedCard()
                                 : QStringLiteral(QUORVEL_DRM_FIXTURES "/") + trees[state.range(0)],
                             {});
    GPUGraphView view(QRect(0, 0, 64, 64));
    for (int i = 0; i < 62; ++i)
        view.sampleTick();
    for (auto _ : state)
        view.sampleTick();
    state.SetLabel(trees[state.range(0)]);
}
BENCHMARK(BM_GPUTick)->Arg(0)->Arg(1)->Arg(2);

// One interval: every CPU graph takes its sample. With the shared reader the
// first view reads and parses /proc/stat and the others reuse that snapshot;
// maxAge 0 shows the cost of every view reading for itself.
void sampleAllViews(benchmark::State& state, std::chrono::milliseconds maxAge) {
    Settings settings;
    const int processors = int(state.range(0));
    const QString rounds[2] = {writeProcStat(processors, 1), writeProcStat(processors, 2)};
    auto now = std::chrono::steady_clock::time_point{};
    std::unique_ptr<ProcStatReader> reader;
    std::vector<std::unique_ptr<CPUGraphView>> views;
    ProcStatReader::setShared(nullptr);
    for (int n = 0; n < processors; ++n)
        views.push_back(std::make_unique<CPUGraphView>(QRect(0, 0, 64, 64), n));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        reader = std::make_unique<ProcStatReader>(rounds[round++ % 2].toStdString(), maxAge,
                                                  [&] { return now; });
        ProcStatReader::setShared(reader.get());
        now += std::chrono::seconds(1);
        state.ResumeTiming();
        for (auto& view : views)
            benchmark::DoNotOptimize(view->_getCPULoad());
    }
    ProcStatReader::setShared(nullptr);
    state.SetComplexityN(processors);
}

void BM_SampleAllViews_Shared(benchmark::State& state) {
    sampleAllViews(state, std::chrono::milliseconds(20));
}
BENCHMARK(BM_SampleAllViews_Shared)->Arg(2)->Arg(64)->Arg(256)->Complexity();

void BM_SampleAllViews_EachReads(benchmark::State& state) {
    sampleAllViews(state, std::chrono::milliseconds(0));
}
BENCHMARK(BM_SampleAllViews_EachReads)->Arg(2)->Arg(64)->Arg(256)->Complexity();

// One interval of the whole window's CPU work: every CPU graph samples and
// draws its image, at 2, 64 and 256 processors.
void BM_TickAllViews(benchmark::State& state) {
    Settings settings;
    const int processors = int(state.range(0));
    const QString rounds[2] = {writeProcStat(processors, 1), writeProcStat(processors, 2)};
    std::vector<std::unique_ptr<CPUGraphView>> views;
    for (int n = 0; n < processors; ++n)
        views.push_back(std::make_unique<CPUGraphView>(QRect(0, 0, 64, 64), n));
    Ticks ticks{{rounds[0], rounds[1]}};
    auto tick = [&] { ticks.sampleAndDraw(views); };
    for (int i = 0; i < 62; ++i) // full graphs: the steady state
        tick();
    for (auto _ : state)
        tick();
    state.SetComplexityN(processors);
}
BENCHMARK(BM_TickAllViews)->Arg(2)->Arg(64)->Arg(256)->Complexity();

// The window's image once its graphs have drawn: every graph laid over its
// background into one image, as a repaint of the stat window does (and as
// the Wayland layer surface is drawn), for a network graph and n CPU graphs.
void BM_PaintWindow(benchmark::State& state) {
    Settings settings;
    const int processors = int(state.range(0));
    QWidget window;
    window.setAttribute(Qt::WA_TranslucentBackground);
    NetGraphView net(QRect(0, 0, 64, 64));
    net.setParent(&window);
    std::vector<std::unique_ptr<CPUGraphView>> views;
    for (int n = 0; n < processors; ++n) {
        views.push_back(std::make_unique<CPUGraphView>(QRect(66 * (n + 1), 0, 64, 64), n));
        views.back()->setParent(&window);
    }
    window.resize(66 * (processors + 1) - 2, 64);
    QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        QPainter painter(&image);
        for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            child->render(&painter, child->pos(), QRegion(), QWidget::DrawWindowBackground);
    }
    for (auto& view : views)
        view->setParent(nullptr);
    net.setParent(nullptr);
    state.SetComplexityN(processors + 1);
}
BENCHMARK(BM_PaintWindow)->Arg(2)->Arg(64)->Arg(256)->Complexity();

// One tick of the whole window at 16, 256 and 1,024 processors, laid out as
// on a 1280 × 800 screen under a 24-unit panel: the CPU graphs (sharing
// processors where the rows would not fit) sample and draw, then the window's
// image is painted.
void BM_TickWindowOfProcessors(benchmark::State& state) {
    Settings settings;
    const int processors = int(state.range(0));
    const QString rounds[2] = {writeProcStat(processors, 1), writeProcStat(processors, 2)};
    const QRectF workArea(0, 24, 1280, 776);
    const StatWindowLayout::GraphGrid grid = StatWindowLayout::graphGrid(workArea, 1, processors);
    QWidget window;
    window.setAttribute(Qt::WA_TranslucentBackground);
    NetGraphView net(StatWindowLayout::_graphRect(0, grid.columns).toRect());
    net.setParent(&window);
    std::vector<std::unique_ptr<CPUGraphView>> views;
    for (int graph = 0; graph < grid.cpuGraphs; ++graph) {
        const int first = graph * grid.processorsPerGraph;
        views.push_back(std::make_unique<CPUGraphView>(
            StatWindowLayout::_graphRect(graph + 1, grid.columns).toRect(), first,
            std::min(grid.processorsPerGraph, processors - first)));
        views.back()->setParent(&window);
    }
    const QRectF frame =
        StatWindowLayout::statWindowFrame(workArea, grid.cpuGraphs + 1, grid.columns, 1);
    window.resize(frame.size().toSize());
    QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
    Ticks ticks{{rounds[0], rounds[1]}};
    auto tick = [&] {
        ticks.sampleAndDraw(views);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            child->render(&painter, child->pos(), QRegion(), QWidget::DrawWindowBackground);
    };
    for (int i = 0; i < 62; ++i) // full graphs: the steady state
        tick();
    for (auto _ : state)
        tick();
    for (auto& view : views)
        view->setParent(nullptr);
    net.setParent(nullptr);
    state.counters["graphs"] = grid.cpuGraphs + 1;
}
BENCHMARK(BM_TickWindowOfProcessors)->Arg(16)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    scratch = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
