#include "graphs/NetGraphView.h"
#include "RenderSupport.h"
#include "TestSupport.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <gtest/gtest.h>

namespace {

class NetGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.defaults().setObjects({{SettingsKeys::NetIncomingFillColor, "#ff0000ff"},
                                        {SettingsKeys::NetOutgoingFillColor, "#0000ffff"},
                                        {SettingsKeys::NetScale, 6},
                                        {SettingsKeys::NetInterval, 1}});
        NetGraphView::setHelperPath(QStringLiteral(QUORVEL_BINARY_DIR "/quorvel-netstat"));
    }
    void TearDown() override { NetGraphView::setHelperPath({}); }
    static QByteArray line(std::uint64_t in, std::uint64_t out) {
        return "        12     0 " + QByteArray::number(in) + "         10     0 " +
               QByteArray::number(out) + "     0\n";
    }
    TestSettings settings;
};

TEST_F(NetGraphTest, ScaleSixGivesBarsOf12_75And25_5Units) {
    NetGraphView view(QRect(0, 0, 64, 64));
    view._readFromNetstat(line(999, 999));
    view._readFromNetstat(line(999999, 999999));
    const QImage& image = view.graphImage();
    // Sample 0 (pixel column 1), 999 B/s: h = 12.75.
    // Incoming from y 51 down to 38.25: rows 39..50 full, row 38 three quarters.
    EXPECT_EQ(pixelUp(image, 1, 50), QColor(Qt::red));
    EXPECT_EQ(pixelUp(image, 1, 39), QColor(Qt::red));
    EXPECT_NEAR(pixelUp(image, 1, 38).alpha(), 191, 4);
    EXPECT_TRUE(isClear(image, 1, 37));
    EXPECT_TRUE(isClear(image, 1, 51)) << "incoming bars start one unit below the strip";
    // Outgoing from y 1 up to 13.75.
    EXPECT_TRUE(isClear(image, 1, 0));
    EXPECT_EQ(pixelUp(image, 1, 1), QColor(Qt::blue));
    EXPECT_EQ(pixelUp(image, 1, 12), QColor(Qt::blue));
    EXPECT_NEAR(pixelUp(image, 1, 13).alpha(), 191, 4);
    EXPECT_TRUE(isClear(image, 1, 14));
    // Sample 1 (pixel column 2), 999999 B/s: h = 25.5; the bars overlap by one
    // unit, outgoing drawn last.
    EXPECT_EQ(pixelUp(image, 2, 27), QColor(Qt::red));
    const QColor overlap = pixelUp(image, 2, 26); // half blue over red
    EXPECT_NEAR(overlap.red(), 128, 4);
    EXPECT_NEAR(overlap.blue(), 127, 4);
    EXPECT_EQ(pixelUp(image, 2, 25), QColor(Qt::blue));
    EXPECT_EQ(pixelUp(image, 2, 1), QColor(Qt::blue));
    EXPECT_TRUE(isClear(image, 0, 30));
    EXPECT_TRUE(isClear(image, 3, 30));
}

TEST_F(NetGraphTest, RatesDependOnTheInterval) {
    settings.defaults().setObject(2, SettingsKeys::NetInterval);
    NetGraphView view(QRect(0, 0, 64, 64));
    view._startNetstat(); // the helper's output is not read: no event loop runs here
    view._readFromNetstat(line(900, 3));
    ASSERT_EQ(view.inBpsArray().size(), 1u);
    EXPECT_EQ(view.inBpsArray()[0], 450.0f);
    EXPECT_EQ(view.outBpsArray()[0], 1.5f);
    view._stopNetstat();
}

TEST_F(NetGraphTest, HeadingsAndTextGiveNoSampleEmptyChunkEndsReading) {
    NetGraphView view(QRect(0, 0, 64, 64));
    view._readFromNetstat("            input        (Total)           output\n");
    view._readFromNetstat("\n  \n");
    EXPECT_TRUE(view.inBpsArray().empty());
    view._readFromNetstat(line(5, 5));
    EXPECT_EQ(view.inBpsArray().size(), 1u);
    // Two lines in one read are two samples; a line cut by a read waits for
    // its end.
    const QByteArray two = line(6, 6) + line(7, 7);
    view._readFromNetstat(two + line(8, 8).first(10));
    EXPECT_EQ(view.inBpsArray().size(), 3u);
    view._readFromNetstat(line(8, 8).sliced(10));
    ASSERT_EQ(view.inBpsArray().size(), 4u);
    EXPECT_FLOAT_EQ(view.inBpsArray().back(), 8.0f);
    view._readFromNetstat(QByteArray());
    view._readFromNetstat(line(5, 5));
    EXPECT_EQ(view.inBpsArray().size(), 4u) << "nothing is read after the output ended";
}

