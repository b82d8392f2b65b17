#pragma once

#include "remote/HttpClient.h"
#include "remote/PrometheusAnswer.h"
#include "remote/RemoteGroup.h"
#include "remote/RemoteHost.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <vector>

class RemoteGraphView;

// The machines a Prometheus server scrapes, named in "RemoteHosts" as
// `prometheus+http://host:9090/` (or prometheus+https), optionally with
// `?match=<series selector>` to pick some and `&interval=<duration>` to set
// the pace. Each machine for which the server has node_exporter's processor
// metrics gets a group of graphs, titled by its "instance" label. One query
// asks for all of them at once, no more often than the server scrapes them;
// at start, one range query fills the graphs' history. A machine whose last
// scrape failed is greyed with "down"; the server itself not answering as it
// should greys every group with "no answer" or "not understood".
class PrometheusFleet : public QObject {
    Q_OBJECT
public:
    static constexpr char schemePrefix[] = "prometheus+";
    static bool isFleetAddress(const QUrl& url);

    explicit PrometheusFleet(const QUrl& url, QObject* parent = nullptr);
    ~PrometheusFleet() override;

    const QUrl& url() const { return url_; }
    // Every group's graphs, machine by machine, in the order they stand in
    // the strip.
    std::vector<RemoteGraphView*> views() const;
    int groupCount() const { return int(machines_.size()); }
    // The machines shown, by "instance" label (none while none is known).
    QStringList instances() const;
    // At most this many groups are made; the rest are said once in the log.
    void setGroupLimit(int limit);
    // Seconds between two queries: the server's scrape interval or the one
    // the address gives, never shorter than "NetInterval".
    int intervalSeconds() const;

    void fetch();

signals:
    // Machines came or went: the window lays its graphs out again.
    void groupsChanged();

private:
    enum class Step { ScrapeInterval, History, Current };
    struct Machine {
        QString instance; // empty: no machine known yet, the group tells the state
        std::unique_ptr<RemoteGroup> group;
        bool down = false;
    };

    QUrl apiUrl(const QString& endpoint) const;
    void answered(const HttpClient::Answer& answer);
    void readScrapeInterval(const HttpClient::Answer& answer);
    void fillHistory(const PrometheusAnswer& answer);
    // The machines' state from their newest readings, drawn as a column
    // unless the history holds them already.
    void show(const std::map<QString, FleetReading>& readings, bool drawn);
    void addMachines(const std::map<QString, FleetReading>& readings);
    void failed(const QString& word, const QString& why = {});
    QString loggedAddress() const { return RemoteHost::loggedAddress(url_); }

    QUrl url_;
    QUrl server_;
    QString match_;
    int scrapeSeconds_ = 0; // 0 until known
    Step step_ = Step::ScrapeInterval;
    std::vector<Machine> machines_;
    int groupLimit_ = 8;
    bool toldLimit_ = false;
    QString failure_; // the word shown while failing, said once
    HttpClient client_;
    QElapsedTimer sinceRequest_;
    int failures_ = 0; // in a row
};
