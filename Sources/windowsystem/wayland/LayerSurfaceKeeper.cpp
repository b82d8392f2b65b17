#include "windowsystem/wayland/LayerSurfaceKeeper.h"

#include "session/SystemLog.h"
#include "windowsystem/wayland/LayerPlacement.h"
#include "windowsystem/wayland/WaylandConnection.h"

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "windowsystem/wayland/LayerShellProtocol.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// A buffer whose pixels live in a memory file the compositor maps too.
wl_buffer* createShmBuffer(wl_shm* shm, const QSize& size, uchar** pixels, qsizetype* bytes) {
    const int stride = size.width() * 4;
    const qsizetype length = qsizetype(stride) * size.height();
    const int fd = memfd_create("quorvel-stat-window", MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    if (ftruncate(fd, length) < 0) {
        close(fd);
        return nullptr;
    }
    void* mapped = mmap(nullptr, size_t(length), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(length));
    // ARGB8888 is premultiplied, little-endian 0xAARRGGBB: QImage's
    // ARGB32_Premultiplied on this byte order.
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, size.width(), size.height(), stride,
                                                  WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    *pixels = static_cast<uchar*>(mapped);
    *bytes = length;
    return buffer;
}

// An entry this soon after the surface appeared, or began sensing, was not a
// movement onto it: the pointer rested there.
constexpr int restingEntryMs = 200;
// How far on each side of a resting pointer the surface lets the pointer be,
// in the output's logical units: a hand that clicks moves it a little.
constexpr int restingHole = 12;
} // namespace

// The compositor is done with a buffer; a frame that found both buffers busy
// is drawn now, so that a fade's last step is never left for the next tick.
void LayerSurfaceKeeper::bufferReleased(void* data, wl_buffer* buffer) {
    auto* self = static_cast<LayerSurfaceKeeper*>(data);
    for (ShmBuffer& candidate : self->buffers_)
        if (candidate.buffer == buffer)
            candidate.busy = false;
    if (std::exchange(self->drawWhenReleased_, false))
        self->draw();
}

LayerSurfaceKeeper::LayerSurfaceKeeper(QWidget* window, WaylandConnection& wayland)
    : QObject(window), window_(window), wayland_(wayland), drawSoon_(new QTimer(this)) {
    // Every graph that took new data in one tick asks for a drawing; they are
    // drawn and sent together once the tick's work is done.
    drawSoon_->setSingleShot(true);
    drawSoon_->setInterval(0);
    connect(drawSoon_, &QTimer::timeout, this, &LayerSurfaceKeeper::draw);
    wayland_.setPointerEnterHandler(
        [this](wl_surface* surface, QPoint at) { pointerCameOn(surface, at); });
    connect(&wayland_, &WaylandConnection::outputsChanged, this, [this] {
        if (!surface_)
            return;
        // A layer surface keeps its output for life, so only a change of the
        // output it belongs on (the named one came back, say) makes a new
        // one; a change of scale, a name or another output plugged in keeps
        // it, drawn, where it is.
        if (chosenOutput() != surfaceOutput_) {
            remakeSurface();
            return;
        }
        // A new scale of its output comes as the output's event, not as a
        // new entry of the surface.
        if (surfaceOutput_)
            takeScale(wayland_.scaleOf(surfaceOutput_));
        placementChanged();
    });
}

LayerSurfaceKeeper::~LayerSurfaceKeeper() {
    wayland_.setPointerEnterHandler({});
    destroySurface();
    dropBuffers();
    wayland_.flush();
}

void LayerSurfaceKeeper::show() {
    shown_ = true;
    if (!surface_)
        createSurface();
    else if (mapped_)
        windowShown();
}

void LayerSurfaceKeeper::hide() {
    shown_ = false;
    destroySurface();
    wayland_.flush();
}

void LayerSurfaceKeeper::setAlpha(float alpha) {
    alpha_ = alpha;
    // Each step of a fade is its own frame, sent at once.
    draw();
    wayland_.flush();
}

