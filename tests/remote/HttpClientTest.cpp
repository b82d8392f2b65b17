// The client's connections: kept between requests, asked again on a new one
// when the server let the kept one go, redirects followed only so far, and
// HTTPS only to a server whose certificate holds.
#include "remote/HttpClient.h"
#include "TestSupport.h"

#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <netdb.h>
#include <sys/socket.h>

// A name with two addresses whose first has no route, as a name with an IPv6
// address has on a machine without IPv6: "unroutable-first.test" gives
// 192.0.2.1, which connect refuses at once, then 127.0.0.1.
static constexpr char unroutableFirst[] = "unroutable-first.test";
static sockaddr_in twoAddresses[2] = {{AF_INET, 0, {htonl(0xc0000201)}, {}},
                                      {AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}}};
static addrinfo twoAddressesList[2] = {
    {0, AF_INET, SOCK_STREAM, 0, sizeof(sockaddr_in), reinterpret_cast<sockaddr*>(&twoAddresses[0]),
     nullptr, &twoAddressesList[1]},
    {0, AF_INET, SOCK_STREAM, 0, sizeof(sockaddr_in), reinterpret_cast<sockaddr*>(&twoAddresses[1]),
     nullptr, nullptr}};

template <typename Real> static Real next(const char* name) {
    return reinterpret_cast<Real>(dlsym(RTLD_NEXT, name));
}

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** list) {
    if (node && std::strcmp(node, unroutableFirst) == 0) {
        *list = twoAddressesList;
        return 0;
    }
    static const auto real = next<decltype(&getaddrinfo)>("getaddrinfo");
    return real(node, service, hints, list);
}

extern "C" void freeaddrinfo(addrinfo* list) noexcept {
    static const auto real = next<decltype(&freeaddrinfo)>("freeaddrinfo");
    if (list != twoAddressesList)
        real(list);
}

extern "C" int connect(int fd, const sockaddr* address, socklen_t length) {
    if (address->sa_family == AF_INET &&
        reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr ==
            twoAddresses[0].sin_addr.s_addr) {
        errno = ENETUNREACH;
        return -1;
    }
    static const auto real = next<decltype(&connect)>("connect");
    return real(fd, address, length);
}

namespace {

// Answers every request on a connection kept open, except that with
// dropSecond it closes each connection at its second request, unanswered;
// /loop/<status> redirects to itself with that status, /hops/<n> to
// /hops/<n - 1> down to /hops/0; /slow sends the first half of its answer at
// once and the rest 300 ms later.
class KeepingServer : public QTcpServer {
public:
    explicit KeepingServer(bool dropSecond) {
        connect(this, &QTcpServer::newConnection, this, [this, dropSecond] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                ++connections;
                auto* asked = new int(0);
                connect(socket, &QObject::destroyed, [asked] { delete asked; });
                connect(socket, &QTcpSocket::readyRead, socket, [socket, asked, dropSecond] {
                    const QByteArray request = socket->readAll();
                    if (++*asked == 2 && dropSecond)
                        return socket->disconnectFromHost();
                    const QByteArray path = request.split(' ').value(1);
                    auto redirect = [socket](const QByteArray& status, const QByteArray& to) {
                        socket->write("HTTP/1.1 " + status + " Moved\r\nLocation: " + to +
                                      "\r\nContent-Length: 0\r\n\r\n");
                    };
                    if (path == "/slow") {
                        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\no");
                        QTimer::singleShot(300, socket, [socket] { socket->write("k"); });
                    } else if (path.startsWith("/hops/") && path != "/hops/0") {
                        redirect("307", "/hops/" + QByteArray::number(path.mid(6).toInt() - 1));
                    } else if (path.startsWith("/loop/")) {
                        redirect(path.mid(6), path);
                    } else
                        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
                });
            }
        });
        listen(QHostAddress::LocalHost);
    }
    QUrl url(const char* path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
    }
    int connections = 0;
};

HttpClient::Answer ask(HttpClient& client, const QUrl& url) {
    std::optional<HttpClient::Answer> answer;
    client.get(url, [&answer](const HttpClient::Answer& a) { answer = a; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));
    return answer.value_or(HttpClient::Answer{});
}

TEST(HttpClient, KeepsItsConnectionAndAsksAgainWhereTheServerLetItGo) {
    for (const bool dropSecond : {false, true}) {
        SCOPED_TRACE(dropSecond ? "dropped at the second request" : "kept");
        KeepingServer server(dropSecond);
        HttpClient client(1024, 3000);
        for (int request = 0; request < 3; ++request) {
            const HttpClient::Answer answer = ask(client, server.url("/metrics"));
            EXPECT_EQ(answer.outcome, HttpClient::Outcome::Answered);
            EXPECT_EQ(answer.body, "ok");
        }
        // Each connection let go at its second request: the second and the third
        // are asked again on a new one.
        EXPECT_EQ(server.connections, dropSecond ? 3 : 1);
    }
    // A name, looked up: localhost, which many machines give ::1 first,
    // while the server is on 127.0.0.1 only; and a name whose first address
    // has no route at all.
    KeepingServer server(false);
    for (const QString& name :
         {QStringLiteral("localhost"), QString::fromLatin1(unroutableFirst)}) {
        HttpClient client(1024, 3000);
        const QUrl byName(QStringLiteral("http://%1:%2/").arg(name).arg(server.serverPort()));
        EXPECT_EQ(ask(client, byName).body, "ok") << name.toStdString();
    }
}

