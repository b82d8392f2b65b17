// Other machines' groups of graphs: against servers that answer well, badly or
// not at all.
#include "remote/RemoteHost.h"
#include "ControllerFixture.h"
#include "graphs/RemoteGraphView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

QByteArray httpAnswer(int status, const QByteArray& body) {
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Type: text/plain\r\n" +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

// Answers by path: /metrics a node_exporter's answer, /refusing one where
// not asked for some of it (400 else), /missing 404, /page an
// HTML page, /huge more than any node_exporter says, /bomb a small answer that
// inflates to more, /away a redirect to where no one follows, /astray one to
// redirectTarget, /silent nothing at all, /late /metrics's answer a second late,
// /trickle and /chunked a byte or a chunk every 200 ms without end.
class FakeServer : public QTcpServer {
public:
    FakeServer() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray request = socket->readAll();
                    const QByteArray target = request.split(' ').value(1);
                    const QByteArray path = target.split('?').value(0);
                    const bool filtered = target.contains('?');
                    lastQuery = QByteArray::fromPercentEncoding(target.mid(path.size()));
                    ++requests;
                    if (path == "/late")
                        return QTimer::singleShot(1000, socket, [this, socket] {
                            socket->write(httpAnswer(200, metrics()));
                            socket->disconnectFromHost();
                        });
                    if ((path == "/metrics" && !stalled) || (path == "/missing" && healed) ||
                        (path == "/refusing" && !filtered))
                        socket->write(httpAnswer(200, metrics()));
                    else if (path == "/refusing")
                        socket->write(httpAnswer(400, "disabled collector: netclass"));
                    else if (path == "/metrics")
                        return; // silent from now on
                    else if (path == "/missing")
                        socket->write(httpAnswer(404, "not here"));
                    else if (path == "/page")
                        socket->write(httpAnswer(200, "<html><body>Hello</body></html>"));
                    else if (path == "/huge")
                        socket->write(httpAnswer(200, QByteArray(6 * 1024 * 1024, '#')));
                    else if (path == "/bomb")
                        socket->write(bomb());
                    else if (path == "/away" || path == "/astray")
                        socket->write(
                            "HTTP/1.1 302 Found\r\nLocation: " +
                            (path == "/away" ? QByteArray("file:///etc/passwd") : redirectTarget) +
                            "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                    if (path == "/trickle" || path == "/chunked") {
                        socket->write(
                            path == "/trickle"
                                ? "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n"
                                : "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
                        auto* drip = new QTimer(socket);
                        connect(drip, &QTimer::timeout, socket, [socket, path] {
                            socket->write(path == "/trickle" ? "#" : "2\r\n#\n\r\n");
                        });
                        drip->start(200);
                    } else if (path != "/silent") {
                        socket->disconnectFromHost();
                    }
                });
            }
        });
        listen(QHostAddress::LocalHost);
    }
    // 64 MB of zeros in 64 kB, made once.
    static QByteArray bomb() {
        static const QByteArray answer = deflated(QByteArray(64 * 1024 * 1024, '0'));
        return answer;
    }
    static QByteArray deflated(const QByteArray& body) {
        const QByteArray zlib = qCompress(body, 9).mid(4);
        return "HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nContent-Length: " +
               QByteArray::number(zlib.size()) + "\r\nConnection: close\r\n\r\n" + zlib;
    }
    QUrl url(const char* path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
    }
    // Counters that grow by the same amounts at each answer.
    QByteArray metrics() {
        ++answers;
        const int n = answers;
        return QStringLiteral(
                   "node_cpu_seconds_total{cpu=\"0\",mode=\"user\"} %1\n"
                   "node_cpu_seconds_total{cpu=\"0\",mode=\"idle\"} %2\n"
                   "node_network_receive_bytes_total{device=\"eth0\"} %3\n"
                   "node_memory_MemTotal_bytes 1000\nnode_memory_MemAvailable_bytes 400\n")
            .arg(n * 3)
            .arg(n * 7)
            .arg(n * 1000)
            .toUtf8();
    }
    int answers = 0;
    int requests = 0;
    QByteArray lastQuery;      // "?…", decoded
    bool stalled = false;      // /metrics falls silent
    bool healed = false;       // /missing answers as /metrics
    QByteArray redirectTarget; // of /astray
};

// The network graph's clock, at a fast pace: each tick reads the last
// answer and asks again.
bool tickUntil(RemoteHost& host, const std::function<bool()>& done, int ms = 3000) {
    return QTest::qWaitFor(
        [&] {
            host.fetch();
            return done();
        },
        ms);
}

