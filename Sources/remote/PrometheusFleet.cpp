#include "remote/PrometheusFleet.h"

#include "graphs/RemoteGraphView.h"
#include "graphs/SampleClock.h"
#include "session/SystemLog.h"

#include <QDateTime>
#include <QUrlQuery>

#include <algorithm>

namespace {

// The machines' figures at the latest time an answer has.
std::map<QString, FleetReading>
newest(const std::map<qint64, std::map<QString, FleetReading>>& readings) {
    return readings.empty() ? std::map<QString, FleetReading>{} : readings.rbegin()->second;
}

} // namespace

bool PrometheusFleet::isFleetAddress(const QUrl& url) {
    return url.scheme() == u"prometheus+http" || url.scheme() == u"prometheus+https";
}

PrometheusFleet::PrometheusFleet(const QUrl& url, QObject* parent)
    : QObject(parent), url_(url), client_(RemoteHost::largestAnswer, RemoteHost::timeoutMs) {
    // The server is asked at the address without "prometheus+" and without
    // the entry's own query; a path before /api/v1 (a server behind a proxy)
    // is kept.
    server_ = url;
    server_.setScheme(url.scheme().mid(int(std::size(schemePrefix)) - 1));
    server_.setQuery(QString());
    server_.setFragment(QString());
    const QUrlQuery query(url);
    match_ = query.queryItemValue(QStringLiteral("match"), QUrl::FullyDecoded);
    const QString interval = query.queryItemValue(QStringLiteral("interval"));
    if (!interval.isEmpty()) {
        if (const auto seconds = prometheusDurationSeconds(interval))
            scrapeSeconds_ = *seconds;
        else
            systemLog(QStringLiteral("%1: \"%2\" is no interval; the server's own is used.")
                          .arg(loggedAddress(), interval));
    }
    if (scrapeSeconds_ > 0)
        step_ = Step::History;
    machines_.push_back({QString(), std::make_unique<RemoteGroup>(), false});
    machines_.front().group->setTickHandler([this] { fetch(); });
    // An answer is read at the tick after the request, with no wake-up of
    // its own, and drawn then.
    client_.setCollected(true);
    machines_.front().group->show(tr("connecting…"), false);
}

PrometheusFleet::~PrometheusFleet() {
    client_.abort();
}

std::vector<RemoteGraphView*> PrometheusFleet::views() const {
    std::vector<RemoteGraphView*> all;
    for (const Machine& machine : machines_)
        all.insert(all.end(), machine.group->views().begin(), machine.group->views().end());
    return all;
}

QStringList PrometheusFleet::instances() const {
    QStringList names;
    for (const Machine& machine : machines_)
        if (!machine.instance.isEmpty())
            names << machine.instance;
    return names;
}

void PrometheusFleet::setGroupLimit(int limit) {
    groupLimit_ = std::max(1, limit);
    if (int(machines_.size()) > groupLimit_) {
        machines_.resize(std::size_t(groupLimit_)); // the first, with the clock, stays
        emit groupsChanged();
    }
}

int PrometheusFleet::intervalSeconds() const {
    return std::max({1, scrapeSeconds_, SampleClock::netIntervalMs() / 1000});
}

QUrl PrometheusFleet::apiUrl(const QString& endpoint) const {
    QUrl api = server_;
    QString path = server_.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    api.setPath(path + QStringLiteral("/api/v1/") + endpoint);
    return api;
}

void PrometheusFleet::fetch() {
    client_.collect();
    for (Machine& machine : machines_)
        machine.group->drawHeld();
    if (client_.busy())
        return;
    // A server that keeps failing is asked less and less often, as an
    // exporter is; otherwise once per interval.
    const qint64 wait =
        failures_ > 0 ? 1000LL * RemoteHost::backOffSeconds(failures_) : 1000LL * intervalSeconds();
    // Ticks come every "NetInterval"; a little early is on time.
    if (sinceRequest_.isValid() && sinceRequest_.elapsed() + 250 < wait)
        return;
    sinceRequest_.start();
    QUrl request;
    QList<std::pair<QString, QString>> query;
    const int range = 4 * intervalSeconds(); // irate needs two scrapes in it
    switch (step_) {
    case Step::ScrapeInterval:
        request = apiUrl(QStringLiteral("status/config"));
        break;
    case Step::History: {
        request = apiUrl(QStringLiteral("query_range"));
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        const qint64 span = qint64(machines_.front().group->columns()) * qint64(intervalSeconds());
        query = {{QStringLiteral("query"), fleetQuery(match_, range)},
                 {QStringLiteral("start"), QString::number(now - span)},
                 {QStringLiteral("end"), QString::number(now)},
                 {QStringLiteral("step"), QString::number(intervalSeconds())}};
        break;
    }
    case Step::Current:
        request = apiUrl(QStringLiteral("query"));
        query = {{QStringLiteral("query"), fleetQuery(match_, range)}};
        break;
    }
    // Each value is sent percent-encoded whole: '+' and '&' in a selector
    // must reach the server as themselves.
    QStringList encoded;
    for (const auto& [key, value] : query)
        encoded << key + u'=' + QString::fromLatin1(QUrl::toPercentEncoding(value));
    if (!encoded.isEmpty())
        request.setQuery(encoded.join(u'&'), QUrl::StrictMode);
    client_.get(request, [this](const HttpClient::Answer& answer) { answered(answer); });
}

