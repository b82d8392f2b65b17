#include "remote/PrometheusAnswer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace {

// A sample as the API writes it: [ <seconds as a number>, "<value>" ].
std::optional<std::pair<qint64, double>> sampleOf(const QJsonValue& value) {
    const QJsonArray pair = value.toArray();
    if (pair.size() != 2 || !pair[0].isDouble() || !pair[1].isString())
        return std::nullopt;
    const double seconds = pair[0].toDouble();
    bool isNumber = false;
    const double figure = pair[1].toString().toDouble(&isNumber);
    // Times outside a few thousand years are no Prometheus server's.
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e11 || !isNumber || !std::isfinite(figure))
        return std::nullopt;
    return std::pair{qint64(std::llround(seconds * 1000)), figure};
}

PrometheusAnswer refused(const QString& why) {
    PrometheusAnswer answer;
    answer.error = why;
    return answer;
}

} // namespace

PrometheusAnswer parsePrometheusAnswer(const QByteArray& json) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (!document.isObject())
        return refused(QStringLiteral("not JSON"));
    const QJsonObject root = document.object();
    if (root.value(u"status").toString() != u"success") {
        const QString said = root.value(u"error").toString();
        return refused(said.isEmpty() ? QStringLiteral("no success") : said.left(200));
    }
    const QJsonObject data = root.value(u"data").toObject();
    const QString type = data.value(u"resultType").toString();
    if (type != u"vector" && type != u"matrix")
        return refused(QStringLiteral("a result that is neither a vector nor a matrix"));
    const QJsonArray result = data.value(u"result").toArray();
    if (std::size_t(result.size()) > largestSeriesCount)
        return refused(QStringLiteral("too many series"));
    PrometheusAnswer answer;
    std::size_t sampleCount = 0;
    for (const QJsonValue& entry : result) {
        const QJsonObject object = entry.toObject();
        PrometheusSeries series;
        const QJsonObject metric = object.value(u"metric").toObject();
        for (auto label = metric.begin(); label != metric.end(); ++label)
            if (label->isString())
                series.labels[label.key()] = label->toString();
        const QJsonArray values = type == u"vector" ? QJsonArray{object.value(u"value")}
                                                    : object.value(u"values").toArray();
        sampleCount += std::size_t(values.size());
        if (sampleCount > largestSampleCount)
            return refused(QStringLiteral("too many samples"));
        for (const QJsonValue& value : values)
            if (const auto sample = sampleOf(value))
                series.samples.push_back(*sample);
        answer.series.push_back(std::move(series));
    }
    answer.success = true;
    return answer;
}

QString fleetQuery(const QString& match, int rangeSeconds) {
    const QString trimmed = match.trimmed();
    // A bare label set narrows each selector itself, which is cheaper for
    // the server than a join over every series it picks.
    const bool labelSet = trimmed.startsWith(u'{') && trimmed.endsWith(u'}');
    const QString matchers = labelSet ? trimmed.mid(1, trimmed.size() - 2).trimmed() : QString();
    const auto selector = [&](const char* metric, const QString& more = {}) {
        QStringList all{more};
        all << matchers;
        all.removeAll(QString());
        return QString::fromLatin1(metric) + u'{' + all.join(u',') + u'}';
    };
    // The server sums what it can, and leaves out the devices that are
    // plainly virtual (a container host has hundreds): the answer stays a
    // few series a machine. What is left is judged as an exporter's answer
    // is.
    const auto notOfKinds = [](const auto& kinds, const char* after) {
        QStringList alternatives;
        for (std::string_view kind : kinds)
            alternatives << QString::fromLatin1(kind.data(), qsizetype(kind.size()));
        return QStringLiteral("device!~\"(%1)%2\"")
            .arg(alternatives.join(u'|'), QLatin1String(after));
    };
    const QString interfaces =
        QStringLiteral("device!=\"lo\",") + notOfKinds(virtualInterfaceKinds, ".*");
    const QString disks = notOfKinds(virtualDiskKinds, "[0-9]+");
    const QString range = QStringLiteral("[%1s]").arg(rangeSeconds);
    const auto marked = [](const QString& expression, const char* mark) {
        return QStringLiteral("label_replace(%1, \"q\", \"%2\", \"\", \"\")")
            .arg(expression, QString::fromLatin1(mark));
    };
    const auto rate = [&](const char* by, const QString& metricSelector) {
        return QStringLiteral("sum by (%1) (irate(%2%3))")
            .arg(QLatin1String(by), metricSelector, range);
    };
    const QStringList parts{
        marked(rate("instance", selector("node_cpu_seconds_total")), "cpu"),
        marked(
            rate("instance", selector("node_cpu_seconds_total", QStringLiteral("mode=\"user\""))),
            "user"),
        marked(
            rate("instance", selector("node_cpu_seconds_total", QStringLiteral("mode=\"nice\""))),
            "nice"),
        marked(rate("instance", selector("node_cpu_seconds_total",
                                         QStringLiteral("mode=~\"system|irq|softirq\""))),
               "system"),
        marked(rate("instance, device", selector("node_network_receive_bytes_total", interfaces)),
               "in"),
        marked(rate("instance, device", selector("node_network_transmit_bytes_total", interfaces)),
               "out"),
        marked(rate("instance, device", selector("node_disk_read_bytes_total", disks)), "read"),
        marked(rate("instance, device", selector("node_disk_written_bytes_total", disks)),
               "written"),
        marked(QStringLiteral("sum by (instance) (%1)").arg(selector("node_memory_MemTotal_bytes")),
               "memtotal"),
        marked(QStringLiteral("sum by (instance) (%1)")
                   .arg(selector("node_memory_MemAvailable_bytes")),
               "memavailable"),
        marked(QStringLiteral("min by (instance) (%1)").arg(selector("up")), "up"),
    };
    const QString all = parts.join(QStringLiteral(" or "));
    if (trimmed.isEmpty() || labelSet)
        return all;
    return QStringLiteral("(%1) and on (instance) (%2)").arg(all, trimmed);
}

