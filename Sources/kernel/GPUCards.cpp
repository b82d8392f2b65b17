#include "kernel/GPUCards.h"

#include "kernel/ProcFile.h"
#include "kernel/TemperatureSensors.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

// A sysfs attribute's text, null where it cannot be read. Read as the
// counters are: a FIFO in its place never makes Quorvel wait.
QByteArrayView textOf(ProcFile* file) {
    const std::string* text = file ? file->read() : nullptr;
    return text ? QByteArrayView(*text) : QByteArrayView();
}

std::optional<quint64> numberOf(ProcFile* file) {
    const QByteArrayView text = textOf(file);
    return text.isNull() ? std::nullopt : sysfsNumber(text);
}

std::unique_ptr<ProcFile> fileAt(const QString& path) {
    return path.isEmpty() ? nullptr : std::make_unique<ProcFile>(path.toStdString());
}

std::optional<quint64> numberAt(const QString& path) {
    ProcFile file(path.toStdString());
    return numberOf(&file);
}

QString firstExisting(const QStringList& paths) {
    for (const QString& path : paths)
        if (QFileInfo(path).isFile())
            return path;
    return {};
}

// temp1_input of the first hardware monitor of the device, if it has one.
QString temperatureOf(const QString& device) {
    const QString hwmon = device + QStringLiteral("/hwmon");
    QStringList monitors =
        QDir(hwmon).entryList({QStringLiteral("hwmon*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(monitors.begin(), monitors.end());
    for (const QString& monitor : std::as_const(monitors))
        if (const QString input = hwmon + u'/' + monitor + QStringLiteral("/temp1_input");
            QFileInfo(input).isFile())
            return input;
    return {};
}

} // namespace

std::optional<quint64> sysfsNumber(QByteArrayView text) {
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 20 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    bool ok = false;
    const quint64 value = text.toULongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

std::optional<float> busyShareOfPercent(QByteArrayView text) {
    const auto percent = sysfsNumber(text);
    if (!percent || *percent > 100)
        return std::nullopt;
    return float(*percent) / 100.0f;
}

QByteArrayView driverOfUevent(QByteArrayView uevent) {
    constexpr QByteArrayView key("DRIVER=");
    for (qsizetype start = 0; start < uevent.size();) {
        qsizetype end = uevent.indexOf('\n', start);
        if (end < 0)
            end = uevent.size();
        const QByteArrayView line = uevent.sliced(start, end - start);
        if (line.startsWith(key))
            return line.sliced(key.size()).trimmed();
        start = end + 1;
    }
    return {};
}

bool isRuntimeSuspended(QByteArrayView runtimeStatus) {
    const QByteArrayView status = runtimeStatus.trimmed();
    return status == "suspended" || status == "suspending";
}

std::optional<float> busyFromIdle(quint64 idleBeforeMs, quint64 idleNowMs, quint64 elapsedMs) {
    if (elapsedMs == 0 || idleNowMs < idleBeforeMs)
        return std::nullopt;
    const double idle = double(idleNowMs - idleBeforeMs) / double(elapsedMs);
    return float(std::clamp(1.0 - idle, 0.0, 1.0));
}

QByteArray cardDriver(const QString& cardFolder) {
    ProcFile uevent((cardFolder + QStringLiteral("/device/uevent")).toStdString());
    return driverOfUevent(textOf(&uevent)).toByteArray();
}

std::vector<GPUCard> gpuCards(const QString& drmRoot) {
    static const QRegularExpression cardName(QStringLiteral("^card([0-9]+)$"));
    QList<std::pair<int, QString>> names;
    for (const QString& name : QDir(drmRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (const QRegularExpressionMatch match = cardName.match(name); match.hasMatch())
            names.append({match.captured(1).toInt(), name});
    std::sort(names.begin(), names.end());

    std::vector<GPUCard> cards;
    for (const auto& [number, name] : std::as_const(names)) {
        GPUCard card;
        card.name = name;
        card.folder = drmRoot + u'/' + name;
        const QString device = card.folder + QStringLiteral("/device");
        const QByteArray driver = cardDriver(card.folder);
        if (driver == "amdgpu" &&
            QFileInfo(device + QStringLiteral("/gpu_busy_percent")).isFile()) {
            card.driver = GPUDriver::AMD;
            card.title = QStringLiteral("AMD");
            card.memoryTotal =
                numberAt(device + QStringLiteral("/mem_info_vram_total")).value_or(0);
        } else if (driver == "i915" || driver == "xe") {
            card.driver = GPUDriver::Intel;
            card.title = QStringLiteral("Intel");
            card.idlePath =
                firstExisting({card.folder + QStringLiteral("/gt/gt0/rc6_residency_ms"),
                               card.folder + QStringLiteral("/power/rc6_residency_ms"),
                               device + QStringLiteral("/tile0/gt0/gtidle/idle_residency_ms")});
            if (card.idlePath.isEmpty())
                continue;
        } else {
            continue; // no reader for this driver (nvidia's is NVML)
        }
        card.temperaturePath = temperatureOf(device);
        card.number = number;
        cards.push_back(card);
    }
    // A card is told from another of its maker by its number.
    for (GPUCard& card : cards)
        if (std::count_if(cards.begin(), cards.end(),
                          [&](const GPUCard& c) { return c.driver == card.driver; }) > 1)
            card.title += u' ' + QString::number(card.number);
    return cards;
}

GPUCardReader::GPUCardReader(GPUCard card) : card_(std::move(card)) {
    const QString device = card_.folder + QStringLiteral("/device/");
    power_ = fileAt(device + QStringLiteral("power/runtime_status"));
    if (card_.driver == GPUDriver::AMD) {
        busy_ = fileAt(device + QStringLiteral("gpu_busy_percent"));
        used_ = fileAt(device + QStringLiteral("mem_info_vram_used"));
        total_ = fileAt(device + QStringLiteral("mem_info_vram_total"));
    }
    idle_ = fileAt(card_.idlePath);
    temperature_ = fileAt(card_.temperaturePath);
}

GPUCardReader::~GPUCardReader() = default;

std::optional<GPUReading> GPUCardReader::read(quint64 nowMs) {
    const QByteArrayView power = textOf(power_.get());
    if (power.isNull() && !QFileInfo::exists(card_.folder))
        return std::nullopt;
    GPUReading reading;
    if (isRuntimeSuspended(power)) {
        // Its files would wake it; an Intel idle time taken across the sleep
        // would be the sleep's.
        reading.asleep = true;
        lastIdleMs_.reset();
        return reading;
    }
    if (card_.driver == GPUDriver::AMD) {
        if (const QByteArrayView busy = textOf(busy_.get()); !busy.isNull())
            reading.busy = busyShareOfPercent(busy);
        reading.memoryUsed = numberOf(used_.get());
        reading.memoryTotal = numberOf(total_.get());
    } else {
        const auto idle = numberOf(idle_.get());
        if (idle && lastIdleMs_ && lastReadMs_ && nowMs > *lastReadMs_)
            reading.busy = busyFromIdle(*lastIdleMs_, *idle, nowMs - *lastReadMs_);
        lastIdleMs_ = idle;
        lastReadMs_ = nowMs;
    }
    if (const QByteArrayView text = textOf(temperature_.get()); !text.isNull())
        if (const auto celsius = celsiusOf(text); celsius && isPossibleCelsius(*celsius))
            reading.celsius = celsius;
    return reading;
}
