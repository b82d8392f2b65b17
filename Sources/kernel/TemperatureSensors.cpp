#include "kernel/TemperatureSensors.h"

#include "kernel/ProcFile.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Read as the counters are: a FIFO in a sensor's place never makes it wait.
QString firstLineOf(const QString& path) {
    ProcFile file(path.toStdString());
    const std::string* text = file.read();
    if (!text)
        return {};
    return QString::fromUtf8(text->substr(0, std::min(text->find('\n'), std::size_t(256))))
        .trimmed();
}

// hwmon2 before hwmon10, temp2 before temp10: by the first number in the name.
void sortNaturally(QStringList& names) {
    static const QRegularExpression digits(QStringLiteral("[0-9]+"));
    auto numberIn = [](const QString& name) { return digits.match(name).captured().toLongLong(); };
    std::stable_sort(names.begin(), names.end(),
                     [&](const QString& a, const QString& b) { return numberIn(a) < numberIn(b); });
}

} // namespace

std::vector<TemperatureSensor> temperatureSensors(const QString& root) {
    std::vector<TemperatureSensor> sensors;
    static const QRegularExpression input(QStringLiteral("^temp([0-9]+)_input$"));
    QStringList chips =
        QDir(root).entryList({QStringLiteral("hwmon*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    sortNaturally(chips);
    for (const QString& chipFolder : std::as_const(chips)) {
        const QString folder = root + u'/' + chipFolder;
        QString chip = firstLineOf(folder + QStringLiteral("/name"));
        if (chip.isEmpty())
            chip = chipFolder;
        QStringList inputs = QDir(folder).entryList({QStringLiteral("temp*_input")}, QDir::Files);
        sortNaturally(inputs);
        for (const QString& name : std::as_const(inputs)) {
            const QRegularExpressionMatch match = input.match(name);
            if (!match.hasMatch())
                continue;
            const QString number = match.captured(1);
            QString label = firstLineOf(folder + QStringLiteral("/temp%1_label").arg(number));
            if (label.isEmpty())
                label = QStringLiteral("temp") + number;
            sensors.push_back({chip + u'/' + label, folder + u'/' + name});
        }
    }
    return sensors;
}

std::vector<TemperatureSensor> processorSensors(const std::vector<TemperatureSensor>& all) {
    auto chosen = [&all](auto keep) {
        std::vector<TemperatureSensor> some;
        std::copy_if(all.begin(), all.end(), std::back_inserter(some), keep);
        return some;
    };
    std::vector<TemperatureSensor> sensors =
        chosen([](const TemperatureSensor& s) { return s.id.startsWith(u"coretemp/Package id "); });
    if (sensors.empty())
        sensors = chosen([](const TemperatureSensor& s) { return s.id == u"k10temp/Tctl"; });
    return sensors.empty() ? all : sensors;
}

bool isProcessorSensor(const TemperatureSensor& sensor) {
    return sensor.id.startsWith(u"coretemp/Package id ") || sensor.id == u"k10temp/Tctl";
}

std::optional<float> celsiusOf(QByteArrayView input) {
    bool ok = false;
    const long long milli = input.trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return float(double(milli) / 1000.0);
}

bool isPossibleCelsius(float celsius) {
    return celsius >= -55.0f && celsius <= 175.0f;
}
