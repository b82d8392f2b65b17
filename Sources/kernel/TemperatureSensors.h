#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

// The machine's temperature sensors, as the kernel's hardware monitors list
// them under /sys/class/hwmon: each hwmonN folder names its chip in "name" and
// has one tempM_input (millidegrees Celsius) per sensor, with an optional
// tempM_label.
struct TemperatureSensor {
    QString id;        // chip and label, e.g. "coretemp/Package id 0", "acpitz/temp1"
    QString inputPath; // the tempM_input file
};

// Every sensor under root, in the order of the folders' and inputs' numbers.
std::vector<TemperatureSensor> temperatureSensors(const QString& root);

// The sensors of the processor that the graph shows when none is chosen:
// coretemp's packages (Intel), else k10temp's Tctl (AMD), else every sensor;
// the hottest of them is drawn.
std::vector<TemperatureSensor> processorSensors(const std::vector<TemperatureSensor>& all);

// Whether the sensor is one of the processor's own (coretemp's packages, or
// k10temp's Tctl), rather than any sensor standing in for it.
bool isProcessorSensor(const TemperatureSensor& sensor);

// Degrees Celsius from the text of a tempM_input (whole millidegrees);
// nullopt for anything else.
std::optional<float> celsiusOf(QByteArrayView input);

// Whether a chip can read this at all: silicon is made for -55 °C to a 175 °C
// junction at the most, so anything beyond (-273 °C, a driver's error value)
// is no temperature.
bool isPossibleCelsius(float celsius);
