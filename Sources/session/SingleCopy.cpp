#include "session/SingleCopy.h"

#include "session/SystemLog.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isPrivateDirectory(const QByteArray& path) {
    struct stat info {};
    return !path.isEmpty() && ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 0077) == 0;
}

bool peerIsSameUser(QLocalSocket* socket) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    const int fd = static_cast<int>(socket->socketDescriptor());
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == ::getuid();
}

} // namespace

SingleCopy::SingleCopy(QString directory, QObject* parent)
    : QObject(parent), directory_(std::move(directory)) {}

SingleCopy::~SingleCopy() {
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

QString SingleCopy::runtimeDirectory() {
    const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
    // Set but missing: made here as Qt would make it, so that every copy
    // started with the same variable meets in the same place.
    if (!xdg.isEmpty())
        ::mkdir(xdg.constData(), 0700);
    if (isPrivateDirectory(xdg))
        return QFile::decodeName(xdg);
    // Where the login manager puts it when the variable is lost (a shell
    // started without it, sudo -u, a cron job).
    const QByteArray loginRuntime = "/run/user/" + QByteArray::number(::getuid());
    if (isPrivateDirectory(loginRuntime))
        return QFile::decodeName(loginRuntime);
    const QByteArray fallback = "/tmp/quorvel-" + QByteArray::number(::getuid());
    ::mkdir(fallback.constData(), 0700);
    if (isPrivateDirectory(fallback))
        return QFile::decodeName(fallback);
    return {};
}

bool SingleCopy::claim() {
    if (claimed_)
        return *claimed_;
    claimed_ = takeLock();
    return *claimed_;
}

bool SingleCopy::takeLock() {
    const QByteArray path = QFile::encodeName(directory_ + QStringLiteral("/quorvel.lock"));
    lockFd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) {
        // Without a lock there is no way to tell; running twice beats not running.
        systemLog(QStringLiteral("Cannot open %1; not checking for another copy.")
                      .arg(QFile::decodeName(path)));
        return true;
    }
    return ::flock(lockFd_, LOCK_EX | LOCK_NB) == 0;
}

bool SingleCopy::listen() {
    const QString path = socketPath();
    // Only the lock holder gets here, so a socket left there is a dead copy's
    // and can go. Anything else there is not ours to remove.
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            systemLog(QStringLiteral("%1 is not a socket; it is left alone, and a second start of "
                                     "Quorvel cannot reach this one.")
                          .arg(path));
            return false;
        }
        QLocalServer::removeServer(path);
    }
    server_ = new QLocalServer(this);
    if (!server_->listen(path)) {
        systemLog(QStringLiteral("Cannot listen on %1: %2").arg(path, server_->errorString()));
        return false;
    }
    ::chmod(QFile::encodeName(path).constData(), 0600);
    connect(server_, &QLocalServer::newConnection, this, &SingleCopy::acceptConnection);
    return true;
}

void SingleCopy::acceptConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        // Each open connection holds a socket object and its buffers; a flood
        // of them (a program holding hundreds open) is turned away at once
        // beyond a few, so memory stays where it was.
        if (openConnections_ >= maxOpenConnections || !peerIsSameUser(socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++openConnections_;
        connect(socket, &QObject::destroyed, this, [this] { --openConnections_; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        socket->setReadBufferSize(maxRequestSize + 1);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // A peer that connects and says nothing is dropped.
        QTimer::singleShot(requestTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        readRequest(socket);
    }
}

void SingleCopy::readRequest(QLocalSocket* socket) {
    if (socket->property("answered").toBool())
        return;
    const Request request = classifyRequest(socket->peek(maxRequestSize + 1));
    if (request == Request::Incomplete)
        return; // wait for the rest
    socket->setProperty("answered", true);
    if (request == Request::Reopen) {
        // Answered, so that the asker knows a live copy took it.
        socket->write(reopenAnswer());
        socket->flush();
        socket->disconnectFromServer();
        emit reopenRequested();
        return;
    }
    socket->abort();
    socket->deleteLater();
}

bool SingleCopy::isReopenRequest(const QByteArray& bytes) {
    return bytes == reopenRequest();
}

SingleCopy::Request SingleCopy::classifyRequest(const QByteArray& received) {
    // A request is one line; anything longer than a request can be is not one.
    if (received.size() > maxRequestSize)
        return Request::Ignored;
    if (!received.contains('\n'))
        return Request::Incomplete;
    return isReopenRequest(received) ? Request::Reopen : Request::Ignored;
}

QString SingleCopy::socketPath() const {
    return directory_ + QStringLiteral("/quorvel.socket");
}

bool SingleCopy::handOverToRunningCopy() {
    systemLog(QStringLiteral("Another copy is running."));
    if (sendReopen(handOverTimeoutMs))
        return true;
    const QString path = socketPath();
    struct stat info {};
    const QString why = ::lstat(QFile::encodeName(path).constData(), &info) != 0
                            ? QStringLiteral("it has no socket at %1").arg(path)
                        : !S_ISSOCK(info.st_mode)
                            ? QStringLiteral("%1 is not a socket").arg(path)
                            : QStringLiteral("it does not answer at %1").arg(path);
    systemLog(QStringLiteral("It cannot be asked to show itself: %1.").arg(why));
    return false;
}

bool SingleCopy::sendReopen(int timeoutMs) {
    const QString path = socketPath();
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (socket.waitForConnected(int(deadline.remainingTime()))) {
            socket.write(reopenRequest());
            QByteArray answer;
            while (!answer.endsWith('\n') && answer.size() <= maxRequestSize &&
                   socket.waitForReadyRead(int(deadline.remainingTime())))
                answer += socket.readAll();
            socket.abort();
            return answer == reopenAnswer();
        }
        QThread::msleep(20);
    }
    return false;
}
