#pragma once

#include "remote/NodeMetrics.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

// What Quorvel reads of a Prometheus server's HTTP API: the one query that
// asks for every machine's rates at once, its answer (an instant vector or,
// for the history at start, a range matrix) and the server's scrape
// interval. Pure: no I/O, tested as tables and fuzzed.

// One series of an answer: its labels and its (time in ms, value) samples.
// Samples that are not numbers (NaN, infinities) are left out.
struct PrometheusSeries {
    std::map<QString, QString> labels;
    std::vector<std::pair<qint64, double>> samples;
};

struct PrometheusAnswer {
    bool success = false;
    // The server's own words where it refused the query, or why the answer
    // is not one.
    QString error;
    std::vector<PrometheusSeries> series;
};

// Reads a /api/v1/query or /api/v1/query_range answer. At most
// largestSeriesCount series and largestSampleCount samples in all are read;
// an answer with more is refused rather than cut short.
PrometheusAnswer parsePrometheusAnswer(const QByteArray& json);
constexpr std::size_t largestSeriesCount = 20000;
constexpr std::size_t largestSampleCount = 500000;

// The query, as its PromQL text, for every machine's figures: processors'
// time in all and that of user, nice and system, network and disk bytes by
// device (as rates over rangeSeconds), memory, and `up`, each marked by a
// label "q" ("cpu", "user", "nice", "system", "in", "out", "read", "written",
// "memtotal", "memavailable", "up"). `match` is a series selector that picks
// the machines ("" for all): a bare label set (`{job="node"}`) is added to
// each metric's own selector; anything else keeps the machines whose
// "instance" it has.
QString fleetQuery(const QString& match, int rangeSeconds);

// One machine's figures at one time.
struct FleetReading {
    // From `up`: false when the server's last scrape of the machine failed;
    // nullopt when the answer has no `up` for it.
    std::optional<bool> up;
    bool hasCpu = false; // the rates hold the processors' shares
    NodeRates rates;
};
// The machines' figures by time (ms) and by "instance" label. Devices count
// as they do for an exporter's answer (isCountedInterface, isCountedDisk).
std::map<qint64, std::map<QString, FleetReading>>
fleetReadings(const std::vector<PrometheusSeries>& series);

// Each machine's title by its "instance" label: its host where no other
// machine of the list has the same one, else the whole label, host and port.
std::map<QString, QString> machineTitles(const QStringList& instances);

// A Prometheus duration ("15s", "1m30s", "500ms", "2h") in whole seconds,
// at least 1; nullopt when it is not one or is longer than a day.
std::optional<int> prometheusDurationSeconds(const QString& text);
// The global scrape interval from a /api/v1/status/config answer (its
// configuration as YAML inside JSON).
std::optional<int> scrapeIntervalSeconds(const QByteArray& json);
