#include "remote/RemoteHost.h"

#include "graphs/RemoteGraphView.h"
#include "session/SystemLog.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

namespace {

// Made when the first machine is fetched: no networking is set up while the
// list is empty.
QNetworkAccessManager& network() {
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

} // namespace

RemoteHost::RemoteHost(const QUrl& url, QObject* parent) : QObject(parent), url_(url) {
    using Kind = RemoteGraphView::Kind;
    for (Kind kind : {Kind::Cpu, Kind::Network, Kind::Memory, Kind::Disk})
        views_.push_back(new RemoteGraphView(QRect(0, 0, 64, 64), kind));
    views_.front()->setTickHandler([this] { fetch(); });
    // The first graph's title is the machine's name or its state (setState).
    views_[1]->setTitle(tr("Net"));
    views_[2]->setTitle(tr("Mem"));
    views_[3]->setTitle(tr("Disk"));
    setState(State::Connecting);
}

RemoteHost::~RemoteHost() {
    if (inFlight_)
        inFlight_->abort();
    for (RemoteGraphView* view : views_) {
        view->removeFromSuperview();
        delete view;
    }
}

void RemoteHost::fetch() {
    // A machine still answering the last request is not asked again: a slow
    // one costs one request at a time.
    if (inFlight_)
        return;
    QNetworkRequest request(url_);
    request.setTransferTimeout(timeoutMs);
    request.setRawHeader("Accept", "text/plain; version=0.0.4");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(3);
    inFlight_ = network().get(request);
    QNetworkReply* reply = inFlight_;
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64) {
        if (received > largestAnswer) {
            reply->setProperty("tooLarge", true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { answered(reply); });
}

void RemoteHost::answered(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply != inFlight_)
        return;
    inFlight_ = nullptr;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // An answer, but not the metrics: an error page, a redirect loop's end,
    // or more than a node_exporter ever says.
    if (reply->property("tooLarge").toBool() || (status != 0 && status != 200)) {
        previous_.reset();
        return setState(State::NotUnderstood);
    }
    if (reply->error() != QNetworkReply::NoError) {
        previous_.reset();
        return setState(State::NoAnswer);
    }
    const QByteArray body = reply->readAll();
    const std::optional<NodeMetrics> metrics =
        parseNodeMetrics(std::string_view(body.data(), std::size_t(body.size())));
    if (!metrics) {
        previous_.reset();
        return setState(State::NotUnderstood);
    }
    if (previous_) {
        const double seconds = double(sincePrevious_.nsecsElapsed()) / 1e9;
        sincePrevious_.restart();
        const NodeRates rates = nodeRates(*previous_, *metrics, seconds);
        for (RemoteGraphView* view : views_)
            view->push(rates);
    } else {
        sincePrevious_.start();
    }
    previous_ = metrics;
    setState(State::Answering);
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
    views_.front()->showState(word, greyed);
    for (std::size_t i = 1; i < views_.size(); ++i)
        views_[i]->showState(views_[i]->graphTitle(), greyed);
    if (changed) {
        if (greyed)
            systemLog(QStringLiteral("%1: %2.").arg(url_.toDisplayString(), word));
        emit stateChanged(state);
    }
}