class RemoteHostTest : public ::testing::Test {
protected:
    TestSettings settings;
};

TEST_F(RemoteHostTest, TheGroupSaysHowTheMachineAnswers) {
    FakeServer server;
    ASSERT_TRUE(server.isListening());
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const QUrl nobody =
        QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(closed.serverPort()));
    closed.close();
    server.redirectTarget = nobody.toEncoded();
    struct Case {
        QUrl url;
        RemoteHost::State state;
        const char* title;
    };
    FakeServer::bomb();
    const Case cases[] = {
        {server.url("/metrics"), RemoteHost::State::Answering, "127.0.0.1"},
        {server.url("/missing"), RemoteHost::State::NotUnderstood, "not understood"},
        {server.url("/page"), RemoteHost::State::NotUnderstood, "not understood"},
        {server.url("/huge"), RemoteHost::State::NotUnderstood, "not understood"},
        {server.url("/bomb"), RemoteHost::State::NotUnderstood, "not understood"},
        {nobody, RemoteHost::State::NoAnswer, "no answer"},
        {server.url("/away"), RemoteHost::State::NoAnswer, "no answer"},
        {server.url("/astray"), RemoteHost::State::NoAnswer, "no answer"},
        {server.url("/silent"), RemoteHost::State::NoAnswer, "no answer"},
        {server.url("/trickle"), RemoteHost::State::NoAnswer, "no answer"},
        {server.url("/chunked"), RemoteHost::State::NoAnswer, "no answer"},
    };
    for (const Case& c : cases) {
        RemoteHost host(c.url);
        EXPECT_EQ(host.views().front()->graphTitle(), "connecting…");
        // The program goes on meanwhile: a timer of the window's keeps its beat
        // (at half its pace at least, on a machine busy with other work).
        int beats = 0;
        QTimer beat;
        QObject::connect(&beat, &QTimer::timeout, [&beats] { ++beats; });
        beat.start(50);
        QElapsedTimer waited;
        waited.start();
        host.fetch();
        ASSERT_TRUE(QTest::qWaitFor([&] { return host.state() != RemoteHost::State::Connecting; },
                                    RemoteHost::timeoutMs + 1000))
            << c.url.toString();
        EXPECT_GE(beats, int(waited.elapsed() / 100) - 3) << c.url.toString();
        EXPECT_EQ(host.state(), c.state) << c.url.toString();
        EXPECT_EQ(host.views().front()->graphTitle(), c.title);
        EXPECT_EQ(host.views().back()->isGreyed(), c.state != RemoteHost::State::Answering);
    }

    // What is said of a machine never names its user or password.
    {
        testing::internal::CaptureStderr();
        QUrl secret = server.url("/missing");
        secret.setUserInfo("alice:hunter2");
        RemoteHost host(secret);
        host.fetch();
        ASSERT_TRUE(QTest::qWaitFor([&] { return host.state() != RemoteHost::State::Connecting; }));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("/missing: not understood."), std::string::npos) << said;
        EXPECT_EQ(said.find("alice"), std::string::npos) << said;
        EXPECT_EQ(host.views().front()->graphTitle(), "not understood");
    }

    // A machine removed while it is asked says nothing of it.
    {
        testing::internal::CaptureStderr();
        {
            RemoteHost removed(server.url("/silent"));
            removed.fetch();
            QTest::qWait(100);
        }
        QTest::qWait(100);
        EXPECT_EQ(testing::internal::GetCapturedStderr().find("no answer"), std::string::npos);
    }

    // Two answers make a sample: 3 of every 10 seconds were the user's, and
    // 1,000 bytes came in over the time between the two requests.
    RemoteHost host(server.url("/metrics"));
    const RemoteGraphView& cpu = *host.views().front();
    QTest::qWait(300); // a first request later than the host's start
    // The seconds between the requests lie between those the test saw
    // between its calls' ends and those between its calls' starts.
    QElapsedTimer clock;
    clock.start();
    host.fetch();
    const double firstAskedBy = double(clock.nsecsElapsed()) / 1e9;
    QTest::qWait(400);
    const double secondAskedFrom = double(clock.nsecsElapsed()) / 1e9;
    host.fetch(); // reads the first answer, asks again
    const double secondAskedBy = double(clock.nsecsElapsed()) / 1e9;
    QTest::qWait(400);
    host.fetch(); // reads the second, draws
    ASSERT_EQ(cpu.history(0).size(), 1u);
    EXPECT_FLOAT_EQ(cpu.history(0).back(), 0.3f);
    const float bytesIn = host.views()[1]->history(0).back();
    EXPECT_GE(bytesIn, 0.999 * 1000 / secondAskedBy);
    EXPECT_LE(bytesIn, 1.001 * 1000 / (secondAskedFrom - firstAskedBy));
    EXPECT_FLOAT_EQ(host.views()[2]->history(0).back(), 0.6f) << "memory used";
}

