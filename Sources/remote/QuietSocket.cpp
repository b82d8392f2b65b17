#include "remote/QuietSocket.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

QuietSocket::QuietSocket(QObject* parent) : QObject(parent) {}

QuietSocket::~QuietSocket() {
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    close();
}

void QuietSocket::connectToHost(const QString& host, quint16 port) {
    port_ = port;
    QHostAddress address;
    if (address.setAddress(host)) {
        addresses_ = {address};
        return connectToNext();
    }
    // A name is looked up on Qt's own threads: a slow resolver never holds
    // the main thread.
    lookupId_ = QHostInfo::lookupHost(host, this, &QuietSocket::hostFound);
}

void QuietSocket::hostFound(const QHostInfo& info) {
    lookupId_ = -1;
    addresses_ = info.addresses();
    connectToNext();
}

void QuietSocket::connectToNext() {
    close();
    if (addresses_.isEmpty()) {
        // Said from the event loop, as every other outcome is.
        QTimer::singleShot(0, this, [this] { emit failed(); });
        return;
    }
    const QHostAddress address = addresses_.takeFirst();
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port_);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        // A link-local address's zone: an interface's name or number.
        const QString zone = address.scopeId();
        const int index = zone.isEmpty() ? 0 : QNetworkInterface::interfaceIndexFromName(zone);
        in6->sin6_scope_id = index > 0 ? uint32_t(index) : zone.toUInt();
        length = sizeof *in6;
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port_);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *in4;
    }
    fd_ = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || (::connect(fd_, reinterpret_cast<const sockaddr*>(&storage), length) != 0 &&
                    errno != EINPROGRESS))
        return connectToNext();
    writable_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    connect(writable_.get(), &QSocketNotifier::activated, this, &QuietSocket::connectionMade);
}

void QuietSocket::connectionMade() {
    writable_.reset();
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
        return connectToNext();
    connected_ = true;
    readable_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    readable_->setEnabled(false);
    connect(readable_.get(), &QSocketNotifier::activated, this, &QuietSocket::readyRead);
    emit connected();
}

// Neither call below ever waits (the socket does not block), so a signal
// cannot interrupt one: there is no EINTR to try again after.
bool QuietSocket::send(const QByteArray& data) {
    qsizetype sent = 0;
    while (connected_ && sent < data.size()) {
        const ssize_t n =
            ::send(fd_, data.constData() + sent, std::size_t(data.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += n;
    }
    return connected_;
}

QuietSocket::Read QuietSocket::readAvailable(QByteArray& out, qsizetype most) {
    if (!connected_)
        return Read::Closed;
    char chunk[65536];
    for (const qsizetype end = out.size() + most; out.size() < end;) {
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            out.append(chunk, n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Read::Open;
        close(); // 0: the server closed it; below 0: it failed
        return Read::Closed;
    }
    return Read::Open;
}

void QuietSocket::watchReading(bool watch) {
    if (readable_)
        readable_->setEnabled(watch);
}

void QuietSocket::close() {
    writable_.reset();
    readable_.reset();
    connected_ = false;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}
