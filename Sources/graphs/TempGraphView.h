#pragma once

#include "graphs/GraphView.h"
#include "kernel/TemperatureSensors.h"

#include <deque>
#include <memory>
#include <vector>

class ProcFile;

// The temperature graph: while it is in a window it reads the chosen sensor
// ("TempSensor"; when none is chosen, the hottest of the processor's) at the
// CPU graphs' interval, on their clock, and fills one column per sample from
// 20 °C at the baseline to 100 °C at the top, titled with the last reading.
class TempGraphView : public GraphView {
    Q_OBJECT
public:
    static constexpr float coolest = 20.0f;
    static constexpr float hottest = 100.0f;

    explicit TempGraphView(const QRect& frame, QWidget* parent = nullptr);
    ~TempGraphView() override; // out of line: ProcFile is only declared here

    // Where the sensors are listed: /sys/class/hwmon, or a test's tree.
    static void setSensorRoot(const QString& root);
    static std::vector<TemperatureSensor> sensors();

    void sampleTick() override;
    const std::deque<float>& history() const { return history_; }

private:
    // The sensors to read for the setting as it is now.
    void chooseSensors();

    QString chosenSetting_;
    struct Input {
        TemperatureSensor sensor;
        std::unique_ptr<ProcFile> file;
    };
    std::vector<Input> inputs_;
    bool toldImpossible_ = false;
    std::deque<float> history_;
    int shownDegrees_ = -1000;
    QString shownStandIn_;
};