void LayerSurfaceKeeper::setClickThrough(bool) {
    // The input region is empty except while sensing the pointer; nothing
    // else ever takes input here.
}

void LayerSurfaceKeeper::setSensesPointer(bool on) {
    if (sensing_ == on)
        return;
    sensing_ = on;
    restingAt_.reset();
    armed_.start();
    if (surface_)
        commitInputRegion();
}

void LayerSurfaceKeeper::commitInputRegion() {
    applyInputRegion();
    wl_surface_commit(surface_);
    wayland_.flush();
}

void LayerSurfaceKeeper::placementChanged() {
    if (!layer_)
        return;
    // To another corner: a new surface there. Moved, the old one's pixels
    // can stay on screen (sway 1.7 repaints only where the surface is now).
    if (anchorNow() != anchor_) {
        remakeSurface();
        return;
    }
    setLayerState();
    wl_surface_commit(surface_);
    // The compositor answers with a configure; the drawing follows it.
}

void LayerSurfaceKeeper::setScreenName(const QString& name) {
    if (name == outputName_)
        return;
    outputName_ = name;
    // A layer surface keeps its output for life: a new one goes to the other.
    if (surface_)
        remakeSurface();
}

// The output's integer scale; a new one is drawn at once.
void LayerSurfaceKeeper::takeScale(int scale) {
    if (scale == integerScale_)
        return;
    integerScale_ = scale;
    contentChanged(true);
}

void LayerSurfaceKeeper::contentChanged(bool) {
    if (configured_ && !drawSoon_->isActive())
        drawSoon_->start();
}

void LayerSurfaceKeeper::createSurface() {
    if (!wayland_.layerShell() || !wayland_.compositor())
        return;
    entryTaken_ = false;
    mapped_ = false;
    restingAt_.reset();
    configured_ = false;
    surface_ = wl_compositor_create_surface(wayland_.compositor());
    // Filled by name: the surface is of the compositor's bound version (4),
    // so the events later versions add (preferred_buffer_scale, 6) never
    // come, and a newer libwayland's longer struct leaves only those empty.
    static const wl_surface_listener surfaceListener = [] {
        wl_surface_listener listener{};
        listener.enter = [](void* data, wl_surface*, wl_output* output) {
            auto* self = static_cast<LayerSurfaceKeeper*>(data);
            self->wayland_.setStatWindowOutput(output);
            self->takeScale(self->wayland_.scaleOf(output));
        };
        listener.leave = [](void*, wl_surface*, wl_output*) {};
        return listener;
    }();
    wl_surface_add_listener(surface_, &surfaceListener, this);
    if (wayland_.fractionalScale() && wayland_.viewporter()) {
        viewport_ = wp_viewporter_get_viewport(wayland_.viewporter(), surface_);
        fractional_ = wp_fractional_scale_manager_v1_get_fractional_scale(
            wayland_.fractionalScale(), surface_);
        static const wp_fractional_scale_v1_listener fractionalListener = {
            [](void* data, wp_fractional_scale_v1*, uint32_t scale) {
                auto* self = static_cast<LayerSurfaceKeeper*>(data);
                if (int(scale) != self->fractionalScale120_) {
                    self->fractionalScale120_ = int(scale);
                    self->contentChanged(true);
                }
            }};
        wp_fractional_scale_v1_add_listener(fractional_, &fractionalListener, this);
    }
    wl_output* output = chosenOutput();
    surfaceOutput_ = output;
    if (output)
        integerScale_ = wayland_.scaleOf(output);
    // The top layer: above every ordinary window, and beneath the desktop's
    // own panels' menus and notifications, which it must never cover. (The
    // overlay layer is for lock screens and on-screen displays.) A full-screen
    // window covers it, as it covers panels; Quorvel fades out there anyway
    // while "HideUnderFullScreen" is on.
    layer_ = zwlr_layer_shell_v1_get_layer_surface(wayland_.layerShell(), surface_, output,
                                                   ZWLR_LAYER_SHELL_V1_LAYER_TOP, "quorvel");
    static const zwlr_layer_surface_v1_listener layerListener = {&LayerSurfaceKeeper::configure,
                                                                 &LayerSurfaceKeeper::closed};
    zwlr_layer_surface_v1_add_listener(layer_, &layerListener, this);
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        layer_, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    // 0: moved clear of panels' exclusive zones, reserving none itself.
    zwlr_layer_surface_v1_set_exclusive_zone(layer_, 0);
    setLayerState();
    wl_surface_commit(surface_);
    wayland_.flush();
}