// An answer to be collected is read when collected, whole then or as the
// rest comes, or at the deadline where no one collects it.
TEST(HttpClient, ACollectedAnswerIsReadWhenCollected) {
    KeepingServer server(false);
    HttpClient client(1024, 1000);
    client.setCollected(true);
    std::optional<HttpClient::Answer> answer;
    auto done = [&answer](const HttpClient::Answer& a) { answer = a; };
    for (const char* path : {"/metrics", "/metrics", "/slow"}) {
        answer.reset();
        client.get(server.url(path), done);
        QTest::qWait(150);
        EXPECT_FALSE(answer) << path << ": read before it was collected";
        client.collect();
        if (QByteArrayView(path) == "/slow") {
            EXPECT_FALSE(answer) << "half an answer";
            EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 900));
        }
        ASSERT_TRUE(answer) << path;
        EXPECT_EQ(answer->outcome, HttpClient::Outcome::Answered) << path;
        EXPECT_EQ(answer->body, "ok") << path;
    }
    answer.reset();
    client.get(server.url("/metrics"), done);
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 1500));
    EXPECT_EQ(answer->outcome, HttpClient::Outcome::Answered) << "read at the deadline";
    EXPECT_EQ(server.connections, 1);
}

TEST(HttpClient, RedirectsEndAfterThreeAndAServerThatSpeaksFirstIsNotUnderstood) {
    KeepingServer server(false);
    HttpClient client(1024, 3000);
    for (const char* loop : {"/loop/301", "/loop/302", "/loop/303", "/loop/307", "/loop/308"})
        EXPECT_EQ(ask(client, server.url(loop)).outcome, HttpClient::Outcome::NotUnderstood)
            << loop;
    EXPECT_EQ(ask(client, server.url("/hops/3")).body, "ok") << "three redirects are followed";
    EXPECT_EQ(ask(client, server.url("/hops/4")).outcome, HttpClient::Outcome::NotUnderstood);
    // Another protocol's greeting (an SSH server's port).
    QTcpServer ssh;
    ssh.listen(QHostAddress::LocalHost);
    QObject::connect(&ssh, &QTcpServer::newConnection, [&ssh] {
        while (QTcpSocket* socket = ssh.nextPendingConnection())
            socket->write("SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n");
    });
    QTest::qWait(0);
    const QUrl greeting(QStringLiteral("http://127.0.0.1:%1/").arg(ssh.serverPort()));
    EXPECT_EQ(ask(client, greeting).outcome, HttpClient::Outcome::NotUnderstood);
}

// A TLS server with a certificate for 127.0.0.1 that no authority signed:
// refused until the test trusts it; then answered, except where a redirect
// leads from https to http.
TEST(HttpClient, HttpsOnlyToAServerWhoseCertificateHolds) {
    QSslServer server;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    const QList<QSslCertificate> certificate =
        QSslCertificate::fromPath(fixturePath("tls/localhost.crt"));
    ASSERT_EQ(certificate.size(), 1);
    tls.setLocalCertificate(certificate.front());
    tls.setPrivateKey(QSslKey(readFileBytes(fixturePath("tls/localhost.key")), QSsl::Rsa));
    server.setSslConfiguration(tls);
    KeepingServer plain(false); // answers whatever is asked
    const QByteArray down = plain.url("/metrics").toEncoded();
    int handshakes = 0;
    QObject::connect(&server, &QSslServer::startedEncryptionHandshake, [&] { ++handshakes; });
    QObject::connect(&server, &QTcpServer::pendingConnectionAvailable, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection())
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, down] {
                socket->write(socket->readAll().startsWith("GET /down ")
                                  ? "HTTP/1.1 302 Found\r\nLocation: " + down +
                                        "\r\nContent-Length: 0\r\n\r\n"
                                  : "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
            });
    });
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QString base = QStringLiteral("https://127.0.0.1:%1").arg(server.serverPort());
    HttpClient client(1024, 3000);
    EXPECT_EQ(ask(client, QUrl(base + "/metrics")).outcome, HttpClient::Outcome::NoAnswer);
    EXPECT_EQ(handshakes, 1);

    const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = before;
    trusting.addCaCertificate(certificate.front());
    QSslConfiguration::setDefaultConfiguration(trusting);
    const HttpClient::Answer answer = ask(client, QUrl(base + "/metrics"));
    EXPECT_EQ(answer.outcome, HttpClient::Outcome::Answered);
    EXPECT_EQ(answer.body, "ok");
    EXPECT_EQ(ask(client, QUrl(base + "/down")).outcome, HttpClient::Outcome::NoAnswer);
    EXPECT_EQ(plain.connections, 0) << "followed from https to http";
    QSslConfiguration::setDefaultConfiguration(before);
}

} // namespace
