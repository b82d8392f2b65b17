#include "graphs/GraphView.h"
#include "RenderSupport.h"
#include "TestSupport.h"
#include "graphs/PlotGeometry.h"
#include "settings/NSUserDefaults-QVExt.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"

#include <QBackingStore>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>

#include <cmath>

#include <gtest/gtest.h>

namespace {

class TestGraph : public GraphView {
public:
    TestGraph() : GraphView(QRect(0, 0, 64, 64)) {}
    void fillEverything(const QColor& c) {
        ImagePainter painter(*this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(QRectF(0, 0, 64, 64), c);
    }
    using GraphView::ImagePainter;
};

int opaquePixels(const QImage& image, int rowFrom, int rowTo) {
    int count = 0;
    for (int y = rowFrom; y < rowTo; ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y).alpha() > 0;
    return count;
}

TEST(GraphView, TitleInTheStripAndAGraphAreaThatClearsAlone) {
    TestSettings settings;
    TestGraph view;
    view.setTitle("CPU #1");
    const QImage& image = view.graphImage();
    ASSERT_EQ(image.size(), QSize(64, 64));
    EXPECT_GT(opaquePixels(image, 0, 12), 20) << "the title is drawn in the top 12 rows";
    // The title's line box ends one unit into the graph area (descenders);
    // below that nothing is drawn.
    EXPECT_EQ(opaquePixels(image, 14, 64), 0);
    view.fillEverything(Qt::red);
    view.clearGraph();
    EXPECT_EQ(opaquePixels(view.graphImage(), 12, 64), 0);
    EXPECT_EQ(opaquePixels(view.graphImage(), 0, 12), 64 * 12) << "the strip is kept";

    // On a screen of another ratio the image follows, and its title is drawn again.
    view.setScreenRatio(2.0);
    EXPECT_EQ(view.graphImage().size(), QSize(128, 128));
    EXPECT_EQ(view.imageSize(), QSizeF(64, 64));
    EXPECT_GT(opaquePixels(view.graphImage(), 0, 24), 40);
}

TEST(GraphView, BackgroundIsCopiedWithItsAlphaNotBlended) {
    TestSettings settings;
    const QColor background(0x20, 0x40, 0x60, 0x80);
    settings.defaults().setObject(QVExtensions::archivedColor(background),
                                  SettingsKeys::BackgroundFillColor);
    TestGraph view;
    QImage target(64, 64, QImage::Format_ARGB32);
    target.fill(QColor(0, 0, 255));
    view.render(&target, QPoint(), QRegion(), QWidget::RenderFlags());
    const QColor seen = target.pixelColor(30, 40);
    EXPECT_EQ(seen.alpha(), 0x80);
    EXPECT_NEAR(seen.red(), 0x20, 1);
    EXPECT_NEAR(seen.green(), 0x40, 1);
    EXPECT_NEAR(seen.blue(), 0x60, 1) << "blended with what was beneath";

    // A changed background shows at the next paint.
    settings.defaults().setObject(QStringLiteral("#ffffffff"), SettingsKeys::BackgroundFillColor);
    view.render(&target, QPoint(), QRegion(), QWidget::RenderFlags());
    EXPECT_EQ(target.pixelColor(30, 40), QColor(Qt::white));
}

// Also run with QT_SCALE_FACTOR 1.1, 1.5 and 2 (see tests/CMakeLists.txt).
TEST(GraphView, ImageCoversTheViewInWholePixelsAtAnyRatio) {
    TestSettings settings;
    TestGraph view;
    const qreal ratio = qGuiApp->devicePixelRatio();
    EXPECT_EQ(view.imageSize(), QSizeF(64, 64)) << "ratio " << ratio;
    EXPECT_EQ(view.graphImage().size(), QSize(qRound(64 * ratio), qRound(64 * ratio)));
    EXPECT_EQ(PlotGeometry::capacity(float(view.imageSize().width())), 62)
        << "every column fits, ratio " << ratio;
    if (ratio == std::floor(ratio)) {
        EXPECT_EQ(view.graphImage().devicePixelRatio(), ratio) << "crisp at whole ratios";
    }
}

// A graph that draws stacked columns it is handed, and notes how much of it
// each paint covered.
class StackedGraph : public GraphView {
public:
    using GraphView::GraphView;
    void draw(const std::deque<float>& low, const std::deque<float>& high, QColor second) {
        drawStackedColumns({{&low, Qt::red}, {&high, second}});
    }
    QRect lastPainted;

protected:
    void paintEvent(QPaintEvent* event) override {
        lastPainted = event->rect();
        GraphView::paintEvent(event);
    }
};

// Fractional heights, so that edges are antialiased.
void tick(int n, std::deque<float>& low, std::deque<float>& high) {
    low.push_back(float((n * 37) % 100) / 250.0f);
    high.push_back(float((n * 53) % 100) / 300.0f);
    if (low.size() > 62) {
        low.pop_front();
        high.pop_front();
    }
}

TEST(GraphView, ColumnsDrawnOneATimeAsTheGraphScrollsMatchAFullDrawing) {
    TestSettings settings;
    for (qreal ratio : {1.0, 2.0, 1.5}) { // 1.5: no whole pixels, every column is drawn
        StackedGraph ticking(QRect(0, 0, 64, 64));
        ticking.setScreenRatio(ratio);
        std::deque<float> low, high;
        for (int n = 0; n < 150; ++n) {
            tick(n, low, high);
            ticking.draw(low, high, n < 120 ? Qt::blue : Qt::green);
        }
        StackedGraph whole(QRect(0, 0, 64, 64));
        whole.setScreenRatio(ratio);
        whole.draw(low, high, Qt::green);
        EXPECT_EQ(ticking.graphImage(), whole.graphImage()) << "ratio " << ratio;
    }
}

// Also run with QT_SCALE_FACTOR 1.5 and 2 (see tests/CMakeLists.txt). The
// window's own copy of the graph, kept up to date a column at a time (its
// other columns moved, not painted), is what painting it whole gives.
TEST(GraphView, WindowShowsWhatAFullRedrawShows) {
    TestSettings settings;
    QWidget window;
    window.setAttribute(Qt::WA_TranslucentBackground);
    window.resize(130, 64);
    auto* graphs = new StackedGraph(QRect(0, 0, 64, 64), &window);
    auto* second = new StackedGraph(QRect(66, 0, 64, 64), &window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    std::deque<float> low, high;
    const qreal ratio = window.devicePixelRatio();
    const bool wholePixels = ratio == std::floor(ratio);
    for (int n = 0; n < 100; ++n) {
        tick(n, low, high);
        graphs->draw(low, high, Qt::blue);
        second->draw(high, low, Qt::green);
        QCoreApplication::processEvents();
        if (wholePixels && n > 0) {
            EXPECT_EQ(graphs->lastPainted.width(), 1) << "tick " << n << ", ratio " << ratio;
        }
    }
    auto shown = [&] { return static_cast<QImage*>(window.backingStore()->paintDevice())->copy(); };
    const QImage ticked = shown();
    graphs->repaint();
    second->repaint();
    EXPECT_EQ(graphs->lastPainted, QRect(0, 0, 64, 64));
    EXPECT_EQ(ticked, shown()) << "ratio " << ratio;
}

} // namespace
