// NVML through the same dlopen path as NVIDIA's library, against a stand-in
// that answers, fails, hangs or loses its devices.
#include "kernel/NVMLReader.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString standIn = QStringLiteral(QUORVEL_STAND_IN_NVML);

TEST(NVMLLibrary, LoadsReadsAndSaysWhyNot) {
    QString why;
    EXPECT_FALSE(NVMLLibrary::open(QStringLiteral("/nonexistent/libnvidia-ml.so.1"), &why));
    EXPECT_TRUE(why.contains("No such file")) << why;
    qputenv("QUORVEL_STAND_IN_NVML", "fails");
    EXPECT_FALSE(NVMLLibrary::open(standIn, &why));
    EXPECT_EQ(why, "nvmlInit_v2 failed with 9");

    qputenv("QUORVEL_STAND_IN_NVML", "answers");
    auto nvml = NVMLLibrary::open(standIn, &why);
    ASSERT_TRUE(nvml) << why;
    ASSERT_EQ(nvml->deviceCount(), 2u);
    EXPECT_EQ(nvml->device(1)->name, "Tesla T4");
    EXPECT_EQ(nvml->device(0)->memoryTotal, 24ull << 30);
    const auto reading = nvml->read(0);
    ASSERT_TRUE(reading);
    EXPECT_FLOAT_EQ(*reading->busy, 0.42f);
    EXPECT_EQ(reading->memoryUsed, 6ull << 30);
    EXPECT_EQ(reading->celsius, 61.0f);
    EXPECT_FALSE(nvml->read(2));
    nvml.reset();

    qputenv("QUORVEL_STAND_IN_NVML", "vanishes");
    nvml = NVMLLibrary::open(standIn, &why);
    ASSERT_TRUE(nvml);
    EXPECT_TRUE(nvml->read(0));
    EXPECT_FALSE(nvml->read(0)) << "fallen off the bus";
}

// A driver that never answers holds up neither the graphs nor the quit.
TEST(NVMLReader, AStuckDriverHoldsUpNothing) {
    qputenv("QUORVEL_STAND_IN_NVML", "answers");
    {
        NVMLReader reader(standIn);
        ASSERT_TRUE(QTest::qWaitFor([&] { return reader.settled(); }));
        ASSERT_EQ(reader.devices().size(), 2u);
        reader.reading(1);
        std::optional<GPUReading> reading;
        ASSERT_TRUE(QTest::qWaitFor([&] { return bool(reading = reader.reading(1)); }));
        EXPECT_FLOAT_EQ(*reading->busy, 0.07f);
    }
    qputenv("QUORVEL_STAND_IN_NVML", "hangs");
    QElapsedTimer took;
    took.start();
    {
        NVMLReader reader(standIn);
        ASSERT_TRUE(QTest::qWaitFor([&] { return reader.settled(); }));
        bool stuck = true;
        EXPECT_FALSE(reader.reading(0, &stuck));
        EXPECT_FALSE(stuck);
        QTest::qWait(100);
        EXPECT_FALSE(reader.reading(0, &stuck));
        EXPECT_TRUE(stuck);
    }
    EXPECT_LT(took.elapsed(), 2000) << "a stuck reading thread is left behind, not waited for";
    qputenv("QUORVEL_STAND_IN_NVML", "answers");
}

} // namespace