// Only the collectors read are asked for, where the address has no query of
// its own; an exporter that refuses the filter is asked for everything, said
// once.
TEST_F(RemoteHostTest, AsksForWhatItReadsAndForEverythingWhereThatIsRefused) {
    FakeServer server;
    const struct {
        const char* path;
        const char* query;
        int requestsToAnswer;
        bool said;
    } cases[] = {
        {"/metrics",
         "?collect[]=cpu&collect[]=meminfo&collect[]=netdev&collect[]=netclass&collect[]="
         "diskstats",
         1, false},
        {"/metrics?name[]=node", "?name[]=node", 1, false},
        {"/refusing", "", 2, true},
    };
    for (const auto& c : cases) {
        const int before = server.requests;
        testing::internal::CaptureStderr();
        RemoteHost host(server.url(c.path));
        ASSERT_TRUE(tickUntil(host, [&] { return host.state() == RemoteHost::State::Answering; }))
            << c.path;
        // The tick that read the answer asked again, on the same terms.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return server.requests - before == c.requestsToAnswer + 1; }, 1000))
            << c.path;
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(server.lastQuery, c.query) << c.path;
        EXPECT_EQ(log.find("asking for all of them") != std::string::npos, c.said) << log;
    }
}

// A machine that keeps failing is asked after 1, 2, 4… s, at most a minute,
// and at the usual pace again from its first good answer; one that falls
// silent is greyed once its newest data is two intervals old.
TEST_F(RemoteHostTest, BacksOffWhileFailingAndGreysStaleData) {
    const std::pair<int, int> waits[] = {{0, 0}, {1, 1}, {2, 2}, {3, 4}, {7, 60}, {100, 60}};
    for (const auto& [failures, seconds] : waits)
        EXPECT_EQ(RemoteHost::backOffSeconds(failures), seconds) << failures;

    FakeServer server;
    RemoteHost failing(server.url("/missing"));
    auto tickFor = [](RemoteHost& host, int milliseconds) {
        QElapsedTimer ticking;
        ticking.start();
        while (ticking.elapsed() < milliseconds) {
            host.fetch();
            QTest::qWait(100);
        }
    };
    tickFor(failing, 3500);
    EXPECT_LE(server.requests, 3) << "asked at 0, 1 and 3 s";
    server.healed = true;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            failing.fetch();
            return failing.state() == RemoteHost::State::Answering;
        },
        5000));
    const int healedAt = server.requests;
    tickFor(failing, 1000);
    EXPECT_GE(server.requests - healedAt, 5) << "back at the usual pace";
    server.healed = false;
    const int failedAgainAt = server.requests;
    tickFor(failing, 1600);
    EXPECT_EQ(server.requests - failedAgainAt, 2) << "a new failure waits the first step again";

    // Answering a whole interval late, but within two: never greyed.
    RemoteHost late(server.url("/late"));
    ASSERT_TRUE(tickUntil(late, [&] { return late.state() == RemoteHost::State::Answering; }));
    bool greyed = false;
    QObject::connect(&late, &RemoteHost::stateChanged, [&greyed] { greyed = true; });
    tickFor(late, 1500);
    EXPECT_FALSE(greyed);

    RemoteHost stalling(server.url("/metrics"));
    ASSERT_TRUE(
        tickUntil(stalling, [&] { return stalling.state() == RemoteHost::State::Answering; }));
    server.stalled = true;
    QElapsedTimer sinceAnswer;
    sinceAnswer.start();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            stalling.fetch();
            return stalling.state() == RemoteHost::State::NoAnswer;
        },
        RemoteHost::timeoutMs + 1000));
    EXPECT_LT(sinceAnswer.elapsed(), RemoteHost::timeoutMs) << "greyed before the deadline";
    EXPECT_TRUE(stalling.views().front()->isGreyed());
}

} // namespace
