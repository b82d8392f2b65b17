// Costs of the graphs' periodic work: one CPU tick (sample and redraw), one
// network redraw, and the sampling of all CPU graphs for one interval at
// 2, 64 and 256 processors, from generated /proc/stat files.
#include "CPUGraphView.h"
#include "NetGraphView.h"
#include "SettingsKeys.h"
#include "platform/ProcStat.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QFile>
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
