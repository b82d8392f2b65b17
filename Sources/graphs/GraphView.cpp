#include "graphs/GraphView.h"

#include "graphs/PlotGeometry.h"
#include "graphs/SampleClock.h"
#include "kernel/ProcFile.h"
#include "session/SystemLog.h"
#include "settings/NSUserDefaults-QVExt.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"
#include "statwindow/FloatingWindow.h"

#include <QGuiApplication>

#include <cerrno>
#include <cmath>
#include <cstring>

GraphView::GraphView(const QRect& frame, QWidget* parent) : QWidget(parent) {
    setGeometry(frame);
    // Every pixel is set by paintEvent, alpha included.
    setAttribute(Qt::WA_OpaquePaintEvent);
    allocateImage(qGuiApp ? qGuiApp->devicePixelRatio() : 1.0);
    connect(&UserDefaults::standardUserDefaults(), &UserDefaults::didChange, this,
            &GraphView::settingsDidChange);
}

QColor GraphView::settingColor(const QString& key) {
    auto found = settings_.find(key);
    if (found == settings_.end())
        found = settings_.insert(
            key, QVExtensions::unarchivedObjectForKey(UserDefaults::standardUserDefaults(), key));
    return found->value<QColor>();
}

int GraphView::settingInteger(const QString& key) {
    auto found = settings_.find(key);
    if (found == settings_.end())
        found = settings_.insert(key, UserDefaults::standardUserDefaults().integerForKey(key));
    return found->toInt();
}

void GraphView::allocateImage(qreal screenRatio) {
    screenRatio_ = screenRatio;
    // The image covers the view exactly, in whole pixels: at a fractional
    // ratio (1.1: 64 units are 70.4 pixels) it has the nearest whole number of
    // pixels and a ratio of its own that makes them 64 units again, so every
    // column of the graph fits. At whole ratios that is the screen's ratio, and
    // the graph is crisp.
    const QRect frame = geometry();
    const QSize pixels(std::max(1, qRound(frame.width() * screenRatio)),
                       std::max(1, qRound(frame.height() * screenRatio)));
    graphImage_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    graphImage_.setDevicePixelRatio(frame.width() > 0 ? qreal(pixels.width()) / frame.width()
                                                      : screenRatio);
    graphImage_.fill(Qt::transparent);
    drawnColumns_ = 0;
    painted_ = false;
}

void GraphView::setScreenRatio(qreal ratio) {
    if (ratio <= 0 || qFuzzyCompare(ratio, screenRatio_))
        return;
    // The title now; the graph at its next sample, drawn from its history.
    allocateImage(ratio);
    setTitle(graphTitle_);
    update();
}

namespace {
std::function<void()>& sampleTickHandler() {
    static std::function<void()> handler;
    return handler;
}
} // namespace

void GraphView::setSampleTickHandler(std::function<void()> handler) {
    sampleTickHandler() = std::move(handler);
}

void GraphView::appendToHistory(std::deque<float>& history, float sample) const {
    // Whatever a source sends, a history holds only numbers a column can show.
    history.push_back(std::isfinite(sample) ? sample : 0.0f);
    while (int(history.size()) > PlotGeometry::capacity(float(imageSize().width())))
        history.pop_front();
}

void GraphView::appendAndDrawStacked(const std::vector<StackedSample>& samples) {
    std::vector<StackedSeries> series;
    for (const StackedSample& sample : samples) {
        appendToHistory(*sample.history, sample.share);
        series.push_back({sample.history, settingColor(sample.colorKey)});
    }
    drawStackedColumns(series);
}

const std::string* GraphView::readCounters(ProcFile& file, bool& told, const QString& graph) {
    const std::string* text = file.read();
    if (!text && !std::exchange(told, true))
        systemLog(QStringLiteral("Cannot read %1 (%2); the %3 stays empty.")
                      .arg(QString::fromStdString(file.path()),
                           QString::fromLocal8Bit(std::strerror(errno)), graph));
    return text;
}

void GraphView::drawHangingAndRising(const std::deque<float>& hanging,
                                     const std::deque<float>& rising,
                                     const QString& hangingColorKey, const QString& risingColorKey,
                                     const QString& scaleKey) {
    const float scale = float(settingInteger(scaleKey));
    const float plotHeight = PlotGeometry::plotHeight(float(imageSize().height()), topMargin());
    // All hanging bars, then all rising ones over them.
    const QColor colors[2] = {settingColor(hangingColorKey), settingColor(risingColorKey)};
    const std::deque<float>* series[2] = {&hanging, &rising};
    drawColumns(std::min(hanging.size(), rising.size()), {colors[0], colors[1], scale}, 2,
                [&](QPainter& painter, std::size_t c, int pass) {
                    if (!colors[pass].isValid())
                        return; // no colour to draw this series with
                    const bool fromTop = pass == 0;
                    const float x = PlotGeometry::columnCenter(int(c));
                    const double h =
                        PlotGeometry::netBarLength((*series[pass])[c], scale, plotHeight);
                    const float start = fromTop ? plotHeight : 1.0f;
                    const float end = float(fromTop ? double(plotHeight) - h : 1.0 + h);
                    // The one-unit, flat-ended stroke from start to end, as a filled
                    // rectangle (much cheaper to draw, the same pixels).
                    if (end != start)
                        painter.fillRect(QRectF(QPointF(x - 0.5, std::min(start, end)),
                                                QPointF(x + 0.5, std::max(start, end))),
                                         colors[pass]);
                });
}

