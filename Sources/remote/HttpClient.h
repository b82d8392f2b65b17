#pragma once

#include "remote/HttpResponse.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

class QSslSocket;
class QuietSocket;

// Asks one server at a time for one address over HTTP/1.1 (or HTTPS, with
// the server's certificate verified), on the main thread's own event loop:
// the connection is kept from one request to the next, the answer is read
// as its bytes come (or, over plain HTTP, when collected) and taken whole,
// without compression. A whole answer, redirects included, must come within
// the time given and the size allowed.
// Redirects are followed at most three times and never from https to http
// nor to another scheme.
class HttpClient : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        Answered,      // an answer with a status and a body
        NoAnswer,      // no connection, nothing in time, cut off, a redirect not followed
        NotUnderstood, // not HTTP, too large, compressed, or redirects without end
    };
    struct Answer {
        Outcome outcome = Outcome::NoAnswer;
        int status = 0;
        QByteArray body;
    };

    HttpClient(qint64 largestBody, int timeoutMs, QObject* parent = nullptr);
    ~HttpClient() override;

    // Asks for url; done is called once, later, unless abort() comes first.
    void get(const QUrl& url, std::function<void(const Answer&)> done);
    bool busy() const { return bool(done_); }
    // The request is dropped without an answer.
    void abort();
    // Over plain HTTP, an answer is read only when collect() is called (at
    // the clock's next tick) or once it is late: the main thread is not woken
    // for it. Over HTTPS, whose encryption needs the event loop, and for an
    // answer not whole when collected, the bytes are read as they come.
    void setCollected(bool collected) { collected_ = collected; }
    // Reads what has come of the answer, without waiting: done is called now
    // where the answer is whole.
    void collect();

private:
    void send(const QUrl& url);
    void writeRequest();
    void readAnswer();
    void connectionClosed();
    void answerComplete();
    void finish(Outcome outcome, int status = 0, const QByteArray& body = {});
    void dropConnection();
    bool connectionOpen() const;

    qint64 largestBody_;
    int timeoutMs_;
    QUrl first_, url_;
    QPointer<QSslSocket> secure_; // https
    QPointer<QuietSocket> plain_; // http
    QString socketOrigin_;
    std::optional<HttpResponse> response_;
    std::function<void(const Answer&)> done_;
    QTimer deadline_;
    int redirects_ = 0;
    bool onKeptConnection_ = false; // the request went on a connection used before
    bool heard_ = false;            // some byte of the answer came
    bool collected_ = false;
};
