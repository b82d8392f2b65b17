#pragma once

// session/: what Quorvel has to do with the user's desktop session beside
// drawing: one running copy, termination signals, the system log, desktop
// entries and "Start at login", reading and replacing the user's files, and
// handing unused pages back to the system.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

class QLocalServer;
class QLocalSocket;

// Keeps Quorvel to one running copy per user.
//
// The copy that holds an flock() on <runtime dir>/quorvel.lock is the running
// copy; the kernel drops the lock when its holder dies, however it dies, so a
// killed copy never blocks the next start, and two copies started together
// cannot both win. The running copy listens on <runtime dir>/quorvel.socket in a
// directory only its user can enter, and also checks each peer's uid. A later
// copy connects there and sends the one-line reopen request.
class SingleCopy : public QObject {
    Q_OBJECT
public:
    // Directory: where the lock and the socket live; see runtimeDirectory().
    explicit SingleCopy(QString directory, QObject* parent = nullptr);
    ~SingleCopy() override;

    // True when this process is now the running copy; asked again, the same
    // answer.
    bool claim();
    // Starts accepting reopen requests; only after claim() returned true.
    bool listen();
    // Asks the running copy to reopen and waits for its answer; retries until
    // timeoutMs, as the running copy may have won the lock but not be
    // listening yet. False without an answer: a copy whose socket takes the
    // request but never reads it (a stuck one) is no running copy to rely on.
    bool sendReopen(int timeoutMs);
    // For a copy that is not the running one: says so, asks the running copy
    // to reopen, and says why when that fails. True when it was asked.
    bool handOverToRunningCopy();

    // $XDG_RUNTIME_DIR when it is a private directory of this user, else
    // /run/user/<uid> when that is, else a private directory of ours under
    // /tmp; empty when none can be had.
    static QString runtimeDirectory();

    static QByteArray reopenRequest() { return QByteArrayLiteral("reopen\n"); }
    // The running copy's answer, once it has taken the request.
    static QByteArray reopenAnswer() { return QByteArrayLiteral("reopening\n"); }
    // How long a second start waits for that answer.
    static constexpr int handOverTimeoutMs = 3000;
    // Anything longer than a request is never one.
    static constexpr qsizetype maxRequestSize = 64;
    // Connections served at once; more are closed as they come.
    static constexpr int maxOpenConnections = 8;
    // How long a connection may take to send its request.
    static constexpr int requestTimeoutMs = 1000;
    // True only for exactly one reopen request.
    static bool isReopenRequest(const QByteArray& bytes);

    // What to do with the bytes a peer has sent so far.
    enum class Request { Incomplete, Reopen, Ignored };
    static Request classifyRequest(const QByteArray& received);

signals:
    void reopenRequested();

private:
    bool takeLock();
    QString socketPath() const;
    void acceptConnection();
    void readRequest(QLocalSocket* socket);

    QString directory_;
    int lockFd_ = -1;
    std::optional<bool> claimed_;
    int openConnections_ = 0;
    QLocalServer* server_ = nullptr;
};
