#include "graphs/MemGraphView.h"

#include "kernel/ProcFile.h"
#include "settings/SettingsKeys.h"

#include <memory>

namespace {

// One reader for every memory graph, so its descriptor is kept between them.
std::unique_ptr<ProcFile>& memInfo() {
    static auto file = std::make_unique<ProcFile>("/proc/meminfo");
    return file;
}

} // namespace

MemGraphView::MemGraphView(const QRect& frame, QWidget* parent) : GraphView(frame, parent) {
    setTitle(tr("Memory"));
}

void MemGraphView::setMemInfoPath(const QString& path) {
    memInfo() = std::make_unique<ProcFile>(path.toStdString());
}

std::optional<MemoryUse> MemGraphView::_getMemoryUse() {
    static bool told = false;
    const std::string* text = readCounters(*memInfo(), told, QStringLiteral("memory graph"));
    if (!text)
        return std::nullopt;
    return memoryUseOf(QByteArrayView(text->data(), qsizetype(text->size())));
}

void MemGraphView::_drawGraph() {
    // A tick without a sample adds nothing and keeps the last picture.
    const auto use = _getMemoryUse();
    if (!use)
        return;
    appendAndDrawStacked({{&history_[0], use->used, SettingsKeys::MemUsedFillColor},
                          {&history_[1], use->cache, SettingsKeys::MemCacheFillColor}});
}
