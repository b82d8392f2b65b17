#include "graphs/GPUGraphView.h"

#include "graphs/PlotGeometry.h"
#include "session/SystemLog.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"

#include <algorithm>
#include <cmath>

namespace {

struct Sources {
    QString drmRoot = QStringLiteral("/sys/class/drm");
    QString nvmlLibrary = QStringLiteral("libnvidia-ml.so.1");
};

Sources& sources() {
    static Sources s;
    return s;
}

// Greyed columns: a GPU asleep, gone or silent, whatever the fill colours.
const QColor greyed(128, 128, 128, 96);

} // namespace

GPUGraphView::GPUGraphView(const QRect& frame, QWidget* parent)
    : GraphView(frame, parent),
      devices_(std::make_unique<GPUDevices>(sources().drmRoot, sources().nvmlLibrary)) {
    setTitle(tr("GPU"));
    clock_.start();
    chosenSetting_ = UserDefaults::standardUserDefaults().stringForKey(SettingsKeys::GPUDevice);
    connect(&UserDefaults::standardUserDefaults(), &UserDefaults::didChange, this, [this] {
        const QString setting =
            UserDefaults::standardUserDefaults().stringForKey(SettingsKeys::GPUDevice);
        if (setting == chosenSetting_)
            return;
        // Another GPU: its history starts empty.
        chosenSetting_ = setting;
        source_.reset();
        load_.clear();
        memory_.clear();
        grey_.clear();
        toldNone_ = toldNoLoad_ = toldGone_ = false;
        drawHistory();
    });
}

GPUGraphView::~GPUGraphView() = default;

void GPUGraphView::setSources(const QString& drmRoot, const QString& nvmlLibrary) {
    sources() = {drmRoot, nvmlLibrary};
}

QString GPUGraphView::drmRoot() {
    return sources().drmRoot;
}

bool GPUGraphView::openChosen() {
    if (!devices_->settled())
        return false; // NVML is still being looked at: its GPUs may be the ones
    if (const QString problem = devices_->problem();
        !problem.isEmpty() && !std::exchange(toldProblem_, true))
        systemLog(QStringLiteral("NVIDIA's GPUs cannot be read: %1.").arg(problem));
    const std::vector<GPUDevice> all = devices_->list();
    const auto chosen = chosenGPU(all, chosenSetting_);
    if (!chosen) {
        if (!std::exchange(toldNone_, true))
            systemLog(QStringLiteral("No GPU here can be read; the GPU graph stays empty."));
        return false;
    }
    const GPUDevice& device = all[*chosen];
    if (!chosenSetting_.isEmpty() && device.id != chosenSetting_ && !std::exchange(toldNone_, true))
        systemLog(
            QStringLiteral("No GPU %1; the GPU graph shows %2.").arg(chosenSetting_, device.id));
    source_ = devices_->open(device.id);
    deviceTitle_ = device.title;
    deviceMemory_ = device.memoryTotal;
    return bool(source_);
}

void GPUGraphView::sampleTick() {
    if (!source_ && !openChosen())
        return;
    const std::optional<GPUReading> reading = source_->read(quint64(clock_.elapsed()));
    float load = 0.0f, memory = -1.0f, grey = 0.0f;
    QString state;
    if (!reading) {
        grey = 1.0f;
        state = source_->answering() ? tr("gone") : tr("silent");
        if (!std::exchange(toldGone_, true))
            systemLog(source_->answering()
                          ? QStringLiteral("The GPU %1 is gone; its graph is grey until it is "
                                           "back.")
                                .arg(deviceTitle_)
                          : QStringLiteral("The GPU %1 does not answer; its graph is grey until "
                                           "it does.")
                                .arg(deviceTitle_));
    } else if (reading->asleep) {
        grey = 1.0f;
        state = tr("asleep");
    } else {
        toldGone_ = false;
        load = reading->busy.value_or(0.0f);
        // Intel's first reading has no load yet; a card that never gives one
        // is said once.
        ticksWithoutLoad_ = reading->busy ? 0 : ticksWithoutLoad_ + 1;
        if (ticksWithoutLoad_ == 5 && !std::exchange(toldNoLoad_, true))
            systemLog(QStringLiteral("The GPU %1 gives no load figure; its graph shows none.")
                          .arg(deviceTitle_));
        const quint64 total = reading->memoryTotal.value_or(deviceMemory_);
        if (reading->memoryUsed && total > 0)
            memory = float(std::min(1.0, double(*reading->memoryUsed) / double(total)));
        if (reading->celsius)
            state = tr("%1°").arg(std::lround(*reading->celsius));
    }
    const QString title = fittedTitle(deviceTitle_, state);
    if (title != graphTitle())
        retitle(title);
    appendToHistory(load_, load);
    appendToHistory(memory_, memory);
    appendToHistory(grey_, grey);
    drawHistory();
}

void GPUGraphView::drawHistory() {
    const QColor loadColor = settingColor(SettingsKeys::GPULoadFillColor);
    const QColor memoryColor = settingColor(SettingsKeys::GPUMemoryFillColor);
    const float plotHeight = PlotGeometry::plotHeight(float(imageSize().height()), topMargin());
    // The load fills its columns first; the memory's line lies over it.
    drawColumns(
        load_.size(), {loadColor, memoryColor}, 2, [&](QPainter& painter, std::size_t c, int pass) {
            const float x = PlotGeometry::columnCenter(int(c)) - 0.5f;
            if (pass == 0 && grey_[c] > 0)
                painter.fillRect(QRectF(x, 1.0, 1.0, plotHeight), greyed);
            else if (pass == 0 && load_[c] > 0 && loadColor.isValid())
                painter.fillRect(QRectF(x, 1.0, 1.0, plotHeight * load_[c]), loadColor);
            else if (pass == 1 && grey_[c] == 0 && memory_[c] >= 0 && memoryColor.isValid())
                painter.fillRect(
                    QRectF(x, std::max(1.0f, std::round(plotHeight * memory_[c])), 1.0, 1.0),
                    memoryColor);
        });
}
