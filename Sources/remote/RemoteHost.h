#pragma once

// remote/: the other machines Quorvel shows ("RemoteHosts"): each one's
// Prometheus node_exporter, fetched on the network graph's clock, and its
// group of graphs.

#include "remote/HttpClient.h"
#include "remote/NodeMetrics.h"
#include "remote/RemoteGroup.h"

#include <QElapsedTimer>
#include <QObject>
#include <QUrl>

#include <optional>
#include <vector>

// One other machine: its node_exporter's answer fetched at each tick of the
// network graph's clock (never more than one request at a time, never
// waiting for it), turned into rates, and drawn by its group of graphs.
// What the user reads while it does not answer as it should: "connecting…",
// "no answer" (nothing or an error in time) or "not understood" (an answer
// that is not node_exporter's, or too large), in the title of the greyed
// group.
class RemoteHost : public QObject {
    Q_OBJECT
public:
    // Limits that keep a slow, broken or hostile server from costing more
    // than a look: the answer's time and size.
    static constexpr int timeoutMs = 3000;
    static constexpr qint64 largestAnswer = 4 * 1024 * 1024;
    // A machine that keeps failing is asked after 1, 2, 4… seconds, at most
    // this many.
    static constexpr int longestBackOffSeconds = 60;

    enum class State { Connecting, Answering, NoAnswer, NotUnderstood };

    explicit RemoteHost(const QUrl& url, QObject* parent = nullptr);
    ~RemoteHost() override;

    const QUrl& url() const { return url_; }
    State state() const { return state_; }
    // The group's graphs, in the order they stand in the strip.
    const std::vector<RemoteGraphView*>& views() const { return group_.views(); }

    void fetch();

    // The wait before asking again after this many failures in a row.
    static int backOffSeconds(int failures);
    // An address as logs give it: without its user name and password, since
    // a log is read by others and pasted into bug reports.
    static QString loggedAddress(const QUrl& url);

signals:
    void stateChanged(RemoteHost::State state);

private:
    void answered(const HttpClient::Answer& answer);
    void failed(State state);
    void setState(State state);
    QUrl requestUrl() const;
    QString loggedAddress() const { return loggedAddress(url_); }

    QUrl url_;
    // Whether node_exporter's answer is asked for cut down to the collectors
    // read: unless the address has a query of its own or the exporter refused
    // the filter.
    bool filtered_;
    State state_ = State::Connecting;
    RemoteGroup group_;
    HttpClient client_;
    std::optional<NodeMetrics> previous_;
    // When the answered request and the one before it were sent: an
    // exporter reads its counters when asked, so the rate between two answers
    // is over the time between their requests, whenever the answers are read.
    QElapsedTimer clock_;
    qint64 askedAtNs_ = 0, previousAskedAtNs_ = 0;
    QElapsedTimer lastAnswer_;
    int failures_ = 0; // in a row
    QElapsedTimer sinceFailure_;
};
