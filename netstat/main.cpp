// quorvel-netstat: prints the machine's network traffic the way BSD's
// `netstat -w N` does: two heading lines, then every N seconds one line with
// the packets, errors and bytes in and out and the collisions of the interval
// just ended, summed over the real interfaces. No Qt: Quorvel runs it as a child
// and reads its standard output.
#include "NetDev.h"
#include "kernel/ProcFile.h"

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace {

constexpr int maxIntervalSeconds = 86400;

struct Options {
    int intervalSeconds = 0;
    std::string procNetDev = "/proc/net/dev";
    std::string sysClassNet = "/sys/class/net";
    // -I: only these interfaces count; empty means every real one.
    std::set<std::string> interfaces;
};

void usage() {
    std::fputs("usage: quorvel-netstat -w SECONDS [-I INTERFACE]... [--proc-net-dev FILE] "
               "[--sys-class-net DIR]\n",
               stderr);
}

bool parseInterval(std::string_view text, int& seconds) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    return ec == std::errc() && end == text.data() + text.size() && seconds >= 1 &&
           seconds <= maxIntervalSeconds;
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (i + 1 >= argc)
            return false;
        const char* value = argv[++i];
        if (arg == "-w") {
            if (!parseInterval(value, options.intervalSeconds))
                return false;
        } else if (arg == "-I") {
            if (*value == '\0')
                return false;
            options.interfaces.insert(value);
        } else if (arg == "--proc-net-dev") {
            options.procNetDev = value;
        } else if (arg == "--sys-class-net") {
            options.sysClassNet = value;
        } else {
            return false;
        }
    }
    return options.intervalSeconds != 0;
}

// Writes all of text to standard output. False when the reader has gone.
bool writeOut(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Software interfaces (bridges, veth, tun, docker0, …) live under
// /sys/devices/virtual/net; their traffic also crosses a real interface, so
// counting them would count it twice.
class InterfaceKinds {
public:
    explicit InterfaceKinds(std::string sysClassNet) : root_(std::move(sysClassNet)) {}

    bool isVirtual(const std::string& name) {
        auto known = cache_.find(name);
        if (known != cache_.end())
            return known->second;
        bool isVirtualDevice = false;
        const std::string link = root_ + "/" + name;
        if (char* resolved = ::realpath(link.c_str(), nullptr)) {
            isVirtualDevice = std::strstr(resolved, "/devices/virtual/") != nullptr;
            std::free(resolved);
        }
        cache_[name] = isVirtualDevice;
        return isVirtualDevice;
    }

private:
    std::string root_;
    std::map<std::string, bool> cache_;
};

// Sleeps until the deadline. Returns false early when standard output is a
// pipe whose reader has closed it: then there is nobody left to write for.
bool sleepUntil(const timespec& deadline) {
    for (;;) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long leftMs =
            (deadline.tv_sec - now.tv_sec) * 1000LL + (deadline.tv_nsec - now.tv_nsec) / 1000000LL;
        if (leftMs <= 0)
            return true;
        pollfd out{STDOUT_FILENO, 0, 0};
        const int ready = ::poll(&out, 1, static_cast<int>(leftMs));
        if (ready > 0 && (out.revents & (POLLERR | POLLHUP | POLLNVAL)))
            return false;
        if (ready < 0 && errno != EINTR)
            return true;
    }
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        usage();
        return 2;
    }
    // Die with the program that started us, and treat a closed pipe as an
    // error from write() rather than a fatal signal.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    std::signal(SIGPIPE, SIG_IGN);

    InterfaceKinds kinds(options.sysClassNet);
    netdev::Snapshot counted;
    netdev::IntervalAccumulator accumulator(
        [&counted](const std::string& name) { return counted.count(name) != 0; });

    // Chooses the interfaces to sum: the ones named with -I, as BSD netstat
    // does (a VPN's tun0 included), else everything but loopback and software
    // devices; on a machine with no hardware interface at all (a container, a
    // VM with only virtual links) everything but loopback.
    auto chooseCounted = [&](const netdev::Snapshot& all) {
        counted.clear();
        if (!options.interfaces.empty()) {
            for (const auto& [name, c] : all)
                if (options.interfaces.count(name))
                    counted[name] = c;
            return;
        }
        netdev::Snapshot anyButLoopback;
        for (const auto& [name, c] : all) {
            if (name == "lo")
                continue;
            anyButLoopback[name] = c;
            if (!kinds.isVirtual(name))
                counted[name] = c;
        }
        if (counted.empty())
            counted = anyButLoopback;
    };

    ProcFile source(options.procNetDev);
    const std::string* firstText = source.read();
    const auto first = firstText ? netdev::parseNetDev(*firstText) : std::nullopt;
    if (!first) {
        std::fprintf(stderr, "quorvel-netstat: cannot read interface counters from %s: %s\n",
                     options.procNetDev.c_str(),
                     firstText ? "unknown format" : std::strerror(errno));
        return 1;
    }
    // A named interface that is not there counts nothing until it appears (a
    // VPN that is not up yet); said once, so that an empty graph is explained.
    for (const std::string& name : options.interfaces)
        if (!first->count(name))
            std::fprintf(stderr,
                         "quorvel-netstat: there is no interface %s; it counts once it appears\n",
                         name.c_str());
    chooseCounted(*first);
    accumulator.update(*first);
    if (!writeOut(netdev::headingLines({options.interfaces.begin(), options.interfaces.end()})))
        return 0;

    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    for (;;) {
        deadline.tv_sec += options.intervalSeconds;
        if (!sleepUntil(deadline))
            return 0;
        const std::string* text = source.read();
        const auto snapshot = text ? netdev::parseNetDev(*text) : std::nullopt;
        if (!snapshot) {
            // A passing read failure: no line for this interval, nor for the
            // next, which would carry two intervals' bytes.
            accumulator.restart();
            continue;
        }
        chooseCounted(*snapshot);
        if (const auto interval = accumulator.update(*snapshot)) {
            if (!writeOut(netdev::formatIntervalLine(*interval)))
                return 0;
        }
    }
}
