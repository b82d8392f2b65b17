#include "graphs/CPUGraphView.h"

#include "session/SystemLog.h"
#include "settings/SettingsKeys.h"

#include <algorithm>
#include <cstdio>

namespace {

void reportQueryFailure(const QString& why) {
    std::fprintf(stderr, "host_processor_info error: %s\n", qPrintable(why));
}

} // namespace

CPUGraphView::CPUGraphView(const QRect& frame, int cpuNumber, int cpuCount)
    : GraphView(frame), cpuNumber_(cpuNumber), cpuCount_(std::max(1, cpuCount)),
      cpuGraphElements_{{{&CPULoad::user, SettingsKeys::CPUUserFillColor, {}},
                         {&CPULoad::system, SettingsKeys::CPUSystemFillColor, {}},
                         {&CPULoad::nice, SettingsKeys::CPUNiceFillColor, {}}}} {
    // A run of processors is titled by its first and last number alone, with
    // the "#" while that fits the graph's width (up to three digits).
    const int last = cpuNumber_ + cpuCount_;
    if (cpuCount_ == 1)
        setTitle(QStringLiteral("CPU #%1").arg(cpuNumber_ + 1));
    else
        setTitle((last < 1000 ? QStringLiteral("#%1–%2") : QStringLiteral("%1–%2"))
                     .arg(cpuNumber_ + 1)
                     .arg(last));
}

CPUGraphView::~CPUGraphView() {
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
    // A run of processors is one processor with their counters summed.
    ProcessorTicks current;
    bool online = false;
    for (int cpu = cpuNumber_; cpu < cpuNumber_ + cpuCount_; ++cpu) {
        if (const ProcessorTicks* ticks = snapshot->processor(cpu)) {
            online = true;
            for (std::size_t field = 0; field < current.fields.size(); ++field)
                current.fields[field] += ticks->fields[field];
        }
    }
    if (!online)
        return std::nullopt; // offline: nothing to show for this interval
    // The first sample compares with zero: the shares since boot.
    const CPULoad load = cpuLoadBetween(prevInfoArray_.value_or(ProcessorTicks{}), current);
    prevInfoArray_ = current;
    return load;
}

void CPUGraphView::_drawGraph() {
    // A tick without a sample adds nothing and keeps the last picture.
    const auto load = _getCPULoad();
    if (!load)
        return;

    std::vector<StackedSample> samples;
    for (GraphElement& element : cpuGraphElements_)
        samples.push_back({&element.dataArray, (*load).*element.cpuInfoKey, element.fillColor});
    appendAndDrawStacked(samples);
}
