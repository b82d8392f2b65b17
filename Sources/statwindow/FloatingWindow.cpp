#include "statwindow/FloatingWindow.h"

#include "statwindow/FadeCurve.h"
#include "statwindow/StatWindowLayout.h"
#include "windowsystem/WindowSystem.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <cmath>

namespace {

QRect scaled(const QRect& rect, qreal ratio) {
    return QRect((QPointF(rect.topLeft()) * ratio).toPoint(),
                 (QSizeF(rect.size()) * ratio).toSize());
}

double monotonicSeconds() {
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

FloatingWindow::FloatingWindow(const QRect& contentRect)
    : QWidget(nullptr, Qt::FramelessWindowHint), clock_(monotonicSeconds),
      keeper_(WindowSystem::makeKeeper(this,
                                       [this](const QSize& size) { return deviceTopLeft(size); })) {
    keeper_->setShownHandler([this] { _windowShown(); });
    if (!contentRect.isNull())
        setFrame(contentRect);
}

FloatingWindow::~FloatingWindow() = default;

void FloatingWindow::awakeFromNib() {
    // Translucency must be asked for before the native window exists.
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setWindowFlags(Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::Tool | Qt::WindowDoesNotAcceptFocus);
    setWindowTitle(QStringLiteral("Quorvel"));
}

void FloatingWindow::setIgnoresMouseEvents(bool ignores) {
    // On X11 this gives the window an empty input shape: clicks reach the
    // windows beneath.
    if (ignores == testAttribute(Qt::WA_TransparentForMouseEvents))
        return;
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowTransparentForInput, ignores);
    setAttribute(Qt::WA_TransparentForMouseEvents, ignores);
    keeper_->setClickThrough(ignores);
    if (wasVisible)
        show(); // changing window flags hides a window
}

void FloatingWindow::setFrame(const QRect& frame) {
    frame_ = frame;
    deviceScreen_ = QRect(); // the screens may have changed too
    setGeometry(frame);
    keeper_->placementChanged();
}

QScreen* FloatingWindow::frameScreen() const {
    QScreen* screen = QGuiApplication::screenAt(frame_.center());
    return screen ? screen : QGuiApplication::primaryScreen();
}

QRect FloatingWindow::deviceScreen() const {
    const QScreen* screen = frameScreen();
    if (!screen)
        return {};
    // Qt's screen geometry is the device one divided by the scale factor and
    // rounded; scaling it back can miss the screen's edge by a pixel, so the
    // window system is asked first.
    if (deviceScreen_.isNull())
        deviceScreen_ = keeper_->deviceGeometry(*screen);
    if (deviceScreen_.isNull())
        deviceScreen_ = scaled(screen->geometry(), screen->devicePixelRatio());
    return deviceScreen_;
}

QPoint FloatingWindow::deviceTopLeft(const QSize& deviceSize) const {
    const QScreen* screen = frameScreen();
    if (!screen)
        return frame_.topLeft();
    return StatWindowLayout::devicePosition(frame_, screen->geometry(), deviceScreen(),
                                            screen->devicePixelRatio(), deviceSize);
}

QRect FloatingWindow::deviceFrame() const {
    const QRect known = keeper_->deviceFrame();
    if (!known.isNull())
        return known;
    return scaled(frame_, devicePixelRatio());
}

// The window is shown without Qt's "show without activating": window managers
// take that for a window that wants attention. It never takes the focus all
// the same: it accepts no input and does not offer to take the focus.
void FloatingWindow::orderFront() {
    keeper_->show();
}

void FloatingWindow::orderOut() {
    keeper_->hide();
}

void FloatingWindow::setAlphaValue(float alpha) {
    alpha_ = alpha;
    keeper_->setAlpha(alpha);
}

float FloatingWindow::alphaValue() const {
    return alpha_;
}

void FloatingWindow::contentChanged(bool everything) {
    keeper_->contentChanged(everything);
}

bool FloatingWindow::seesPointer() const {
    return keeper_->seesPointer();
}

void FloatingWindow::setSensesPointer(bool on) {
    keeper_->setSensesPointer(on);
}

void FloatingWindow::setScreenName(const QString& name) {
    keeper_->setScreenName(name);
}

void FloatingWindow::setPointerEntryHandler(std::function<void()> handler) {
    keeper_->setPointerEntryHandler(std::move(handler));
}

void FloatingWindow::orderFrontWithFade() {
    setAlphaValue(0.0f);
    _orderWithFade(true);
    fadeAwaitsShow_ = true;
    orderFront();
}

void FloatingWindow::orderOutWithFade() {
    _orderWithFade(false);
}

void FloatingWindow::_orderWithFade(bool toFront) {
    // A fade in progress stops where it is; its end actions do not happen.
    delete fadeoutTimer_;
    faderStartTimestamp_ = clock_();
    fadeToFront_ = toFront;
    fadeAwaitsShow_ = false;
    fadeoutTimer_ = new QTimer(this);
    fadeoutTimer_->setTimerType(Qt::PreciseTimer);
    // Rounded up to whole milliseconds, so that three ticks reach the fade's
    // end (3 × 34 ms ≥ 0.1 s) instead of needing a fourth (3 × 33 ms < 0.1 s).
    fadeoutTimer_->setInterval(
        std::chrono::milliseconds(qint64(std::ceil(FadeCurve::tickInterval * 1000.0))));
    connect(fadeoutTimer_, &QTimer::timeout, this, &FloatingWindow::_windowFader);
    fadeoutTimer_->start();
}

// A fade in counts its steps from the moment the window is on screen: a window
// manager that maps it a tick late would otherwise swallow the first step, and
// a slow one the whole fade. Where the window system never says, the fade
// starts all the same after showWait.
void FloatingWindow::_windowShown() {
    if (!fadeAwaitsShow_ || !fadeoutTimer_)
        return;
    fadeAwaitsShow_ = false;
    faderStartTimestamp_ = clock_();
    fadeoutTimer_->start();
}

void FloatingWindow::_windowFader() {
    if (fadeAwaitsShow_) {
        constexpr double showWait = 0.5; // seconds
        if (clock_() - faderStartTimestamp_ >= showWait)
            _windowShown();
        return;
    }
    const FadeCurve::Tick tick = FadeCurve::tick(clock_() - faderStartTimestamp_, fadeToFront_);
    switch (tick.action) {
    case FadeCurve::Tick::Action::SetAlpha:
        setAlphaValue(tick.alpha);
        return;
    case FadeCurve::Tick::Action::EndOrderedOut:
        orderOut();
        break;
    case FadeCurve::Tick::Action::EndShown:
        break;
    }
    setAlphaValue(1.0f);
    fadeoutTimer_->deleteLater();
    fadeoutTimer_ = nullptr;
}