void GraphView::drawStackedColumns(const std::vector<StackedSeries>& series) {
    const std::size_t n = series.empty() ? 0 : series.front().shares->size();
    QVariantList style;
    for (const StackedSeries& s : series)
        style << s.color;
    const float plotHeight = PlotGeometry::plotHeight(float(imageSize().height()), topMargin());
    drawColumns(n, style, 1, [&](QPainter& painter, std::size_t c, int) {
        const float x = PlotGeometry::columnCenter(int(c));
        float y = 1.0f;
        for (const StackedSeries& s : series) {
            const float top = y + plotHeight * (*s.shares)[c];
            // A one-unit stroke with flat ends from (x, y) to (x, top) covers
            // exactly this rectangle; filling it is much cheaper than stroking.
            if (top > y && s.color.isValid())
                painter.fillRect(QRectF(x - 0.5, y, 1.0, top - y), s.color);
            y = top;
        }
    });
}

void GraphView::drawColumns(std::size_t count, const QVariantList& style, int passes,
                            const std::function<void(QPainter&, std::size_t, int)>& drawColumn) {
    // Each tick adds one column, and once the graph is full the oldest goes:
    // the image then scrolls by one column and only the newest is drawn. That
    // needs whole pixels per unit and the style the columns already drawn
    // have; anything else draws every column.
    const qreal ratio = graphImage_.devicePixelRatio();
    const int pixelsPerUnit = qRound(ratio);
    const int capacity = PlotGeometry::capacity(float(imageSize().width()));
    const bool wholePixels = pixelsPerUnit > 0 && qFuzzyCompare(ratio, qreal(pixelsPerUnit));
    const bool oneMore = count == drawnColumns_ + 1;
    const bool scrolled = count == drawnColumns_ && int(count) == capacity && count > 0;
    const bool incremental = wholePixels && style == drawnStyle_ && (oneMore || scrolled);
    std::size_t first = 0;
    if (incremental) {
        if (scrolled)
            scrollGraphArea(pixelsPerUnit);
        first = count - 1;
    } else {
        clearGraph();
    }
    drawnColumns_ = count;
    drawnStyle_ = style;

    ImagePainter painter(*this);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int pass = 0; pass < passes; ++pass)
        for (std::size_t c = first; c < count; ++c)
            drawColumn(painter, c, pass);
    painter.end();
    if (incremental)
        columnDrawn(count - 1, scrolled);
    else
        imageDrawn();
}

// Moves the graph area's columns one unit to the left (the oldest drops off)
// and empties the newest column's place.
void GraphView::scrollGraphArea(int pixelsPerUnit) {
    const int firstRow = qRound(topMargin() * pixelsPerUnit);
    const int capacity = PlotGeometry::capacity(float(imageSize().width()));
    const int from = 2 * pixelsPerUnit; // column 1 moves to column 0's place
    const int to = pixelsPerUnit;
    const int bytesPerPixel = 4;
    const qsizetype length = qsizetype(capacity - 1) * pixelsPerUnit * bytesPerPixel;
    const qsizetype newest = qsizetype(capacity) * pixelsPerUnit * bytesPerPixel;
    for (int row = firstRow; row < graphImage_.height(); ++row) {
        uchar* line = graphImage_.scanLine(row);
        std::memmove(line + to * bytesPerPixel, line + from * bytesPerPixel, size_t(length));
        std::memset(line + newest, 0, size_t(pixelsPerUnit * bytesPerPixel));
    }
}

void GraphView::imageDrawn() {
    painted_ = false;
    update();
    if (auto* floating = qobject_cast<FloatingWindow*>(window()))
        floating->contentChanged(true);
}