// A layer surface keeps its output and its place in the compositor's stack for
// life; a new one is how it goes to another output or corner.
void LayerSurfaceKeeper::remakeSurface() {
    destroySurface();
    createSurface();
}

// The output named, while it is there; else the first one the compositor
// announced, which Qt calls the primary screen on Wayland.
wl_output* LayerSurfaceKeeper::chosenOutput() const {
    wl_output* output = wayland_.outputs().empty() ? nullptr : wayland_.outputs().front().output;
    for (const WaylandConnection::Output& known : wayland_.outputs())
        if (!outputName_.isEmpty() && known.name == outputName_)
            output = known.output;
    return output;
}

void LayerSurfaceKeeper::destroySurface() {
    wayland_.setStatWindowOutput(nullptr);
    surfaceOutput_ = nullptr;
    drawWhenReleased_ = false;
    drawSoon_->stop();
    configured_ = false;
    if (fractional_)
        wp_fractional_scale_v1_destroy(std::exchange(fractional_, nullptr));
    if (viewport_)
        wp_viewport_destroy(std::exchange(viewport_, nullptr));
    if (layer_)
        zwlr_layer_surface_v1_destroy(std::exchange(layer_, nullptr));
    if (surface_)
        wl_surface_destroy(std::exchange(surface_, nullptr));
}

// The corner is the one the frame is in on its own screen (the frame is placed
// on the screen "Screen" names, which need not be the primary one).
std::uint32_t LayerSurfaceKeeper::anchorNow() const {
    QRect screen = window_->geometry();
    if (const QScreen* on = QGuiApplication::screenAt(window_->geometry().center()))
        screen = on->geometry();
    else if (const QScreen* primary = QGuiApplication::primaryScreen())
        screen = primary->geometry();
    return LayerPlacement::anchorFor(window_->geometry(), screen);
}

void LayerSurfaceKeeper::setLayerState() {
    const QSize size = window_->size();
    anchor_ = anchorNow();
    zwlr_layer_surface_v1_set_size(layer_, quint32(size.width()), quint32(size.height()));
    zwlr_layer_surface_v1_set_anchor(layer_, anchor_);
    applyInputRegion(); // the region follows the window's size
}

void LayerSurfaceKeeper::applyInputRegion() {
    wl_region* region = wl_compositor_create_region(wayland_.compositor());
    if (sensing_ && !entryTaken_)
        for (const QRect& part :
             LayerPlacement::sensingRegion(window_->size(), restingAt_, restingHole))
            wl_region_add(region, part.x(), part.y(), part.width(), part.height());
    wl_surface_set_input_region(surface_, region);
    wl_region_destroy(region);
}

void LayerSurfaceKeeper::pointerCameOn(wl_surface* surface, QPoint at) {
    if (surface != surface_ || !sensing_ || entryTaken_)
        return;
    // The surface appeared under a resting pointer: it lets that pointer be,
    // and its clicks pass, until it moves out of the hole onto the rest of
    // the window, which is the pointer coming onto it.
    if (!restingAt_ && armed_.isValid() && armed_.elapsed() < restingEntryMs) {
        // A compositor looks for the surface under a resting pointer when a
        // surface appears (sway does only then), so the hole comes with a
        // surface of its own.
        remakeSurface();
        restingAt_ = at;
        return;
    }
    // Out of the pointer's way before anything else: the next click goes to
    // the window beneath.
    entryTaken_ = true;
    commitInputRegion();
    pointerEntered();
}