// A helper that is missing or cannot be run is said once (not at each try
// to start it again), and the graph stays empty; taking it out still works.
TEST_F(NetGraphTest, AHelperThatCannotRunIsSaidOnceAndTheGraphStaysEmpty) {
    QTemporaryDir dir;
    const QString notExecutable = dir.path() + "/quorvel-netstat";
    writeFileBytes(notExecutable, "#!/bin/sh\n");
    NetGraphView::setFirstRestartDelay(100);
    for (const QString& helper : {QStringLiteral("/nonexistent/quorvel-netstat"), notExecutable}) {
        NetGraphView::setHelperPath(helper);
        QWidget window;
        auto* view = new NetGraphView(QRect(0, 0, 64, 64));
        testing::internal::CaptureStderr();
        view->addToContentView(&window);
        QTest::qWait(500);
        const QString log = QString::fromStdString(testing::internal::GetCapturedStderr());
        EXPECT_EQ(log.count("Cannot start the network helper " + helper), 1) << log.toStdString();
        EXPECT_TRUE(view->inBpsArray().empty());
        view->removeFromSuperview();
        EXPECT_EQ(view->task(), nullptr);
        delete view;
    }
    NetGraphView::setFirstRestartDelay(5000);
}

// The real helper runs while the graph is in a window, is started again when
// it dies, and is gone once the graph leaves the window.
TEST_F(NetGraphTest, RunsTheRealHelperAndStartsItAgainWhenItDies) {
    NetGraphView::setFirstRestartDelay(200);
    QWidget window;
    auto* view = new NetGraphView(QRect(0, 0, 64, 64));
    view->addToContentView(&window);
    ASSERT_NE(view->task(), nullptr);
    ASSERT_TRUE(view->task()->waitForStarted(2000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->inBpsArray().empty(); }, 3500))
        << "one interval line arrives after a second";
    const qint64 first = view->task()->processId();
    const std::size_t kept = view->inBpsArray().size();

    testing::internal::CaptureStderr();
    ::kill(pid_t(first), SIGKILL);
    const bool restarted = QTest::qWaitFor(
        [&] {
            return view->task() && view->task()->processId() != first &&
                   view->task()->processId() > 0;
        },
        3000);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(restarted);
    EXPECT_NE(log.find("The network helper was killed; starting it again"), std::string::npos)
        << log;
    EXPECT_GE(view->inBpsArray().size(), kept) << "the history stays";
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->inBpsArray().size() > kept; }, 3500))
        << "and grows again";
    const qint64 second = view->task()->processId();
    view->removeFromSuperview();
    EXPECT_EQ(view->task(), nullptr);
    EXPECT_NE(::kill(pid_t(second), 0), 0) << "the helper is gone";
    delete view;
    NetGraphView::setFirstRestartDelay(5000);
}

TEST_F(NetGraphTest, BarsDrawnOneATimeAsTheGraphScrollsMatchAFullDrawing) {
    NetGraphView ticking(QRect(0, 0, 64, 64));
    NetGraphView whole(QRect(0, 0, 64, 64));
    for (int tick = 0; tick < 100; ++tick) {
        const QByteArray sample =
            line(std::uint64_t(tick * 7919 % 100000), std::uint64_t(tick * 104729 % 5000));
        ticking._readFromNetstat(sample);
        // The other graph draws everything at its last tick: the scale
        // changed for it and back.
        if (tick == 99)
            settings.defaults().setObject(7, SettingsKeys::NetScale);
        whole._readFromNetstat(sample);
    }
    settings.defaults().setObject(6, SettingsKeys::NetScale);
    whole._readFromNetstat(line(5, 5));
    ticking._readFromNetstat(line(5, 5));
    EXPECT_EQ(ticking.graphImage(), whole.graphImage());
}

} // namespace
