// Runs the real helper program.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Child {
    pid_t pid = -1;
    int out = -1;
};

// With errorsToo, standard error goes into the same pipe.
Child spawn(const std::vector<std::string>& args, bool errorsToo = false) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        if (errorsToo)
            dup2(fds[1], 2);
        std::vector<char*> argv;
        std::string program = QUORVEL_HELPER;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    return {pid, fds[0]};
}

// Reads until `lines` newlines arrived or the time is up.
std::string readLines(int fd, int lines, int timeoutMs) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::count(text.begin(), text.end(), '\n') < lines) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, int(left)) <= 0)
            break;
        char buffer[512];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, std::size_t(n));
    }
    return text;
}

int waitExit(pid_t pid, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

// A /proc/net/dev stand-in that the test swaps between fixtures, the way the
// kernel's counters change under the helper.
class ChangingSource {
public:
    ChangingSource() {
        if (mkdtemp(dir_))
            path_ = std::string(dir_) + "/dev";
    }
    ~ChangingSource() {
        std::remove(path_.c_str());
        rmdir(dir_);
    }
    void show(const char* fixture) {
        std::ifstream in(std::string(QUORVEL_FIXTURES) + "/netdev/" + fixture);
        std::ofstream out(path_ + ".new");
        out << in.rdbuf();
        out.close();
        std::rename((path_ + ".new").c_str(), path_.c_str());
    }
    void vanish() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    char dir_[32] = "/tmp/quorvel-helper-XXXXXX";
    std::string path_;
};

std::vector<unsigned long long> counters(const std::string& line) {
    std::vector<unsigned long long> v(7);
    if (std::sscanf(line.c_str(), "%llu %llu %llu %llu %llu %llu %llu", &v[0], &v[1], &v[2], &v[3],
                    &v[4], &v[5], &v[6]) != 7)
        v.clear();
    return v;
}

// One interval from dev-1 to dev-2 (eth0 +900/+600 bytes, wlan0 +100/+40, lo
// +400000/+400000) with the given interface choice.
// The helper must exit once its reader has gone.
std::string oneInterval(const std::vector<std::string>& choice, bool errorsToo = false) {
    ChangingSource source;
    source.show("dev-1");
    std::vector<std::string> args = {
        "-w", "1", "--proc-net-dev", source.path(), "--sys-class-net", "/nonexistent"};
    args.insert(args.end(), choice.begin(), choice.end());
    Child child = spawn(args, errorsToo);
    std::string text = readLines(child.out, errorsToo && !choice.empty() ? 3 : 2, 2000);
    source.show("dev-2");
    text += readLines(child.out, 1, 2500);
    close(child.out);
    EXPECT_EQ(waitExit(child.pid, 2000), 0) << "still running after its reader went";
    return text;
}

TEST(Helper, CountsTheChosenInterfacesOfTheFileItReads) {
    const struct {
        std::vector<std::string> choice;
        unsigned long long in, out;
        const char* said; // on standard error
    } cases[] = {
        {{}, 1000, 640, ""},            // every real interface, lo excluded
        {{"-I", "wlan0"}, 100, 40, ""}, // as BSD netstat's -I
        {{"-I", "eth0", "-I", "wlan0"}, 1000, 640, ""},
        {{"-I", "lo"}, 400000, 400000, ""}, // named, so counted
        {{"-I", "wlan0", "-I", "wlan0"}, 100, 40, ""},
        {{"-I", "tun0"}, 0, 0, "quorvel-netstat: there is no interface tun0"},
    };
    for (const auto& c : cases) {
        const std::string text = oneInterval(c.choice, *c.said);
        const auto v = counters(text.substr(text.rfind('\n', text.size() - 2) + 1));
        ASSERT_EQ(v.size(), 7u) << text;
        EXPECT_EQ(v[2], c.in) << text;
        EXPECT_EQ(v[5], c.out) << text;
        EXPECT_NE(text.find(c.said), std::string::npos) << text;
    }
}

TEST(Helper, AReadFailureSkipsTheIntervalsItSpans) {
    ChangingSource source;
    source.show("dev-1");
    Child child =
        spawn({"-w", "1", "--proc-net-dev", source.path(), "--sys-class-net", "/nonexistent"});
    readLines(child.out, 2, 2000); // headings, right after the first read
    source.vanish();               // the read at 1 s fails
    std::this_thread::sleep_for(std::chrono::milliseconds(1400));
    source.show("dev-2"); // 1000 bytes more, read at 2 s and 3 s
    const std::string line = readLines(child.out, 1, 3500);
    close(child.out);
    waitExit(child.pid, 2000);
    const auto v = counters(line);
    ASSERT_EQ(v.size(), 7u) << line;
    EXPECT_EQ(v[2], 0u) << "the bytes that came while the file could not be read are not one "
                           "interval's: "
                        << line;
}

TEST(Helper, BadArgumentsAndAnUnreadableSourceAreErrorsAtStart) {
    const struct {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{}, 2},
        {{"-w"}, 2},
        {{"-w", "0"}, 2},
        {{"-w", "-3"}, 2},
        {{"-w", "1x"}, 2},
        {{"-w", "99999999"}, 2},
        {{"-x", "1"}, 2},
        {{"-w", "1", "-I"}, 2},
        {{"-w", "1", "-I", ""}, 2},
        {{"-w", "1", "--proc-net-dev", "/nonexistent/dev"}, 1},
    };
    for (const auto& c : cases) {
        Child child = spawn(c.args);
        close(child.out);
        EXPECT_EQ(waitExit(child.pid, 2000), c.status) << testing::PrintToString(c.args);
    }
}

} // namespace
