// What one request a second to an exporter costs a client that does nothing
// else: the kernel's share of the cost of another machine, below which no
// HTTP client on this machine can go. Wakes once a second for SECONDS without
// asking, then for SECONDS asking for the collectors Quorvel reads over one
// kept connection, and prints the CPU time of each per minute and their
// difference.
//   build/bench/request_floor PORT [SECONDS]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

double cpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Reads one answer: to its length where it gives one, else to the last chunk.
bool readAnswer(int fd, std::vector<char>& buffer) {
    std::size_t got = 0, whole = 0;
    for (;;) {
        if (got == buffer.size())
            buffer.resize(buffer.size() * 2);
        const ssize_t n = recv(fd, buffer.data() + got, buffer.size() - got, 0);
        if (n <= 0)
            return false;
        got += std::size_t(n);
        const std::string_view text(buffer.data(), got);
        const std::size_t headEnd = text.find("\r\n\r\n");
        if (headEnd == std::string_view::npos)
            continue;
        const std::size_t length = text.substr(0, headEnd).find("Content-Length: ");
        if (length != std::string_view::npos && whole == 0) {
            std::size_t body = 0;
            const char* digits = text.data() + length + 16;
            std::from_chars(digits, text.data() + headEnd, body);
            whole = headEnd + 4 + body;
        }
        if (whole ? got >= whole : text.ends_with("\r\n0\r\n\r\n"))
            return true;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return std::fprintf(stderr, "usage: request_floor PORT [SECONDS]\n"), 2;
    const int port = std::atoi(argv[1]);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return std::perror("connect"), 1;
    const std::string_view request =
        "GET /metrics?collect[]=cpu&collect[]=meminfo&collect[]=netdev&collect[]=netclass"
        "&collect[]=diskstats HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept-Encoding: identity\r\n\r\n";
    std::vector<char> buffer(1 << 16);
    double perMinute[2] = {};
    for (const bool asking : {false, true}) {
        const double before = cpuMs();
        for (int i = 0; i < seconds; ++i) {
            if (asking && (send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
                               ssize_t(request.size()) ||
                           !readAnswer(fd, buffer)))
                return std::fprintf(stderr, "request_floor: no answer\n"), 1;
            sleep(1);
        }
        perMinute[asking] = (cpuMs() - before) * 60.0 / seconds;
    }
    std::printf("client waking once a second %.1f ms/min, asking once a second %.1f ms/min: "
                "the request alone %.1f ms/min\n",
                perMinute[0], perMinute[1], perMinute[1] - perMinute[0]);
    close(fd);
}
