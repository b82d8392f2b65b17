#include "MemGraphView.h"

#include "NSUserDefaults-QVExt.h"
#include "SampleClock.h"
#include "SettingsKeys.h"
#include "platform/SystemLog.h"
#include "platform/UserDefaults.h"

#include <cerrno>
#include <cstring>

namespace {

QString& memInfoPath() {
    static QString path = QStringLiteral("/proc/meminfo");
    return path;
}

} // namespace

MemGraphView::MemGraphView(const QRect& frame, QWidget* parent) : GraphView(frame, parent) {
    setTitle(tr("Memory"));
}

MemGraphView::~MemGraphView() {
    if (sampleInterval_ > 0)
        SampleClock::remove(this, sampleInterval_);
}

void MemGraphView::setMemInfoPath(const QString& path) { memInfoPath() = path; }

std::optional<MemoryUse> MemGraphView::_getMemoryUse() {
    const std::string path = memInfoPath().toStdString();
    if (!memInfo_ || memInfo_->path() != path)
        memInfo_ = std::make_unique<ProcFile>(path);
    const std::string* text = memInfo_->read();
    if (!text) {
        // Said once: a file that cannot be read now will not be readable at
        // the next tick either.
        static bool told = false;
        if (!std::exchange(told, true))
            systemLog(QStringLiteral("Cannot read %1 (%2); the memory graph stays empty.")
                          .arg(memInfoPath(), QString::fromLocal8Bit(std::strerror(errno))));
        return std::nullopt;
    }
    return memoryUseOf(QByteArrayView(text->data(), qsizetype(text->size())));
}

void MemGraphView::viewWillMoveToWindow(QWidget* window) {
    SampleClock::followWindow(this, window, sampleInterval_);
    GraphView::viewWillMoveToWindow(window);
}

void MemGraphView::_drawGraph() {
    // A tick without a sample adds nothing and keeps the last picture.
    const auto use = _getMemoryUse();
    if (!use)
        return;
    appendToHistory(history_[0], use->used);
    appendToHistory(history_[1], use->cache);
    const UserDefaults& defaults = UserDefaults::standardUserDefaults();
    drawStackedColumns(
        {{&history_[0], QVExtensions::unarchivedObjectForKey(defaults, SettingsKeys::MemUsedFillColor)},
         {&history_[1],
          QVExtensions::unarchivedObjectForKey(defaults, SettingsKeys::MemCacheFillColor)}});
}
