#include "kernel/NVMLReader.h"

#include <algorithm>
#include <chrono>
#include <map>

// What the main thread and the reading thread share, under its mutex. Shared
// ownership: a thread stuck in NVML outlives the reader that started it.
struct NVMLReader::Shared {
    std::mutex mutex;
    std::condition_variable asked;
    bool stop = false;
    bool settled = false;
    QString problem;
    std::vector<NVMLLibrary::Device> devices;
    std::vector<unsigned> wanted; // devices asked for and not yet read
    bool reading = false;         // the thread is in NVML now
    bool finished = false;        // the thread has left NVML for good
    std::map<unsigned, std::optional<GPUReading>> last;
};

NVMLReader::NVMLReader(const QString& libraryPath)
    : shared_(std::make_shared<Shared>()), thread_(&NVMLReader::run, shared_, libraryPath) {}

NVMLReader::~NVMLReader() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stop = true;
    }
    shared_->asked.notify_one();
    // A thread inside a stuck NVML call would never be joined.
    std::unique_lock lock(shared_->mutex);
    const bool free = shared_->asked.wait_for(lock, std::chrono::milliseconds(200),
                                              [this] { return shared_->finished; });
    lock.unlock();
    if (free)
        thread_.join();
    else
        thread_.detach();
}

void NVMLReader::run(std::shared_ptr<Shared> shared, QString libraryPath) {
    QString why;
    std::unique_ptr<NVMLLibrary> library = NVMLLibrary::open(libraryPath, &why);
    std::vector<NVMLLibrary::Device> devices;
    if (library)
        for (unsigned i = 0, count = library->deviceCount(); i < count; ++i)
            if (const auto device = library->device(i))
                devices.push_back(*device);
    {
        std::lock_guard lock(shared->mutex);
        shared->settled = true;
        shared->problem = library ? QString() : why;
        shared->devices = devices;
    }
    if (library) {
        shared->asked.notify_all();
        readWhenAsked(*shared, *library);
        library.reset(); // nvmlShutdown
    }
    std::lock_guard lock(shared->mutex);
    shared->finished = true;
    shared->asked.notify_all();
}

void NVMLReader::readWhenAsked(Shared& shared, NVMLLibrary& library) {
    for (;;) {
        std::vector<unsigned> wanted;
        {
            std::unique_lock lock(shared.mutex);
            shared.asked.wait(lock, [&] { return shared.stop || !shared.wanted.empty(); });
            if (shared.stop)
                break;
            wanted.swap(shared.wanted);
            shared.reading = true;
        }
        std::map<unsigned, std::optional<GPUReading>> read;
        for (unsigned index : wanted)
            read[index] = library.read(index);
        {
            std::lock_guard lock(shared.mutex);
            shared.reading = false;
            for (auto& [index, reading] : read)
                shared.last[index] = reading;
        }
        shared.asked.notify_all();
    }
}

bool NVMLReader::settled() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->settled;
}

std::vector<NVMLLibrary::Device> NVMLReader::devices() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->devices;
}

QString NVMLReader::problem() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->problem;
}

std::optional<GPUReading> NVMLReader::reading(unsigned index, bool* stuck) {
    std::optional<GPUReading> last;
    bool waiting = false;
    {
        std::lock_guard lock(shared_->mutex);
        if (const auto found = shared_->last.find(index); found != shared_->last.end())
            last = found->second;
        waiting = shared_->reading || std::find(shared_->wanted.begin(), shared_->wanted.end(),
                                                index) != shared_->wanted.end();
        if (!waiting)
            shared_->wanted.push_back(index);
    }
    if (!waiting)
        shared_->asked.notify_one();
    if (stuck)
        *stuck = waiting;
    return last;
}