void PrometheusFleet::answered(const HttpClient::Answer& answer) {
    if (answer.outcome == HttpClient::Outcome::NoAnswer)
        return failed(tr("no answer"));
    if (answer.outcome == HttpClient::Outcome::NotUnderstood)
        return failed(tr("not understood"));
    if (step_ == Step::ScrapeInterval)
        return readScrapeInterval(answer);
    // The API answers a query it refuses (400, 422, 503) in JSON too, with
    // its reason.
    const PrometheusAnswer parsed = parsePrometheusAnswer(answer.body);
    if (!parsed.success) {
        // A history the server will not give (a limit on range queries) is
        // done without: the graphs then fill as they go.
        if (step_ == Step::History)
            step_ = Step::Current;
        return failed(tr("not understood"), parsed.error);
    }
    failures_ = 0;
    if (step_ == Step::History) {
        step_ = Step::Current;
        fillHistory(parsed);
        return;
    }
    show(newest(fleetReadings(parsed.series)), true);
}

void PrometheusFleet::readScrapeInterval(const HttpClient::Answer& answer) {
    const std::optional<int> seconds =
        answer.status == 200 ? scrapeIntervalSeconds(answer.body) : std::nullopt;
    // A server that keeps its configuration to itself (a proxy may refuse
    // the address) is asked at Prometheus's own default, once a minute.
    if (!seconds)
        systemLog(QStringLiteral("%1: the server's scrape interval cannot be read; asking "
                                 "once a minute (\"interval=\" in the address sets it).")
                      .arg(loggedAddress()));
    scrapeSeconds_ = seconds.value_or(60);
    step_ = Step::History;
    sinceRequest_.invalidate(); // the history is asked for at the next tick
}

void PrometheusFleet::fillHistory(const PrometheusAnswer& answer) {
    const auto readings = fleetReadings(answer.series);
    std::map<QString, FleetReading> seen;
    for (const auto& [time, machines] : readings)
        for (const auto& [instance, reading] : machines)
            if (reading.hasCpu)
                seen[instance] = reading;
    addMachines(seen);
    // One column per step, empty where a machine had no figures then: the
    // history keeps its times.
    NodeRates empty;
    empty.user = empty.system = empty.nice = 0.0f;
    for (const auto& [time, machines] : readings) {
        for (Machine& machine : machines_) {
            const auto found = machines.find(machine.instance);
            const bool drawn = found != machines.end() && found->second.hasCpu;
            machine.group->push(drawn ? found->second.rates : empty);
        }
    }
    show(newest(readings), false);
}

// New machines get groups, in the order of their names within one answer.
void PrometheusFleet::addMachines(const std::map<QString, FleetReading>& readings) {
    bool added = false;
    for (const auto& [instance, reading] : readings) {
        if (!reading.hasCpu || instances().contains(instance))
            continue;
        if (machines_.front().instance.isEmpty()) {
            machines_.front().instance = instance;
        } else if (int(machines_.size()) < groupLimit_) {
            machines_.push_back({instance, std::make_unique<RemoteGroup>(), false});
        } else {
            if (!std::exchange(toldLimit_, true))
                systemLog(QStringLiteral("%1: more machines than %2; the first %2 are shown.")
                              .arg(loggedAddress())
                              .arg(groupLimit_));
            continue;
        }
        added = true;
    }
    if (added)
        emit groupsChanged();
}

void PrometheusFleet::show(const std::map<QString, FleetReading>& readings, bool drawn) {
    addMachines(readings);
    failure_.clear();
    std::map<QString, QString> titles = machineTitles(instances());
    for (Machine& machine : machines_) {
        if (machine.instance.isEmpty()) {
            machine.group->show(tr("no machines"), true);
            continue;
        }
        const auto found = readings.find(machine.instance);
        // No figures at all counts as down too: the server no longer scrapes
        // the machine, or its series went stale.
        const bool down =
            found == readings.end() || found->second.up == false || !found->second.hasCpu;
        if (down != std::exchange(machine.down, down) && down)
            systemLog(QStringLiteral("%1: %2 is down.").arg(loggedAddress(), machine.instance));
        if (!down && drawn)
            machine.group->hold(found->second.rates);
        const QString& title = titles[machine.instance];
        if (down)
            machine.group->show(tr("down"), true);
        else
            machine.group->showName(title,
                                    title == machine.instance ? Qt::ElideLeft : Qt::ElideRight);
    }
}

void PrometheusFleet::failed(const QString& word, const QString& why) {
    ++failures_;
    if (word != std::exchange(failure_, word))
        systemLog(why.isEmpty() ? QStringLiteral("%1: %2.").arg(loggedAddress(), word)
                                : QStringLiteral("%1: %2 (%3).").arg(loggedAddress(), word, why));
    for (Machine& machine : machines_)
        machine.group->show(word, true);
}
