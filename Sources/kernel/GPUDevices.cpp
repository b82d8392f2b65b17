#include "kernel/GPUDevices.h"

#include "kernel/NVMLReader.h"

#include <QDir>

#include <algorithm>

namespace {

const QString nvmlPrefix = QStringLiteral("nvidia");

// One NVML device through the reader's thread: each tick takes the last
// answer and asks for the next.
class NVMLDeviceSource : public GPUSource {
public:
    NVMLDeviceSource(std::shared_ptr<NVMLReader> reader, unsigned index)
        : reader_(std::move(reader)), index_(index) {}

    std::optional<GPUReading> read(quint64) override {
        bool stuck = false;
        const std::optional<GPUReading> reading = reader_->reading(index_, &stuck);
        // One late answer is the thread's ordinary lag; three ticks without
        // one is a driver in trouble.
        stuckTicks_ = stuck ? stuckTicks_ + 1 : 0;
        if (answering() && !reading && !answered_)
            return GPUReading{}; // the first answer is on its way
        answered_ = answered_ || reading;
        return answering() ? reading : std::nullopt;
    }
    bool answering() const override { return stuckTicks_ < 3; }

private:
    std::shared_ptr<NVMLReader> reader_;
    unsigned index_;
    int stuckTicks_ = 0;
    bool answered_ = false;
};

} // namespace

std::optional<std::size_t> chosenGPU(const std::vector<GPUDevice>& devices,
                                     const QString& setting) {
    const auto named = std::find_if(devices.begin(), devices.end(),
                                    [&](const GPUDevice& d) { return d.id == setting; });
    if (named != devices.end())
        return std::size_t(named - devices.begin());
    if (devices.empty())
        return std::nullopt;
    // max_element keeps the first of equals: the first card without memory
    // of its own where none has any.
    const auto largest =
        std::max_element(devices.begin(), devices.end(), [](const auto& a, const auto& b) {
            return a.memoryTotal < b.memoryTotal;
        });
    return std::size_t(largest - devices.begin());
}

QString shortGPUName(const QString& name) {
    QStringList words = name.simplified().split(u' ', Qt::SkipEmptyParts);
    while (words.size() > 1 && (words.front() == u"NVIDIA" || words.front() == u"GeForce" ||
                                words.front() == u"Quadro"))
        words.removeFirst();
    return words.join(u' ');
}

bool hasNVIDIADevice(const QString& drmRoot) {
    for (const QString& card : QDir(drmRoot).entryList({QStringLiteral("card*")}, QDir::Dirs))
        if (cardDriver(drmRoot + u'/' + card) == "nvidia")
            return true;
    return !QDir(QStringLiteral("/proc/driver/nvidia/gpus"))
                .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                .isEmpty();
}

GPUDevices::GPUDevices(const QString& drmRoot, const QString& nvmlLibrary) : drmRoot_(drmRoot) {
    if (!nvmlLibrary.isEmpty() && hasNVIDIADevice(drmRoot))
        nvml_ = std::make_shared<NVMLReader>(nvmlLibrary);
}

GPUDevices::~GPUDevices() = default;

bool GPUDevices::anyReadable(const QString& drmRoot) {
    return !gpuCards(drmRoot).empty() || hasNVIDIADevice(drmRoot);
}

bool GPUDevices::settled() const {
    return !nvml_ || nvml_->settled();
}

QString GPUDevices::problem() const {
    return nvml_ ? nvml_->problem() : QString();
}

std::vector<GPUDevice> GPUDevices::list() const {
    std::vector<GPUDevice> devices;
    for (const GPUCard& card : gpuCards(drmRoot_))
        devices.push_back({card.name, card.title, card.memoryTotal});
    if (nvml_) {
        const auto nvidia = nvml_->devices();
        for (std::size_t i = 0; i < nvidia.size(); ++i)
            devices.push_back({nvmlPrefix + QString::number(i), shortGPUName(nvidia[i].name),
                               nvidia[i].memoryTotal});
    }
    return devices;
}

std::unique_ptr<GPUSource> GPUDevices::open(const QString& id) const {
    if (id.startsWith(nvmlPrefix)) {
        bool ok = false;
        const unsigned index = id.mid(nvmlPrefix.size()).toUInt(&ok);
        if (!nvml_ || !ok || index >= nvml_->devices().size())
            return nullptr;
        return std::make_unique<NVMLDeviceSource>(nvml_, index);
    }
    for (GPUCard& card : gpuCards(drmRoot_))
        if (card.name == id)
            return std::make_unique<GPUCardReader>(std::move(card));
    return nullptr;
}