void LayerSurfaceKeeper::configure(void* data, zwlr_layer_surface_v1* layer, quint32 serial,
                                   quint32, quint32) {
    auto* self = static_cast<LayerSurfaceKeeper*>(data);
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    self->configured_ = true;
    self->draw();
}

void LayerSurfaceKeeper::closed(void* data, zwlr_layer_surface_v1*) {
    // Its output went away, say. A new surface goes wherever the compositor
    // now puts it, once things have settled.
    auto* self = static_cast<LayerSurfaceKeeper*>(data);
    self->destroySurface();
    QTimer::singleShot(1000, self, [self] {
        if (self->shown_ && !self->surface_)
            self->createSurface();
    });
}

LayerSurfaceKeeper::ShmBuffer* LayerSurfaceKeeper::freeBuffer(const QSize& size) {
    for (ShmBuffer& candidate : buffers_) {
        if (candidate.busy)
            continue;
        if (candidate.buffer && candidate.size != size) {
            wl_buffer_destroy(candidate.buffer);
            munmap(candidate.pixels, size_t(candidate.bytes));
            candidate = ShmBuffer();
        }
        if (!candidate.buffer) {
            candidate.buffer =
                createShmBuffer(wayland_.shm(), size, &candidate.pixels, &candidate.bytes);
            if (!candidate.buffer) {
                systemLog(QStringLiteral("Wayland: no memory for the stat window's image."));
                return nullptr;
            }
            candidate.size = size;
            static const wl_buffer_listener listener = {&LayerSurfaceKeeper::bufferReleased};
            wl_buffer_add_listener(candidate.buffer, &listener, this);
        }
        return &candidate;
    }
    return nullptr;
}

void LayerSurfaceKeeper::dropBuffers() {
    for (ShmBuffer& buffer : buffers_) {
        if (buffer.buffer) {
            wl_buffer_destroy(buffer.buffer);
            munmap(buffer.pixels, size_t(buffer.bytes));
        }
        buffer = ShmBuffer();
    }
}

void LayerSurfaceKeeper::draw() {
    drawSoon_->stop();
    if (!configured_ || !surface_ || !wayland_.shm())
        return;
    const QSize logical = window_->size();
    if (logical.isEmpty())
        return;
    const LayerPlacement::Buffer plan = LayerPlacement::bufferFor(
        logical, integerScale_, fractionalScale120_, viewport_ != nullptr);
    ShmBuffer* target = freeBuffer(plan.pixels);
    if (!target) {
        // Both buffers are still the compositor's: drawn as soon as one is
        // given back.
        drawWhenReleased_ = true;
        return;
    }
    QImage image(target->pixels, plan.pixels.width(), plan.pixels.height(), plan.pixels.width() * 4,
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(double(plan.pixels.width()) / logical.width());
    {
        QPainter painter(&image);
        painter.setOpacity(alpha_);
        // The widget is never shown, so its children are drawn one by one:
        // rendering a hidden window skips its children.
        for (QWidget* child : window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            child->render(&painter, child->pos(), QRegion(), QWidget::DrawWindowBackground);
    }
    target->busy = true;
    wl_surface_attach(surface_, target->buffer, 0, 0);
    if (plan.viewport) {
        wl_surface_set_buffer_scale(surface_, 1);
        wp_viewport_set_destination(viewport_, logical.width(), logical.height());
    } else {
        wl_surface_set_buffer_scale(surface_, plan.bufferScale);
    }
    if (wl_surface_get_version(surface_) >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION)
        wl_surface_damage_buffer(surface_, 0, 0, plan.pixels.width(), plan.pixels.height());
    else
        wl_surface_damage(surface_, 0, 0, logical.width(), logical.height());
    // The first buffer maps the surface: the compositor then tells of a
    // pointer resting where it appears, which the input region it maps with
    // decides.
    const bool firstMap = !std::exchange(mapped_, true);
    if (firstMap) {
        armed_.start();
        applyInputRegion();
    }
    wl_surface_commit(surface_);
    if (firstMap)
        windowShown();
}
