#include "statwindow/HoverWatch.h"

#include "statwindow/FloatingWindow.h"
#include "windowsystem/PointerPosition.h"
#include "windowsystem/PointerPresence.h"
#include "windowsystem/WindowSystem.h"

#include <QTimer>

namespace {
constexpr int samplingIntervalMs = 100;
constexpr int restingSamples = 5;
} // namespace

HoverWatch::HoverWatch(FloatingWindow& window, QObject* parent)
    : QObject(parent), window_(window), presence_(WindowSystem::pointerPresence()),
      sampling_(new QTimer(this)), hoverReturn_(new QTimer(this)) {
    sampling_->setInterval(samplingIntervalMs);
    connect(sampling_, &QTimer::timeout, this, &HoverWatch::mayHaveChanged);
    hoverReturn_->setSingleShot(true);
    hoverReturn_->setInterval(hoverReturnMs);
    connect(hoverReturn_, &QTimer::timeout, this, &HoverWatch::hoverTimeIsUp);
    if (window_.seesPointer()) {
        pointer_ = WindowSystem::makePointerPosition(this);
        connect(pointer_, &PointerPosition::moved, this, [this] {
            // Moved, even if sampling finds it where it was last seen.
            returnedAt_.reset();
            if (watching_ && !presenceReported())
                startSampling();
        });
    }
    window_.setPointerEntryHandler([this] { pointerCameOn(); });
    if (presence_) {
        connect(presence_, &PointerPresence::pointerPresenceChanged, this, [this] {
            // Reports that start or stop hand the watch to the other way.
            setWatching(watching_);
            emit mayHaveChanged();
        });
    }
}

bool HoverWatch::presenceReported() const {
    return presence_ && presence_->reportsPointer();
}

void HoverWatch::setWatching(bool on) {
    watching_ = on;
    if (presence_)
        presence_->setPointerWanted(on);
    if (presenceReported()) {
        sampling_->stop();
        hoverReturn_->stop();
        returnedAt_.reset();
    } else if (!window_.seesPointer()) {
        window_.setSensesPointer(on);
        if (!on) {
            pointerCameOn_ = false;
            hoverReturn_->stop();
        }
    } else if (on) {
        startSampling();
    } else {
        sampling_->stop();
    }
}

void HoverWatch::startSampling() {
    stillTicks_ = 0;
    if (!sampling_->isActive())
        sampling_->start();
}

void HoverWatch::lookAtRestingPointer() {
    if (!pointer_ || !watching_ || sampling_->isActive() || presenceReported())
        return;
    // Two graph kinds may tick together: one look is enough.
    if (restingLook_.isValid() && restingLook_.elapsed() < 500)
        return;
    restingLook_.start();
    // Asked without waiting: the answer may come at the next look.
    pointer_->askDevicePosition([this](QPoint position) {
        if (position != lastPointer_ && watching_ && !sampling_->isActive()) {
            startSampling();
            emit mayHaveChanged();
        }
    });
}

// Xwayland: X sees the pointer only over X windows. Once it goes onto a native
// window, X keeps its last position, which may be on the stat window; a
// position that has not changed for hoverReturnMs counts as gone.
bool HoverWatch::pointerInWindow() {
    if (presenceReported())
        return presence_->pointerInside();
    if (!window_.seesPointer())
        return pointerCameOn_;
    // Both in device pixels, and the window where it really is: a window
    // manager may have put it elsewhere than asked.
    const QPoint pointer =
        pointer_ ? pointer_->devicePosition() : PointerPosition::qtDevicePosition();
    bool inWindow = window_.deviceFrame().contains(pointer);
    const bool moved = pointer != lastPointer_;
    stillTicks_ = moved ? 0 : stillTicks_ + 1;
    lastPointer_ = pointer;
    if (stillTicks_ >= restingSamples && pointer_ && pointer_->canNoticeMotion() &&
        sampling_->isActive()) {
        sampling_->stop();
        pointer_->armMotionNotice();
        // A movement between the last sample and the server taking the
        // request would go unnoticed; one more sample after it closes that gap.
        if (pointer_->devicePosition() != lastPointer_)
            startSampling();
    }
    if (WindowSystem::current() == WindowSystem::Kind::Xwayland) {
        if (returnedAt_ && pointer != *returnedAt_)
            returnedAt_.reset();
        if (returnedAt_)
            inWindow = false;
        else if (inWindow && (moved || !hoverReturn_->isActive()))
            hoverReturn_->start();
    }
    return inWindow;
}

void HoverWatch::pointerCameOn() {
    pointerCameOn_ = true;
    hoverReturn_->start();
    emit mayHaveChanged();
}

void HoverWatch::hoverTimeIsUp() {
    pointerCameOn_ = false;
    returnedAt_ = lastPointer_;
    emit mayHaveChanged();
}
