// Other machines through Debian's real prometheus: started on loopback with a
// configuration of its own, scraping two node_exporters and itself every
// second.
#include "remote/PrometheusFleet.h"
#include "ControllerFixture.h"
#include "graphs/RemoteGraphView.h"
#include "remote/HttpClient.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <numeric>

namespace {

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// One exporter's counters now, as Quorvel reads them from it.
std::optional<NodeMetrics> countersOf(quint16 port) {
    HttpClient client(4 << 20, 3000);
    std::optional<NodeMetrics> metrics;
    bool done = false;
    client.get(QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port)),
               [&](const HttpClient::Answer& answer) {
                   metrics = parseNodeMetrics(answer.body.toStdString());
                   done = true;
               });
    if (!QTest::qWaitFor([&] { return done; }, 4000))
        return std::nullopt;
    return metrics;
}

double meanOf(const std::deque<float>& history, std::size_t last) {
    last = std::min(last, history.size());
    return std::accumulate(history.end() - std::ptrdiff_t(last), history.end(), 0.0) /
           double(std::max<std::size_t>(last, 1));
}

// A server that answers the fleet's queries with the recorded answers, and
// refuses them (503, with Prometheus's own error) while failing is set.
class RecordedPrometheus : public QTcpServer {
public:
    RecordedPrometheus() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray path =
                        socket->readAll().split(' ').value(1).split('?').value(0);
                    ++asked[path];
                    const QByteArray body = readFileBytes(fixturePath(
                        failing                        ? QStringLiteral("prometheus/error.json")
                        : path.endsWith("query_range") ? QStringLiteral("prometheus/matrix.json")
                                                       : QStringLiteral("prometheus/vector.json")));
                    socket->write("HTTP/1.1 " + QByteArray(failing ? "503" : "200") +
                                  " X\r\nContent-Length: " + QByteArray::number(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
        });
        listen(QHostAddress::LocalHost);
    }
    std::map<QByteArray, int> asked;
    bool failing = false;
};

// Asked at the pace its address gives. A failing server is said once however
// often it fails, and its first good answer brings the pace back. A limit
// the groups already keep lays nothing out again (the new layout would set
// the limit again, without end).
TEST(PrometheusFleet, KeepsItsPaceSaysAFailureOnceAndKeepsALimitQuietly) {
    TestSettings settings;
    RecordedPrometheus server;
    PrometheusFleet fleet(QUrl(
        QStringLiteral("prometheus+http://127.0.0.1:%1/?interval=2s").arg(server.serverPort())));
    QSignalSpy layouts(&fleet, &PrometheusFleet::groupsChanged);
    // The network graph's ticks, ten a second, until the server has been
    // asked more queries, or for a while: how many it was asked.
    const auto ticks = [&](int moreQueries, int ms) {
        const int before = server.asked["/api/v1/query"];
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms && server.asked["/api/v1/query"] - before < moreQueries) {
            fleet.fetch();
            QTest::qWait(100);
        }
        return server.asked["/api/v1/query"] - before;
    };
    fleet.setGroupLimit(1);
    EXPECT_EQ(layouts.count(), 0);
    fleet.setGroupLimit(8);
    ASSERT_EQ(ticks(1, 5000), 1);
    fleet.fetch(); // the answer is read at the next tick
    ASSERT_EQ(fleet.instances().size(), 2);
    layouts.clear();
    fleet.setGroupLimit(2);
    EXPECT_EQ(layouts.count(), 0);

    server.failing = true;
    testing::internal::CaptureStderr();
    const int failures = ticks(3, 10000);
    fleet.fetch();
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_EQ(failures, 3);
    EXPECT_EQ(QString::fromStdString(log).count(QStringLiteral("not understood")), 1) << log;

    server.failing = false;
    ASSERT_EQ(ticks(1, 6000), 1);
    const int queries = ticks(99, 4000);
    EXPECT_GE(queries, 1);
    EXPECT_LE(queries, 3) << "once every two seconds again";
}

class PrometheusFleetOnThisMachine : public ::testing::Test {
protected:
    void SetUp() override {
        const QString exporter =
            QStandardPaths::findExecutable(QStringLiteral("prometheus-node-exporter"));
        const QString prometheus = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
        ASSERT_FALSE(exporter.isEmpty()) << "prometheus-node-exporter is not installed";
        ASSERT_FALSE(prometheus.isEmpty()) << "prometheus is not installed";
        ASSERT_TRUE(work.isValid());
        for (int i = 0; i < 2; ++i) {
            exporterPorts[i] = freePort();
            exporters[i].setProcessChannelMode(QProcess::ForwardedErrorChannel);
            exporters[i].start(
                exporter,
                {QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(exporterPorts[i]),
                 QStringLiteral("--collector.disable-defaults"), QStringLiteral("--collector.cpu"),
                 QStringLiteral("--collector.netdev"), QStringLiteral("--collector.meminfo"),
                 QStringLiteral("--collector.diskstats"), QStringLiteral("--collector.uname")});
            ASSERT_TRUE(exporters[i].waitForStarted());
        }
        serverPort = freePort();
        writeFileBytes(work.filePath(QStringLiteral("prometheus.yml")),
                       QStringLiteral("global:\n  scrape_interval: 1s\n"
                                      "scrape_configs:\n"
                                      "  - job_name: node\n"
                                      "    static_configs:\n"
                                      "      - targets: ['127.0.0.1:%1', '127.0.0.1:%2']\n"
                                      "  - job_name: prometheus\n"
                                      "    static_configs:\n"
                                      "      - targets: ['127.0.0.1:%3']\n")
                           .arg(exporterPorts[0])
                           .arg(exporterPorts[1])
                           .arg(serverPort)
                           .toUtf8());
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(
            prometheus,
            {QStringLiteral("--config.file=") + work.filePath(QStringLiteral("prometheus.yml")),
             QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(serverPort),
             QStringLiteral("--storage.tsdb.path=") + work.filePath(QStringLiteral("data")),
             QStringLiteral("--log.level=warn")});
        ASSERT_TRUE(server.waitForStarted());
        // Some seconds of scrapes, for a history to fill the graphs with.
        QTest::qWait(8000);
    }
    void TearDown() override {
        for (QProcess* process : {&server, &exporters[0], &exporters[1]}) {
            process->terminate();
            process->waitForFinished();
        }
    }

