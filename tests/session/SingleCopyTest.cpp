#include "session/SingleCopy.h"
#include "ProgramFixture.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

TEST_F(ProgramTest, OnlyExactReopenRequestsCount) {
    SingleCopy first(runtime.path());
    ASSERT_TRUE(first.claim());
    ASSERT_TRUE(first.listen());
    QSignalSpy reopened(&first, &SingleCopy::reopenRequested);
    const QString socketPath = runtime.path() + "/quorvel.socket";
    for (const QByteArray& junk : {QByteArray("hello\n"), QByteArray("reopen"),
                                   QByteArray(100000, 'x'), QByteArray("reopen\nreopen\n")}) {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        ASSERT_TRUE(socket.waitForConnected(1000));
        socket.write(junk);
        socket.waitForBytesWritten(1000);
        QTest::qWait(100);
        socket.abort();
    }
    QTest::qWait(200);
    EXPECT_EQ(reopened.count(), 0);
    EXPECT_TRUE(SingleCopy::isReopenRequest(SingleCopy::reopenRequest()));

    // Only the user reaches the socket, and connections held open beyond a
    // few are closed at once.
    EXPECT_EQ(QFileInfo(socketPath).permissions() &
                  (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                   QFile::WriteOther | QFile::ExeOther),
              0);
    std::vector<std::unique_ptr<QLocalSocket>> held;
    for (int i = 0; i < SingleCopy::maxOpenConnections + 4; ++i) {
        held.push_back(std::make_unique<QLocalSocket>());
        held.back()->connectToServer(socketPath);
    }
    QTest::qWait(SingleCopy::requestTimeoutMs / 2); // before the silent ones are dropped
    EXPECT_EQ(std::count_if(held.begin(), held.end(),
                            [](const auto& socket) {
                                return socket->state() == QLocalSocket::UnconnectedState;
                            }),
              4);
}

TEST_F(ProgramTest, SomethingElseAtTheSocketsPlaceIsLeftAloneAndSaidSo) {
    const QString socketPath = runtime.path() + "/quorvel.socket";
    for (const bool directory : {true, false}) {
        SCOPED_TRACE(directory ? "a directory" : "a file");
        if (directory)
            QDir().mkdir(socketPath);
        else
            writeFileBytes(socketPath, "mine");
        SingleCopy first(runtime.path());
        ASSERT_TRUE(first.claim());
        testing::internal::CaptureStderr();
        EXPECT_FALSE(first.listen());
        EXPECT_NE(testing::internal::GetCapturedStderr().find("is not a socket"),
                  std::string::npos);

        QProcess* second = start();
        ASSERT_TRUE(second->waitForFinished(SingleCopy::handOverTimeoutMs + 2000));
        EXPECT_EQ(second->exitCode(), 1);
        EXPECT_TRUE(second->readAllStandardError().contains("quorvel.socket is not a socket"));
        EXPECT_EQ(QFileInfo(socketPath).isDir(), directory);
        if (!directory) {
            EXPECT_EQ(readFileBytes(socketPath), "mine");
        }
        QFile::remove(socketPath);
        QDir().rmdir(socketPath);
    }
}

// Every copy started with the same environment meets in the same private
// folder: a folder open to others is not used, one named but missing is made,
// and without the variable a folder of the user's own stands in.
TEST(SingleCopy, RuntimeDirectoryIsPrivateAndTheSameForEveryCopy) {
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
    EXPECT_NE(SingleCopy::runtimeDirectory(), dir.path());
    const QString missing = dir.path() + "/missing";
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(missing));
    EXPECT_EQ(SingleCopy::runtimeDirectory(), missing);
    EXPECT_EQ(QFileInfo(missing).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
    qunsetenv("XDG_RUNTIME_DIR");
    const QString standIn = SingleCopy::runtimeDirectory();
    EXPECT_FALSE(standIn.isEmpty());
    EXPECT_EQ(SingleCopy::runtimeDirectory(), standIn);
    qputenv("XDG_RUNTIME_DIR", saved);
}

} // namespace
