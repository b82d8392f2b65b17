#include "graphs/TempGraphView.h"

#include "kernel/ProcFile.h"
#include "session/SystemLog.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

QString& sensorRoot() {
    static QString root = QStringLiteral("/sys/class/hwmon");
    return root;
}

} // namespace

TempGraphView::TempGraphView(const QRect& frame, QWidget* parent) : GraphView(frame, parent) {
    setTitle(tr("Temperature"));
    chooseSensors();
    connect(&UserDefaults::standardUserDefaults(), &UserDefaults::didChange, this, [this] {
        if (UserDefaults::standardUserDefaults().stringForKey(SettingsKeys::TempSensor) !=
            chosenSetting_)
            chooseSensors();
    });
}

TempGraphView::~TempGraphView() = default;

void TempGraphView::setSensorRoot(const QString& root) {
    sensorRoot() = root;
}

std::vector<TemperatureSensor> TempGraphView::sensors() {
    return temperatureSensors(sensorRoot());
}

void TempGraphView::chooseSensors() {
    chosenSetting_ = UserDefaults::standardUserDefaults().stringForKey(SettingsKeys::TempSensor);
    const std::vector<TemperatureSensor> all = sensors();
    std::vector<TemperatureSensor> chosen;
    std::copy_if(all.begin(), all.end(), std::back_inserter(chosen),
                 [this](const TemperatureSensor& s) { return s.id == chosenSetting_; });
    if (chosen.empty()) {
        // A sensor that is gone (another machine's settings, a module not
        // loaded) leaves the processor's in its place.
        if (!chosenSetting_.isEmpty())
            systemLog(QStringLiteral("No temperature sensor %1; the graph shows the "
                                     "processor's.")
                          .arg(chosenSetting_));
        chosen = processorSensors(all);
    }
    inputs_.clear();
    for (const TemperatureSensor& sensor : chosen)
        inputs_.push_back({sensor, std::make_unique<ProcFile>(sensor.inputPath.toStdString())});
}

void TempGraphView::sampleTick() {
    std::optional<float> hottestNow;
    const TemperatureSensor* hottestSensor = nullptr;
    for (const Input& input : inputs_) {
        const std::string* text = input.file->read();
        const std::optional<float> celsius =
            text ? celsiusOf(QByteArrayView(text->data(), qsizetype(text->size()))) : std::nullopt;
        if (celsius && !isPossibleCelsius(*celsius)) {
            if (!std::exchange(toldImpossible_, true))
                systemLog(QStringLiteral("The temperature sensor %1 reads %2 °C, which no chip "
                                         "can; readings like it are left out.")
                              .arg(input.sensor.id)
                              .arg(double(*celsius)));
            continue;
        }
        if (celsius && (!hottestNow || *celsius > *hottestNow)) {
            hottestNow = celsius;
            hottestSensor = &input.sensor;
        }
    }
    // A tick without a reading adds nothing and keeps the last picture.
    if (!hottestNow)
        return;
    const int degrees = int(std::lround(*hottestNow));
    // Where no processor sensor stands behind the graph unasked, the title
    // names the chip whose reading it shows (an NVMe disk, a graphics card).
    const QString standIn = chosenSetting_.isEmpty() && !isProcessorSensor(*hottestSensor)
                                ? hottestSensor->id.section(u'/', 0, 0)
                                : QString();
    if (degrees != shownDegrees_ || standIn != shownStandIn_) {
        shownDegrees_ = degrees;
        shownStandIn_ = standIn;
        retitle(standIn.isEmpty() ? tr("%1 °C").arg(degrees)
                                  : tr("%1 %2 °C").arg(standIn).arg(degrees));
    }
    const float share = std::clamp((*hottestNow - coolest) / (hottest - coolest), 0.0f, 1.0f);
    appendAndDrawStacked({{&history_, share, SettingsKeys::TempFillColor}});
}