    QString instance(int i) const { return QStringLiteral("127.0.0.1:%1").arg(exporterPorts[i]); }

    QTemporaryDir work;
    QProcess exporters[2];
    quint16 exporterPorts[2] = {};
    QProcess server;
    quint16 serverPort = 0;
};

TEST_F(PrometheusFleetOnThisMachine, ShowsEachMachineFilledAgreeingAndDown) {
    const QString address = QStringLiteral("prometheus+http://127.0.0.1:%1/").arg(serverPort);
    TestSettings settings;
    settings.defaults().setObjects(
        {{SettingsKeys::RemoteHosts,
          QStringList{address + QStringLiteral("?match=%7Bjob%3D%22node%22%7D"),
                      // a selector of another metric, and a pace of its own
                      address + QStringLiteral("?match=node_uname_info%7Binstance%3D%22") +
                          instance(1) + QStringLiteral("%22%7D&interval=2s")}}});
    NetGraphView::setHelperPath(QStringLiteral(QUORVEL_BINARY_DIR "/quorvel-netstat"));
    auto ui = MainInterface::load(settings.defaults(), nullptr);
    ui->controller().applicationDidFinishLaunching();
    ASSERT_EQ(ui->controller().fleets().size(), 2u);
    const PrometheusFleet& fleet = *ui->controller().fleets()[0];
    const PrometheusFleet& one = *ui->controller().fleets()[1];
    ASSERT_TRUE(QTest::qWaitFor([&] { return fleet.instances().size() == 2; }, 8000));
    QStringList both{instance(0), instance(1)};
    both.sort();
    EXPECT_EQ(fleet.instances(), both) << "the server itself has no processor metrics: no group";
    EXPECT_GE(fleet.views().front()->history(0).size(), 3u) << "the history filled at once";
    ASSERT_TRUE(QTest::qWaitFor([&] { return one.instances().size() == 1; }, 8000));
    EXPECT_EQ(one.instances(), QStringList{instance(1)});
    EXPECT_EQ(one.intervalSeconds(), 2);
    EXPECT_EQ(fleet.intervalSeconds(), 1) << "the server's scrape interval";
    // Every group is laid out in the window, after the machine's own graphs.
    QTest::qWait(100);
    for (const PrometheusFleet* each : {&fleet, &one})
        for (RemoteGraphView* view : each->views())
            EXPECT_TRUE(view->isVisible());

    // A load, and the exporter's own counters around it. A column shows the
    // rate between the server's last two scrapes before a query, and comes at
    // the tick after the query: about two seconds after the middle of the
    // time it stands for. The columns compared are those two seconds later.
    QProcess busy;
    busy.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
    QTest::qWait(3500);
    const std::optional<NodeMetrics> before = countersOf(exporterPorts[0]);
    QElapsedTimer window;
    window.start();
    QTest::qWait(2000);
    const std::size_t columnsBefore = fleet.views().front()->history(0).size();
    QTest::qWait(4000);
    const std::optional<NodeMetrics> after = countersOf(exporterPorts[0]);
    const double seconds = double(window.elapsed()) / 1000;
    busy.kill();
    busy.waitForFinished();
    QTest::qWait(2000);
    ASSERT_TRUE(before && after);
    const NodeRates own = nodeRates(*before, *after, seconds);
    const std::size_t first = 4 * std::size_t(fleet.instances().indexOf(instance(0)));
    const RemoteGraphView& cpu = *fleet.views()[first];
    const std::size_t columns = cpu.history(0).size() - columnsBefore;
    ASSERT_GE(columns, 4u);
    const double load = meanOf(cpu.history(0), columns) + meanOf(cpu.history(1), columns) +
                        meanOf(cpu.history(2), columns);
    EXPECT_NEAR(load, *own.user + *own.system + *own.nice, 0.08) << "over " << columns << " s";
    EXPECT_NEAR(meanOf(fleet.views()[first + 1]->history(0), columns), own.inBytes,
                0.25 * own.inBytes + 20'000);

    // One exporter stops: its group is greyed as down after the next scrape,
    // the other's goes on.
    exporters[1].terminate();
    exporters[1].waitForFinished();
    const RemoteGraphView& second = *fleet.views()[4 - first];
    const RemoteGraphView& going = cpu;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return second.isGreyed() && one.views().front()->isGreyed(); }, 8000));
    EXPECT_EQ(second.graphTitle(), QStringLiteral("down"));
    EXPECT_FALSE(going.isGreyed());
    EXPECT_TRUE(going.graphTitle().endsWith(QString::number(exporterPorts[0])))
        << "two machines on one host are told apart by their ports: " << going.graphTitle();
    ui.reset();
    NetGraphView::setHelperPath({});
}

} // namespace
