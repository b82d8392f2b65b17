#pragma once

// graphs/: the graphs drawn in the stat window. GraphView is what they share
// (an image scrolled one column per sample, the title, the background); each
// kind of graph reads its source through kernel/ and draws its columns; the
// sampling clock wakes them together.

#include <QHash>
#include <QImage>
#include <QPainter>
#include <QVariantList>
#include <QWidget>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class ProcFile;

// The base of every graph in the stat window. A graph draws into its own
// off-screen image, graphImage, whenever new data arrives; painting the view
// only fills the background colour and lays the image over it, so repaints the
// window system asks for stay cheap.
//
// The image is W × H units (64 × 64 here), y growing upwards from its
// bottom-left corner. Its top topMargin() units are the title strip, drawn once;
// the rest is the graph area that clearGraph() empties before each drawing. The
// image has the screen's device pixel ratio, so graphs are crisp on HiDPI
// screens while all geometry stays in units.
class GraphView : public QWidget {
    Q_OBJECT
public:
    // frame: where the view sits in its window, in units.
    explicit GraphView(const QRect& frame, QWidget* parent = nullptr);
    ~GraphView() override;

    void clearGraph();
    virtual float topMargin() const { return 12.0f; }
    void setTitle(const QString& title);
    // A title that changes while the graph runs: the old one is cleared first
    // and the view shows the new one.
    void retitle(const QString& title);
    // "name suffix", the name cut short (…) where the whole would not fit
    // the title strip: the suffix, a reading, is what changes.
    QString fittedTitle(const QString& name, const QString& suffix) const;
    // The text cut short (…) where it would not fit the title strip.
    QString elidedTitle(const QString& text, Qt::TextElideMode mode) const;
    bool isOpaque() const { return true; }

    const QImage& graphImage() const { return graphImage_; }
    QString graphTitle() const { return graphTitle_; }
    // The image's size in units.
    QSizeF imageSize() const;
    // The device pixel ratio of the screen the window is on: the image is made
    // anew for it when it differs (a screen with another scale factor).
    void setScreenRatio(qreal ratio);

    // One tick of the shared sampling clock (SampleClock): sample and redraw.
    virtual void sampleTick() {}
    // The interval of the sampling clock the view is on (it is while in a
    // window), 0 while it is not.
    int sampleIntervalMs() const { return sampleInterval_; }

    // Called after graphs took new data, once a sampling interval: work that
    // is needed only now and then rides on these wake-ups instead of waking
    // the program on its own.
    static void setSampleTickHandler(std::function<void()> handler);
    // The graphs' side: new data was taken.
    static void sampleTicked();

    // Puts the view into a window's content view, or takes it out; the view
    // hears of it first through viewWillMoveToWindow().
    void addToContentView(QWidget* contentView);
    void removeFromSuperview();

protected:
    // Called just before the view joins a window (given) or leaves it (null).
    // Graphs start and stop their data sources here; the base puts the view
    // on the sampling clock or takes it off.
    virtual void viewWillMoveToWindow(QWidget* window);
    // The interval of the clock the view samples on, in milliseconds:
    // "CPUInterval" unless a graph says otherwise; 0 keeps it off the clock
    // (a graph whose samples come from elsewhere).
    virtual int clockIntervalMs() const;

    // The view's sampling interval in milliseconds while it is on the
    // sampling clock (SampleClock::followWindow keeps it), 0 otherwise. Views
    // of the same interval share one timer, so an interval costs one wake-up
    // and one read of the counters, not one per graph. A view still on the
    // clock leaves it when it is destroyed.
    int sampleInterval_ = 0;

    void paintEvent(QPaintEvent* event) override;
    // After new drawing into the image: the view and its window show it.
    void imageDrawn();
    // The same after drawing only column `column` anew, either added beside the
    // others or (scrolled) after the others moved one unit to the left.
    void columnDrawn(std::size_t column, bool scrolled);

    // The whole text of a counter file, or null. A file that cannot be read is
    // said once per `told` (it will not be readable at the next tick either),
    // naming the graph that stays empty.
    static const std::string* readCounters(ProcFile& file, bool& told, const QString& graph);

    // Appends a sample to a history, dropping the oldest once it holds a
    // sample for every column the graph has.
    void appendToHistory(std::deque<float>& history, float sample) const;

    // Shares (0–1) of one quantity per column, stacked from the baseline in
    // one-unit columns, oldest at the left; the series are equally long.
    struct StackedSeries {
        const std::deque<float>* shares;
        QColor color; // invalid: the share takes its room, undrawn
    };
    // Draws the columns, then shows the image.
    void drawStackedColumns(const std::vector<StackedSeries>& series);
    // One new sample of each stacked quantity: appended to its history, then
    // all drawn with the colours stored under their keys (a changed colour
    // shows at the next one).
    struct StackedSample {
        std::deque<float>* history;
        float share;
        QString colorKey;
    };
    void appendAndDrawStacked(const std::vector<StackedSample>& samples);
    // Two rates per column on a logarithmic scale (the setting under scaleKey:
    // that many decades fill half the graph area): the first hangs from the
    // top, the second rises from the baseline over it, in the colours stored
    // under their keys. Then shows the image.
    void drawHangingAndRising(const std::deque<float>& hanging, const std::deque<float>& rising,
                              const QString& hangingColorKey, const QString& risingColorKey,
                              const QString& scaleKey);
    // Draws count one-unit columns (0 the oldest kept) with drawColumn, in
    // `passes` passes over them, then shows the image. style stands for all
    // else the drawing depends on (colours, scale): while it stays the same
    // and each call adds one column (or, once the graph is full, adds one and
    // drops the oldest), only the newest is drawn and the rest scrolled.
    void
    drawColumns(std::size_t count, const QVariantList& style, int passes,
                const std::function<void(QPainter&, std::size_t column, int pass)>& drawColumn);

    // The colour or number stored under key, read when first asked for and
    // again only after the settings change, not at every tick.
    QColor settingColor(const QString& key);
    int settingInteger(const QString& key);

    // A painter on graphImage in image units with y growing upwards.
    class ImagePainter : public QPainter {
    public:
        explicit ImagePainter(GraphView& view);
    };

private:
    // The settings changed (Apply in the preferences, an edit of the file): a
    // graph on the clock moves to the interval it should now have, a title
    // drawn in another colour than "TextColor" is drawn anew, and colours and
    // scales are read again (the next drawing compares them with the last).
    void settingsDidChange();
    void allocateImage(qreal screenRatio);
    void scrollGraphArea(int pixelsPerUnit);

    qreal screenRatio_ = 1.0;
    // What drawColumns() last drew, for drawing only the newest column.
    std::size_t drawnColumns_ = 0;
    // Whether what the image held was painted before it changed again, so the
    // window's copy of the view can be moved instead of painted anew.
    bool painted_ = false;
    QVariantList drawnStyle_;
    QString graphTitle_;
    QColor titleColor_;
    QHash<QString, QVariant> settings_;
    QImage graphImage_;
};
