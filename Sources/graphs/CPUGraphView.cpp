#include "graphs/CPUGraphView.h"

#include "session/SystemLog.h"
#include "settings/SettingsKeys.h"

#include <cstdio>

namespace {

void reportQueryFailure(const QString& why) {
    std::fprintf(stderr, "host_processor_info error: %s\n", qPrintable(why));
}

} // namespace

CPUGraphView::CPUGraphView(const QRect& frame, int cpuNumber, QWidget* parent)
    : GraphView(frame, parent),
      cpuNumber_(cpuNumber), cpuGraphElements_{
                                 {{&CPULoad::user, SettingsKeys::CPUUserFillColor, {}},
                                  {&CPULoad::system, SettingsKeys::CPUSystemFillColor, {}},
                                  {&CPULoad::nice, SettingsKeys::CPUNiceFillColor, {}}}} {
    setTitle(QStringLiteral("CPU #%1").arg(cpuNumber_ + 1));
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
    const ProcessorTicks* current = snapshot->processor(cpuNumber_);
    if (!current)
        return std::nullopt; // offline: nothing to show for this interval
    // The first sample compares with zero: the shares since boot.
    const CPULoad load = cpuLoadBetween(prevInfoArray_.value_or(ProcessorTicks{}), *current);
    prevInfoArray_ = *current;
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