std::map<qint64, std::map<QString, FleetReading>>
fleetReadings(const std::vector<PrometheusSeries>& series) {
    // Processors' seconds per second by mode, and memory, gathered first:
    // shares and the used part need all of them.
    struct Gathered {
        double user = 0, nice = 0, system = 0, all = 0;
        std::optional<double> memTotal, memAvailable;
    };
    std::map<qint64, std::map<QString, Gathered>> gathered;
    std::map<qint64, std::map<QString, FleetReading>> readings;
    for (const PrometheusSeries& one : series) {
        const auto labelOf = [&one](const QString& name) {
            const auto found = one.labels.find(name);
            return found == one.labels.end() ? QString() : found->second;
        };
        const QString instance = labelOf(QStringLiteral("instance"));
        const QString mark = labelOf(QStringLiteral("q"));
        const std::string device = labelOf(QStringLiteral("device")).toStdString();
        if (instance.isEmpty())
            continue;
        for (const auto& [time, value] : one.samples) {
            FleetReading& reading = readings[time][instance];
            Gathered& figures = gathered[time][instance];
            // Rates are never negative; a value that is must be ignored
            // rather than drawn below the baseline.
            const double rate = std::max(0.0, value);
            if (mark == u"up") {
                reading.up = reading.up.value_or(true) && value != 0;
            } else if (mark == u"cpu") {
                reading.hasCpu = true;
                figures.all += rate;
            } else if (mark == u"user") {
                figures.user += rate;
            } else if (mark == u"nice") {
                figures.nice += rate;
            } else if (mark == u"system") {
                figures.system += rate;
            } else if ((mark == u"in" || mark == u"out") && isCountedInterface(device)) {
                (mark == u"in" ? reading.rates.inBytes : reading.rates.outBytes) += float(rate);
            } else if ((mark == u"read" || mark == u"written") && isCountedDisk(device)) {
                (mark == u"read" ? reading.rates.readBytes : reading.rates.writtenBytes) +=
                    float(rate);
            } else if (mark == u"memtotal") {
                figures.memTotal = value;
            } else if (mark == u"memavailable") {
                figures.memAvailable = value;
            }
        }
    }
    for (auto& [time, machines] : readings) {
        for (auto& [instance, reading] : machines) {
            const Gathered& figures = gathered[time][instance];
            if (reading.hasCpu && figures.all > 0 && std::isfinite(figures.all)) {
                // The parts come from other series than the whole: never
                // more than all of it.
                reading.rates.user = float(std::min(1.0, figures.user / figures.all));
                reading.rates.nice = float(std::min(1.0, figures.nice / figures.all));
                reading.rates.system = float(std::min(1.0, figures.system / figures.all));
            } else {
                reading.hasCpu = false;
            }
            if (figures.memTotal && figures.memAvailable && *figures.memTotal > 0)
                reading.rates.memoryUsed =
                    float(std::clamp(1.0 - *figures.memAvailable / *figures.memTotal, 0.0, 1.0));
        }
    }
    return readings;
}

std::map<QString, QString> machineTitles(const QStringList& instances) {
    // "host:port", "[v6]:port" or a name of the user's own choosing.
    static const QRegularExpression hostAndPort(QStringLiteral("^(.+):\\d+$"));
    const auto hostOf = [](const QString& instance) {
        const QRegularExpressionMatch match = hostAndPort.match(instance);
        return match.hasMatch() ? match.captured(1) : instance;
    };
    std::map<QString, int> sharing;
    for (const QString& instance : instances)
        ++sharing[hostOf(instance)];
    std::map<QString, QString> titles;
    for (const QString& instance : instances)
        titles[instance] = sharing[hostOf(instance)] == 1 ? hostOf(instance) : instance;
    return titles;
}

std::optional<int> prometheusDurationSeconds(const QString& text) {
    static const QRegularExpression duration(
        QStringLiteral("^(?:(\\d+)d)?(?:(\\d+)h)?(?:(\\d+)m)?(?:(\\d+)s)?(?:(\\d+)ms)?$"));
    const QRegularExpressionMatch match = duration.match(text.trimmed());
    if (text.trimmed().isEmpty() || !match.hasMatch())
        return std::nullopt;
    double seconds = 0;
    const double unit[] = {86400, 3600, 60, 1, 0.001};
    for (int part = 1; part <= 5; ++part) {
        const QString digits = match.captured(part);
        // More digits than a day has seconds are out of range whatever the unit.
        if (digits.size() > 9)
            return std::nullopt;
        seconds += digits.toDouble() * unit[part - 1];
    }
    if (seconds > 86400)
        return std::nullopt;
    return std::max(1, int(std::ceil(seconds)));
}

std::optional<int> scrapeIntervalSeconds(const QByteArray& json) {
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    if (root.value(u"status").toString() != u"success")
        return std::nullopt;
    const QString yaml = root.value(u"data").toObject().value(u"yaml").toString();
    // The server writes its configuration out in full: "global:" at the
    // start of a line, its keys indented beneath it.
    bool inGlobal = false;
    for (const QString& line : yaml.split(u'\n')) {
        if (!line.startsWith(u' ') && !line.isEmpty())
            inGlobal = line.trimmed() == u"global:";
        else if (inGlobal && line.trimmed().startsWith(u"scrape_interval:"))
            return prometheusDurationSeconds(line.section(u':', 1).trimmed());
    }
    return std::nullopt;
}
