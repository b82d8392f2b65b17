#include "CPUGraphView.h"

#include "NSUserDefaults-QVExt.h"
#include "PlotGeometry.h"
#include "SettingsKeys.h"
#include "platform/SystemLog.h"
#include "platform/UserDefaults.h"

#include <QTimer>

#include <cstdio>

namespace {

void reportQueryFailure(const QString& why) {
    std::fprintf(stderr, "host_processor_info error: %s\n", qPrintable(why));
}

} // namespace

CPUGraphView::CPUGraphView(const QRect& frame, int cpuNumber, QWidget* parent)
    : GraphView(frame, parent), cpuNumber_(cpuNumber),
      cpuGraphElements_{{{&CPULoad::user, SettingsKeys::CPUUserFillColor, {}},
                         {&CPULoad::system, SettingsKeys::CPUSystemFillColor, {}},
                         {&CPULoad::nice, SettingsKeys::CPUNiceFillColor, {}}}} {
    setTitle(QStringLiteral("CPU #%1").arg(cpuNumber_ + 1));
}

CPUGraphView::~CPUGraphView() {
    delete redrawTimer_;
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

void CPUGraphView::viewWillMoveToWindow(QWidget* window) {
    if (window) {
        // A view entering a window while it samples already keeps its timer.
        if (!redrawTimer_) {
            redrawTimer_ = new QTimer(this);
            const float seconds =
                UserDefaults::standardUserDefaults().floatForKey(SettingsKeys::CPUInterval);
            redrawTimer_->setInterval(std::chrono::milliseconds(
                std::max<qint64>(1, qint64(double(seconds) * 1000.0 + 0.5))));
            connect(redrawTimer_, &QTimer::timeout, this, &CPUGraphView::_drawGraph);
            redrawTimer_->start();
        }
    } else {
        delete redrawTimer_;
        redrawTimer_ = nullptr;
    }
    GraphView::viewWillMoveToWindow(window);
}

void CPUGraphView::_drawGraph() {
    // A tick without a sample adds nothing and keeps the last picture.
    const auto load = _getCPULoad();
    if (!load)
        return;

    const QSizeF size = imageSize();
    const int capacity = PlotGeometry::capacity(float(size.width()));
    const float plotHeight = PlotGeometry::plotHeight(float(size.height()), topMargin());
    for (GraphElement& element : cpuGraphElements_) {
        element.dataArray.push_back((*load).*element.cpuInfoKey);
        if (int(element.dataArray.size()) > capacity)
            element.dataArray.pop_front();
    }

    clearGraph();
    ImagePainter painter(*this);
    painter.setRenderHint(QPainter::Antialiasing);
    const UserDefaults& defaults = UserDefaults::standardUserDefaults();
    std::array<QPen, 3> pens;
    std::array<bool, 3> hasColor{};
    for (std::size_t e = 0; e < pens.size(); ++e) {
        // Read once per redraw rather than once per segment: the same colour for
        // every column, and a changed colour still shows at the next tick.
        const QColor color =
            QVExtensions::unarchivedObjectForKey(defaults, cpuGraphElements_[e].fillColor);
        hasColor[e] = color.isValid();
        pens[e] = QPen(color, 1.0, Qt::SolidLine, Qt::FlatCap);
    }
    const std::size_t n = cpuGraphElements_[0].dataArray.size();
    for (std::size_t c = 0; c < n; ++c) {
        const float x = PlotGeometry::columnCenter(int(c));
        float y = 1.0f;
        for (std::size_t e = 0; e < cpuGraphElements_.size(); ++e) {
            const float top = y + plotHeight * cpuGraphElements_[e].dataArray[c];
            if (top > y && hasColor[e]) {
                painter.setPen(pens[e]);
                painter.drawLine(QPointF(x, y), QPointF(x, top));
            }
            y = top;
        }
    }
    painter.end();
    update();
}
