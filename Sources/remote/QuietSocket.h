#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSocketNotifier>

#include <memory>

class QHostInfo;

// A plain TCP connection whose bytes are read when its owner asks, not when
// they come: an answer that arrives between two ticks of the clock is read
// at the next one without waking the main thread for it. The event loop
// watches the connection only while it is being made and while its owner
// waits for more of an answer (one that is slow or larger than what the
// kernel holds).
class QuietSocket : public QObject {
    Q_OBJECT
public:
    explicit QuietSocket(QObject* parent = nullptr);
    ~QuietSocket() override;

    // Looks the host up and connects to its addresses in turn (localhost may
    // be ::1 first, with the server on 127.0.0.1 only), without waiting:
    // connected() or failed() follows.
    void connectToHost(const QString& host, quint16 port);
    bool isConnected() const { return connected_; }
    // Sends all of data now, or says it could not (a request is far smaller
    // than the kernel's buffer of a connection that carries one at a time).
    bool send(const QByteArray& data);

    enum class Read { Open, Closed };
    // What has come since the last read, without waiting, up to most bytes
    // (a server that sends without end is read a part at a time). Closed:
    // the server closed the connection or it failed; what came before is in
    // out.
    Read readAvailable(QByteArray& out, qsizetype most);
    // Whether readyRead() is emitted when bytes come.
    void watchReading(bool watch);

signals:
    void connected();
    void failed();
    void readyRead();

private:
    void hostFound(const QHostInfo& info);
    void connectToNext();
    void connectionMade();
    void close();

    quint16 port_ = 0;
    QList<QHostAddress> addresses_; // not yet tried
    int fd_ = -1;
    int lookupId_ = -1;
    bool connected_ = false;
    std::unique_ptr<QSocketNotifier> writable_, readable_;
};
