#include "remote/HttpClient.h"

#include "remote/QuietSocket.h"

#include <QSslSocket>

namespace {

QString originOf(const QUrl& url) {
    return url.scheme() + QStringLiteral("://") + url.host() + u':' +
           QString::number(url.port(url.scheme() == u"https" ? 443 : 80));
}

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

HttpClient::HttpClient(qint64 largestBody, int timeoutMs, QObject* parent)
    : QObject(parent), largestBody_(largestBody), timeoutMs_(timeoutMs) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        // An answer not yet collected may be whole (a pace slower than the
        // deadline).
        collect();
        if (!response_)
            return;
        dropConnection();
        finish(Outcome::NoAnswer);
    });
}

HttpClient::~HttpClient() {
    done_ = nullptr;
    dropConnection();
}

void HttpClient::get(const QUrl& url, std::function<void(const Answer&)> done) {
    done_ = std::move(done);
    first_ = url;
    redirects_ = 0;
    deadline_.start(timeoutMs_);
    send(url);
}

void HttpClient::abort() {
    done_ = nullptr;
    deadline_.stop();
    response_.reset();
    // A connection with half an answer on it cannot carry the next request.
    dropConnection();
}

void HttpClient::collect() {
    if (plain_ && response_ && plain_->isConnected())
        readAnswer();
}

bool HttpClient::connectionOpen() const {
    return plain_ ? plain_->isConnected()
                  : secure_ && secure_->state() == QAbstractSocket::ConnectedState;
}

void HttpClient::send(const QUrl& url) {
    url_ = url;
    response_.emplace(largestBody_);
    heard_ = false;
    const QString origin = originOf(url);
    onKeptConnection_ = socketOrigin_ == origin && connectionOpen();
    if (onKeptConnection_)
        return writeRequest();
    dropConnection();
    socketOrigin_ = origin;
    if (url.scheme() != u"https") {
        plain_ = new QuietSocket(this);
        connect(plain_, &QuietSocket::connected, this, &HttpClient::writeRequest);
        connect(plain_, &QuietSocket::readyRead, this, &HttpClient::readAnswer);
        connect(plain_, &QuietSocket::failed, this, &HttpClient::connectionClosed);
        plain_->connectToHost(url.host(), quint16(url.port(80)));
        return;
    }
    QSslSocket* socket = new QSslSocket(this);
    secure_ = socket;
    connect(socket, &QTcpSocket::readyRead, this, &HttpClient::readAnswer);
    connect(socket, &QTcpSocket::disconnected, this, &HttpClient::connectionClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError) {
        if (socket == secure_)
            connectionClosed();
    });
    // The server's certificate is verified (QSslSocket's default for a
    // client); a failure is an error like any other.
    connect(socket, &QSslSocket::encrypted, this, &HttpClient::writeRequest);
    socket->connectToHostEncrypted(url.host(), quint16(url.port(443)));
}

void HttpClient::writeRequest() {
    if (!connectionOpen() || !response_)
        return;
    QByteArray path =
        url_.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (path.isEmpty())
        path = "/";
    QByteArray request = "GET " + path + " HTTP/1.1\r\nHost: " +
                         url_.authority(QUrl::RemoveUserInfo | QUrl::FullyEncoded).toLatin1() +
                         "\r\nUser-Agent: Quorvel\r\nAccept: text/plain; version=0.0.4\r\n"
                         "Accept-Encoding: identity\r\n";
    // Credentials in the address go to its own server only, not to one a
    // redirect names.
    if (!first_.userName().isEmpty() && originOf(url_) == originOf(first_))
        request += "Authorization: Basic " +
                   (first_.userName() + u':' + first_.password()).toUtf8().toBase64() + "\r\n";
    request += "\r\n";
    if (plain_) {
        // Whatever a kept connection holds before the request is no answer
        // to it: the server's closing of an idle connection, or garbage. (On
        // a new one, what a server says first is read as its answer.)
        QByteArray before;
        if (onKeptConnection_ &&
            (plain_->readAvailable(before, largestBody_) == QuietSocket::Read::Closed ||
             !before.isEmpty()))
            return connectionClosed();
        if (!plain_->send(request))
            return connectionClosed();
        plain_->watchReading(!collected_);
        return;
    }
    secure_->write(request);
    // Sent now, not from the write notifier at the event loop's next turn:
    // one wake-up fewer a request.
    secure_->flush();
}

void HttpClient::readAnswer() {
    QByteArray bytes;
    bool closed = false;
    if (plain_)
        // At most the body's limit and a head at a time: more is read at the
        // next turn of the event loop.
        closed = plain_->readAvailable(bytes, largestBody_ + 65536) == QuietSocket::Read::Closed;
    else if (secure_)
        bytes = secure_->readAll();
    else
        return;
    if (!response_) {
        dropConnection(); // nothing was asked: not a server to keep talking to
        return;
    }
    heard_ = heard_ || !bytes.isEmpty();
    switch (response_->feed(bytes)) {
    case HttpResponse::Progress::Incomplete:
        if (closed)
            return connectionClosed();
        // The rest is read as it comes.
        if (plain_)
            plain_->watchReading(true);
        return;
    case HttpResponse::Progress::Complete:
        return answerComplete();
    case HttpResponse::Progress::Cut:
    case HttpResponse::Progress::Malformed:
    case HttpResponse::Progress::TooLarge:
        dropConnection();
        return finish(Outcome::NotUnderstood);
    }
}

void HttpClient::connectionClosed() {
    if (!response_) {
        dropConnection(); // an idle connection the server let go
        return;
    }
    // A kept connection the server closed just as the request went: asked
    // again on a new one.
    if (onKeptConnection_ && !heard_) {
        dropConnection();
        return send(url_);
    }
    if (secure_)
        response_->feed(secure_->readAll());
    const HttpResponse::Progress progress = response_->closed();
    dropConnection();
    if (progress == HttpResponse::Progress::Complete)
        return answerComplete();
    finish(progress == HttpResponse::Progress::Cut ? Outcome::NoAnswer : Outcome::NotUnderstood);
}

void HttpClient::answerComplete() {
    const HttpResponse response = *std::exchange(response_, std::nullopt);
    if (!response.keepsConnection())
        dropConnection();
    else if (plain_)
        plain_->watchReading(false); // an idle connection is looked at when next used
    if (isRedirect(response.status())) {
        const QUrl target = url_.resolved(QUrl::fromEncoded(response.header("location")));
        if (++redirects_ > 3)
            return finish(Outcome::NotUnderstood);
        const bool known = target.scheme() == u"http" || target.scheme() == u"https";
        if (!known || target.host().isEmpty() ||
            (url_.scheme() == u"https" && target.scheme() == u"http"))
            return finish(Outcome::NoAnswer);
        return send(target);
    }
    const QByteArray coding = response.header("content-encoding").toLower();
    if (!coding.isEmpty() && coding != "identity")
        return finish(Outcome::NotUnderstood);
    finish(Outcome::Answered, response.status(), response.body());
}

void HttpClient::finish(Outcome outcome, int status, const QByteArray& body) {
    deadline_.stop();
    response_.reset();
    const Answer answer{outcome, status, body};
    if (auto done = std::exchange(done_, nullptr))
        done(answer);
}

void HttpClient::dropConnection() {
    if (QuietSocket* plain = std::exchange(plain_, nullptr)) {
        plain->disconnect(this);
        plain->deleteLater();
    }
    if (QSslSocket* socket = std::exchange(secure_, nullptr)) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}
