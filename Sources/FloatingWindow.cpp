#include "FloatingWindow.h"

#include "FadeCurve.h"
#include "StatWindowLayout.h"
#include "platform/X11WindowHints.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

namespace {

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
    : QWidget(nullptr, Qt::FramelessWindowHint), clock_(monotonicSeconds) {
    if (!contentRect.isNull())
        setGeometry(contentRect);
}

FloatingWindow::~FloatingWindow() = default;

void FloatingWindow::awakeFromNib() {
    // Translucency must be asked for before the native window exists.
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setWindowFlags(Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint |
                   Qt::WindowStaysOnTopHint | Qt::Tool | Qt::WindowDoesNotAcceptFocus);
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
    if (wasVisible)
        show(); // changing window flags hides a window
}

bool FloatingWindow::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
        // Before every map: a window manager drops these when a window is
        // withdrawn, and Qt merges them into its own when it maps the window.
        applyFloatingWindowHints(this, false);
        break;
    case QEvent::WinIdChange:
        if (isVisible())
            applyFloatingWindowHints(this, true);
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void FloatingWindow::setFrame(const QRect& frame) { setGeometry(frame); }

void FloatingWindow::setFrameCenteredAt(const QPointF& point) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRectF screenFrame = screen->geometry();
    const double bottom = screenFrame.bottom() + 1; // QRect's bottom() is inclusive
    using StatWindowLayout::flipped;
    const QRectF placed =
        StatWindowLayout::centeredFrame(flipped(QRectF(geometry()), bottom),
                                        QPointF(point.x(), bottom - point.y()),
                                        flipped(screenFrame, bottom));
    move(flipped(placed, bottom).topLeft().toPoint());
}

void FloatingWindow::orderFront() { show(); }

void FloatingWindow::orderOut() { hide(); }

void FloatingWindow::setAlphaValue(float alpha) { setWindowOpacity(qreal(alpha)); }

float FloatingWindow::alphaValue() const { return float(windowOpacity()); }

void FloatingWindow::orderFrontWithFade() {
    setAlphaValue(0.0f);
    orderFront();
    _orderWithFade(true);
}

void FloatingWindow::orderOutWithFade() { _orderWithFade(false); }

void FloatingWindow::_orderWithFade(bool toFront) {
    // A fade in progress stops where it is; its end actions do not happen.
    delete fadeoutTimer_;
    faderStartTimestamp_ = clock_();
    fadeToFront_ = toFront;
    fadeoutTimer_ = new QTimer(this);
    fadeoutTimer_->setTimerType(Qt::PreciseTimer);
    fadeoutTimer_->setInterval(std::chrono::milliseconds(qint64(FadeCurve::tickInterval * 1000.0)));
    connect(fadeoutTimer_, &QTimer::timeout, this, &FloatingWindow::_windowFader);
    fadeoutTimer_->start();
}

void FloatingWindow::_windowFader() {
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
