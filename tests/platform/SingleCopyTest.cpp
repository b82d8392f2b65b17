#include "TestSupport.h"
#include "platform/SingleCopy.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

namespace {

// Runs the real program on the offscreen platform with its own runtime and
// config directories.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override { ::chmod(QFile::encodeName(runtime.path()).constData(), 0700); }
    QProcess* start() {
        auto* p = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("XDG_CONFIG_HOME", config.path());
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(QUORVEL_BINARY_DIR "/quorvel"), {});
        processes.emplace_back(p);
        return p;
    }
    void TearDown() override {
        for (auto& p : processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(2000);
            }
        }
    }
    QTemporaryDir runtime, config;
    std::vector<std::unique_ptr<QProcess>> processes;
};

TEST_F(ProgramTest, SecondCopyAsksTheFirstToReopenAndExitsZeroWithinASecond) {
    // The first copy is this test: it holds the lock and listens.
    SingleCopy first(runtime.path());
    ASSERT_TRUE(first.claim());
    ASSERT_TRUE(first.listen());
    QSignalSpy reopened(&first, &SingleCopy::reopenRequested);

    QElapsedTimer clock;
    clock.start();
    QProcess* second = start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return second->state() == QProcess::NotRunning; }, 1000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_TRUE(second->readAllStandardError().contains("Another copy is running."));
    EXPECT_TRUE(QTest::qWaitFor([&] { return reopened.count() == 1; }, 500));
}

TEST_F(ProgramTest, TwoCopiesStartedTogetherLeaveExactlyOne) {
    for (int round = 0; round < 20; ++round) {
        QProcess* a = start();
        QProcess* b = start();
        ASSERT_TRUE(a->waitForStarted(2000));
        ASSERT_TRUE(b->waitForStarted(2000));
        // The loser exits within a second; the winner keeps running.
        (void)QTest::qWaitFor([&] {
            return a->state() == QProcess::NotRunning || b->state() == QProcess::NotRunning;
        }, 3000);
        QTest::qWait(300);
        const int running = (a->state() == QProcess::Running) + (b->state() == QProcess::Running);
        ASSERT_EQ(running, 1) << "round " << round;
        QProcess* loser = a->state() == QProcess::Running ? b : a;
        EXPECT_EQ(loser->exitCode(), 0);
        QProcess* winner = a->state() == QProcess::Running ? a : b;
        winner->terminate();
        ASSERT_TRUE(winner->waitForFinished(3000));
    }
}

TEST_F(ProgramTest, AKilledCopyNeverBlocksTheNextStart) {
    QProcess* first = start();
    ASSERT_TRUE(first->waitForStarted(2000));
    QTest::qWait(700);
    ASSERT_EQ(first->state(), QProcess::Running);
    ::kill(pid_t(first->processId()), SIGKILL);
    ASSERT_TRUE(first->waitForFinished(2000));

    QProcess* next = start();
    ASSERT_TRUE(next->waitForStarted(2000));
    QTest::qWait(1200);
    EXPECT_EQ(next->state(), QProcess::Running) << next->readAllStandardError().toStdString();
}

class TerminationTest : public ProgramTest, public ::testing::WithParamInterface<int> {};

TEST_P(TerminationTest, SignalRunsTheOrderlyShutdown) {
    QProcess* program = start();
    ASSERT_TRUE(program->waitForStarted(2000));
    QTest::qWait(1000);
    ASSERT_EQ(program->state(), QProcess::Running);
    ::kill(pid_t(program->processId()), GetParam());
    ASSERT_TRUE(program->waitForFinished(3000));
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->exitCode(), 0);
    // Termination takes the network graph down, which stops its helper.
    const QByteArray log = program->readAllStandardError();
    EXPECT_TRUE(log.contains("NetGraphView dealloc")) << log.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST_F(ProgramTest, OnlyExactReopenRequestsCount) {
    SingleCopy first(runtime.path());
    ASSERT_TRUE(first.claim());
    ASSERT_TRUE(first.listen());
    QSignalSpy reopened(&first, &SingleCopy::reopenRequested);
    for (const QByteArray& junk : {QByteArray("hello\n"), QByteArray("reopen"),
                                   QByteArray(100000, 'x'), QByteArray("reopen\nreopen\n")}) {
        QLocalSocket socket;
        socket.connectToServer(runtime.path() + "/quorvel.socket");
        ASSERT_TRUE(socket.waitForConnected(1000));
        socket.write(junk);
        socket.waitForBytesWritten(1000);
        QTest::qWait(100);
        socket.abort();
    }
    QTest::qWait(200);
    EXPECT_EQ(reopened.count(), 0);
    EXPECT_TRUE(SingleCopy::isReopenRequest(SingleCopy::reopenRequest()));
}

TEST(SingleCopy, RuntimeDirectoryMustBePrivate) {
    QTemporaryDir open;
    ::chmod(QFile::encodeName(open.path()).constData(), 0777);
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(open.path()));
    EXPECT_NE(SingleCopy::runtimeDirectory(), open.path());
    qputenv("XDG_RUNTIME_DIR", "/nonexistent/run");
    const QString fallback = SingleCopy::runtimeDirectory();
    EXPECT_FALSE(fallback.isEmpty());
    qputenv("XDG_RUNTIME_DIR", saved);
}

} // namespace
