// The whole program as a process: one copy, the ways it ends, what it
// withstands at its socket and settings file.
#include "ProgramFixture.h"
#include "TestSupport.h"
#include "session/SingleCopy.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

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
        (void)QTest::qWaitFor(
            [&] {
                return a->state() == QProcess::NotRunning || b->state() == QProcess::NotRunning;
            },
            3000);
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

// A copy whose main thread never comes back to the event loop (a read of a
// hung file system): a second start says it does not answer and fails; SIGTERM
// still ends the stuck copy within two seconds, and its socket is no obstacle
// to the next start.
TEST_F(ProgramTest, AStuckCopyIsReportedAndEndsWithinTwoSecondsOfSigterm) {
    qputenv("QUORVEL_TEST_STALL_MAIN_THREAD", "1");
    QProcess* stuck = start();
    qunsetenv("QUORVEL_TEST_STALL_MAIN_THREAD");
    ASSERT_TRUE(stuck->waitForStarted(2000));
    QTest::qWait(1000);
    ASSERT_EQ(stuck->state(), QProcess::Running);

    QProcess* second = start();
    ASSERT_TRUE(second->waitForFinished(SingleCopy::handOverTimeoutMs + 3000));
    EXPECT_NE(second->exitCode(), 0);
    EXPECT_TRUE(second->readAllStandardError().contains("does not answer"));

    QElapsedTimer sinceSignal;
    sinceSignal.start();
    ::kill(pid_t(stuck->processId()), SIGTERM);
    ASSERT_TRUE(stuck->waitForFinished(4000));
    EXPECT_LT(sinceSignal.elapsed(), 2600);

    QProcess* next = start();
    ASSERT_TRUE(next->waitForStarted(2000));
    QTest::qWait(1200);
    EXPECT_EQ(next->state(), QProcess::Running) << next->readAllStandardError().toStdString();
}

long residentKilobytes(qint64 pid) {
    const QByteArray status = readFileBytes(QStringLiteral("/proc/%1/status").arg(pid));
    const qsizetype at = status.indexOf("VmRSS:");
    return at < 0 ? -1
                  : status.mid(at + 6, status.indexOf('\n', at) - at - 6)
                        .trimmed()
                        .split(' ')[0]
                        .toLong();
}

TEST_F(ProgramTest, AFloodOnTheReopenSocketCostsNoLastingMemory) {
    QProcess* program = start();
    const QString socketPath = runtime.path() + "/quorvel.socket";
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(socketPath); }, 5000));
    QTest::qWait(1500);
    const long before = residentKilobytes(program->processId());

    // Hundreds of connections held open, each sending more than a request.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 4096);
    ::setrlimit(RLIMIT_NOFILE, &files);
    std::vector<std::unique_ptr<QLocalSocket>> flood;
    int connected = 0;
    for (int i = 0; i < 1500; ++i) {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(socketPath);
        if (socket->waitForConnected(100)) {
            socket->write(QByteArray(16384, 'x'));
            ++connected;
        }
        flood.push_back(std::move(socket));
        if (i % 50 == 0)
            QTest::qWait(10);
    }
    QTest::qWait(300);
    const long during = residentKilobytes(program->processId());
    flood.clear();
    QTest::qWait(1500);
    const long after = residentKilobytes(program->processId());
    EXPECT_GT(connected, 100);
#ifndef __SANITIZE_ADDRESS__ // whose allocator keeps what is freed in quarantine
    EXPECT_LT(during - before, 2048) << before << " kB before, " << during << " kB during";
    EXPECT_LT(after - before, 2048) << before << " kB before, " << after << " kB after";
#else
    (void)during, (void)after, (void)before;
#endif

    // And it still answers.
    SingleCopy second(runtime.path());
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(second.sendReopen(1000));
    EXPECT_EQ(program->state(), QProcess::Running);
}

// A settings file of garbage: it runs on the defaults, says so, and leaves
// the file as it is, through its start and its end.
TEST_F(ProgramTest, ASettingsFileOfGarbageIsLeftAsItIs) {
    const QString settingsPath = config.path() + "/Quorvel/Quorvel.conf";
    QDir().mkpath(config.path() + "/Quorvel");
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919 + 13) % 256);
    writeFileBytes(settingsPath, garbage);
    QProcess* program = start();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QFileInfo::exists(runtime.path() + "/quorvel.socket"); }, 5000));
    program->terminate();
    ASSERT_TRUE(program->waitForFinished(3000));
    EXPECT_TRUE(program->readAllStandardError().contains("cannot be read"));
    EXPECT_EQ(readFileBytes(settingsPath), garbage);
}

// Under a file-size limit that its log, sent to a file, crosses at once, it
// runs and ends as ever: the writes fail, the program does not.
TEST_F(ProgramTest, AFileSizeLimitCrossedByItsLogIsNoEnd) {
    const QString logPath = config.path() + "/quorvel.log";
    QProcess* program = start([&](QProcess& p) {
        p.setStandardErrorFile(logPath);
        p.setChildProcessModifier([] {
            const rlimit eightBytes{8, 8};
            ::setrlimit(RLIMIT_FSIZE, &eightBytes);
        });
    });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QFileInfo::exists(runtime.path() + "/quorvel.socket"); }, 5000))
        << "it did not start";
    program->terminate();
    ASSERT_TRUE(program->waitForFinished(3000));
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->exitCode(), 0);
    EXPECT_EQ(QFileInfo(logPath).size(), 8) << "the limit held";
}

TEST_F(ProgramTest, AFifoInPlaceOfTheSettingsFileNeverHangsIt) {
    const QString settingsPath = config.path() + "/Quorvel/Quorvel.conf";
    QDir().mkpath(config.path() + "/Quorvel");
    ASSERT_EQ(::mkfifo(QFile::encodeName(settingsPath).constData(), 0600), 0);
    QProcess* program = start();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QFileInfo::exists(runtime.path() + "/quorvel.socket"); }, 5000))
        << "it did not start";
    // A second start hands over as ever.
    QProcess* second = start();
    ASSERT_TRUE(second->waitForFinished(2000));
    EXPECT_EQ(second->exitCode(), 0);

    // A FIFO put there while it runs, then a change of the settings' folder.
    ASSERT_EQ(::unlink(QFile::encodeName(settingsPath).constData()), 0);
    writeFileBytes(settingsPath, "[General]\nNetScale=3\n");
    QTest::qWait(300);
    ASSERT_EQ(::unlink(QFile::encodeName(settingsPath).constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(settingsPath).constData(), 0600), 0);
    writeFileBytes(config.path() + "/Quorvel/other", "x");
    QTest::qWait(500);
    program->terminate();
    ASSERT_TRUE(program->waitForFinished(3000)) << "it hangs";
    EXPECT_EQ(program->exitCode(), 0);
    EXPECT_TRUE(program->readAllStandardError().contains("it is a FIFO, not a regular file"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(settingsPath).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

} // namespace
