#include "remote/RemoteHost.h"

#include "session/SystemLog.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"

#include <QUrlQuery>

#include <algorithm>

RemoteHost::RemoteHost(const QUrl& url, QObject* parent)
    : QObject(parent), url_(url), filtered_(!url.hasQuery()), client_(largestAnswer, timeoutMs) {
    group_.setTickHandler([this] { fetch(); });
    // An answer is read at the tick after the request, with no wake-up of
    // its own, and drawn then.
    client_.setCollected(true);
    clock_.start();
    setState(State::Connecting);
}

RemoteHost::~RemoteHost() {
    // Going away is no answer of the machine's: the request is dropped
    // without its handler, which would say so.
    client_.abort();
}

QUrl RemoteHost::requestUrl() const {
    if (!filtered_)
        return url_;
    // The collectors of the metrics NodeMetrics reads: netclass says which
    // interfaces are stacked on which.
    QUrlQuery query;
    for (const char* collector : {"cpu", "meminfo", "netdev", "netclass", "diskstats"})
        query.addQueryItem(QStringLiteral("collect[]"), QString::fromLatin1(collector));
    QUrl filteredUrl = url_;
    filteredUrl.setQuery(query);
    return filteredUrl;
}

QString RemoteHost::loggedAddress(const QUrl& url) {
    return url.toDisplayString(QUrl::RemoveUserInfo);
}

int RemoteHost::backOffSeconds(int failures) {
    return failures <= 0 ? 0 : std::min(1 << std::min(failures - 1, 6), longestBackOffSeconds);
}

void RemoteHost::fetch() {
    client_.collect();
    group_.drawHeld();
    // A machine still answering the last request is not asked again: a slow
    // one costs one request at a time. Its graphs are greyed once their
    // newest data is older than two intervals.
    if (client_.busy()) {
        const qint64 interval =
            1000 * std::max(1, UserDefaults::standardUserDefaults().integerForKey(
                                   SettingsKeys::NetInterval));
        if (state_ == State::Answering && lastAnswer_.isValid() &&
            lastAnswer_.elapsed() > 2 * interval)
            setState(State::NoAnswer);
        return;
    }
    // A machine that keeps failing is asked less and less often, up to once a
    // minute; its first good answer brings back the usual pace.
    if (failures_ > 0 && sinceFailure_.isValid() &&
        sinceFailure_.elapsed() < 1000 * backOffSeconds(failures_))
        return;
    askedAtNs_ = clock_.nsecsElapsed();
    client_.get(requestUrl(), [this](const HttpClient::Answer& answer) { answered(answer); });
}

void RemoteHost::answered(const HttpClient::Answer& answer) {
    // An exporter that knows no such filter, or has one of its collectors
    // turned off, refuses the request as a whole: from now on the whole
    // answer is asked for, at once.
    if (filtered_ && answer.outcome == HttpClient::Outcome::Answered && answer.status == 400) {
        filtered_ = false;
        systemLog(QStringLiteral("%1: the exporter refuses a request for some of its metrics; "
                                 "asking for all of them.")
                      .arg(loggedAddress()));
        return fetch();
    }
    // Not the metrics: no answer in time, an error page, a redirect loop's
    // end, or more than a node_exporter ever says.
    if (answer.outcome == HttpClient::Outcome::NoAnswer)
        return failed(State::NoAnswer);
    if (answer.outcome == HttpClient::Outcome::NotUnderstood || answer.status != 200)
        return failed(State::NotUnderstood);
    const QByteArray& body = answer.body;
    const std::optional<NodeMetrics> metrics =
        parseNodeMetrics(std::string_view(body.data(), std::size_t(body.size())));
    if (!metrics)
        return failed(State::NotUnderstood);
    failures_ = 0;
    lastAnswer_.start();
    if (previous_)
        group_.hold(nodeRates(*previous_, *metrics, double(askedAtNs_ - previousAskedAtNs_) / 1e9));
    previous_ = metrics;
    previousAskedAtNs_ = askedAtNs_;
    setState(State::Answering);
}

void RemoteHost::failed(State state) {
    previous_.reset();
    ++failures_;
    sinceFailure_.start();
    setState(state);
}

void RemoteHost::setState(State state) {
    const bool changed = state != state_;
    state_ = state;
    QString word;
    switch (state) {
    case State::Connecting:
        word = tr("connecting…");
        break;
    case State::Answering:
        word = url_.host();
        break;
    case State::NoAnswer:
        word = tr("no answer");
        break;
    case State::NotUnderstood:
        word = tr("not understood");
        break;
    }
    const bool greyed = state == State::NoAnswer || state == State::NotUnderstood;
    if (state == State::Answering)
        group_.showName(word, Qt::ElideRight);
    else
        group_.show(word, greyed);
    if (changed) {
        if (greyed)
            systemLog(QStringLiteral("%1: %2.").arg(loggedAddress(), word));
        emit stateChanged(state);
    }
}