// Only the column is painted anew. A scroll moves the rest of the plot in the
// window's own copy, which on X11 Qt hands to the server as a copy of what it
// already has, so a tick sends a column (a few hundred bytes) instead of the
// whole window. That holds only while the window's copy is what the image was
// before this change: after a change not painted yet, everything is.
void GraphView::columnDrawn(std::size_t column, bool scrolled) {
    if (!painted_)
        return imageDrawn();
    const int top = qRound(topMargin());
    const int capacity = PlotGeometry::capacity(float(imageSize().width()));
    const int height = qRound(imageSize().height()) - top;
    if (scrolled)
        scroll(-1, 0, QRect(1, top, capacity, height)); // repaints the column it uncovers
    else
        update(QRect(int(column) + 1, top, 1, height));
    if (auto* floating = qobject_cast<FloatingWindow*>(window()))
        floating->contentChanged(false);
}

void GraphView::sampleTicked() {
    if (sampleTickHandler())
        sampleTickHandler()();
}

GraphView::~GraphView() {
    if (sampleInterval_ > 0)
        SampleClock::remove(this, sampleInterval_);
    systemLog(QStringLiteral("GraphView dealloc"));
}

QSizeF GraphView::imageSize() const {
    return graphImage_.deviceIndependentSize();
}

GraphView::ImagePainter::ImagePainter(GraphView& view) : QPainter(&view.graphImage_) {
    translate(0, view.imageSize().height());
    scale(1, -1);
}

void GraphView::clearGraph() {
    drawnColumns_ = 0;
    ImagePainter painter(*this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const QSizeF size = imageSize();
    painter.fillRect(QRectF(0, 0, size.width(), size.height() - topMargin()), Qt::transparent);
}

namespace {

QFont titleFont() {
    QFont font(QStringLiteral("Helvetica"));
    font.setBold(true);
    font.setPixelSize(12);
    return font;
}

QColor titleColor() {
    const QColor color = QVExtensions::unarchivedObjectForKey(UserDefaults::standardUserDefaults(),
                                                              SettingsKeys::TextColor);
    return color.isValid() ? color : QColor(Qt::white); // a title shows even without a setting
}

} // namespace

void GraphView::setTitle(const QString& title) {
    graphTitle_ = title;
    const QColor color = titleColor();
    titleColor_ = color;

    // Text is drawn unflipped: the title's line box has its lower-left corner
    // at (1, H − topMargin − 1) in image units, one unit into the graph area.
    QPainter painter(&graphImage_);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(titleFont());
    painter.setPen(color);
    const qreal lineBoxBottom = topMargin() + 1.0; // y = H − topMargin − 1, counted from the top
    painter.drawText(QPointF(1.0, lineBoxBottom - painter.fontMetrics().descent()), title);
}

QString GraphView::fittedTitle(const QString& name, const QString& suffix) const {
    if (suffix.isEmpty())
        return name;
    const QFontMetricsF metrics(titleFont());
    const qreal room = imageSize().width() - 2.0 - metrics.horizontalAdvance(u' ' + suffix);
    // The last words of a name tell the most ("RTX 4090" → "4090"); what
    // still does not fit is cut short.
    QStringList words = name.split(u' ', Qt::SkipEmptyParts);
    while (words.size() > 1 && metrics.horizontalAdvance(words.join(u' ')) > room)
        words.removeFirst();
    return metrics.elidedText(words.join(u' '), Qt::ElideRight, std::max<qreal>(room, 0.0)) + u' ' +
           suffix;
}

QString GraphView::elidedTitle(const QString& text, Qt::TextElideMode mode) const {
    const QFontMetricsF metrics(titleFont());
    return metrics.elidedText(text, mode, std::max<qreal>(imageSize().width() - 2.0, 0.0));
}

void GraphView::retitle(const QString& title) {
    {
        QPainter painter(&graphImage_);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(QRectF(0, 0, imageSize().width(), topMargin()), Qt::transparent);
    }
    setTitle(title);
    imageDrawn();
}

void GraphView::addToContentView(QWidget* contentView) {
    viewWillMoveToWindow(contentView->window());
    setParent(contentView);
    show();
}

void GraphView::removeFromSuperview() {
    if (!parentWidget())
        return;
    viewWillMoveToWindow(nullptr);
    setParent(nullptr);
}

void GraphView::viewWillMoveToWindow(QWidget* window) {
    const int wanted = clockIntervalMs();
    SampleClock::followWindow(this, wanted > 0 ? window : nullptr, sampleInterval_, wanted);
}

int GraphView::clockIntervalMs() const {
    return SampleClock::cpuIntervalMs();
}

void GraphView::settingsDidChange() {
    settings_.clear();
    if (sampleInterval_ > 0)
        SampleClock::retime(this, sampleInterval_, clockIntervalMs());
    if (titleColor() != titleColor_)
        retitle(graphTitle_);
}

void GraphView::paintEvent(QPaintEvent*) {
    painted_ = true;
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const QColor background = settingColor(SettingsKeys::BackgroundFillColor);
    painter.fillRect(rect(), background.isValid() ? background : QColor(Qt::transparent));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QPointF(0, 0), graphImage_);
}
