#include "kernel/ProcFile.h"
#include "TestSupport.h"
#include "kernel/TemperatureSensors.h"

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// The kept descriptor must give the kernel's current text, not the first one.
TEST(ProcFile, ReadsAProcFileAfreshEachTime) {
    char original[16] = {};
    ASSERT_EQ(prctl(PR_GET_NAME, original), 0);
    ProcFile comm("/proc/self/comm");
    ASSERT_TRUE(comm.read());
    prctl(PR_SET_NAME, "procfile-test");
    const std::string* text = comm.read();
    prctl(PR_SET_NAME, original);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "procfile-test\n");
}

// Fixtures are swapped and removed under a reader between its reads.
TEST(ProcFile, OpensAnOrdinaryFileAnewAndReadsItWhole) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/counters";
    const QByteArray big(20000, 'x'); // more than one read's chunk
    writeFileBytes(path, big);
    ProcFile file(path.toStdString());
    const std::string* text = file.read();
    ASSERT_TRUE(text);
    EXPECT_EQ(text->size(), std::size_t(big.size()));

    writeFileBytes(dir.path() + "/next", "replaced\n");
    ASSERT_TRUE(QFile::remove(path) && QFile::rename(dir.path() + "/next", path));
    text = file.read();
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "replaced\n");

    QFile::remove(path);
    EXPECT_FALSE(file.read());
    EXPECT_EQ(errno, ENOENT);

    // A FIFO in a counter's or a sensor's place (nothing ever writes to it)
    // is refused at once, never waited on.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_FALSE(file.read());
    EXPECT_EQ(errno, EINVAL);
    QDir().mkpath(dir.path() + "/hwmon0");
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.path() + "/hwmon0/name").constData(), 0600), 0);
    writeFileBytes(dir.path() + "/hwmon0/temp1_input", "41000\n");
    const std::vector<TemperatureSensor> sensors = temperatureSensors(dir.path());
    ASSERT_EQ(sensors.size(), 1u);
    EXPECT_EQ(sensors.front().id, "hwmon0/temp1");
}

} // namespace
