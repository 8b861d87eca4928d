#include "bench/support/ChildMeasure.hpp"

#include <array>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

int runBenchmarks(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

namespace {

constexpr std::string_view marker = "bench-child ";
constexpr std::string_view peakName = "peak-kilobytes";

// A line of /proc/self/status, in kilobytes; -1 when it is not there.
long statusKilobytes(std::string_view field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    for (int lines = 0; lines < 200 && std::getline(status, line); ++lines) {
        if (line.starts_with(field)) {
            return std::strtol(line.c_str() + field.size(), nullptr, 10);
        }
    }
    return -1;
}

} // namespace

long peakResidentKilobytes() {
    // Not getrusage: its maximum would carry the parent's resident memory across the exec.
    return statusKilobytes("VmHWM:");
}

long residentKilobytes() {
    return statusKilobytes("VmRSS:");
}

void report(const std::string& name, double value) {
    std::printf("%.*s%s %.9g\n", int(marker.size()), marker.data(), name.c_str(), value);
    std::fflush(stdout);
}

int finishChild() {
    report(std::string(peakName), double(peakResidentKilobytes()));
    return 0;
}

std::optional<ChildResult> runChild(const std::vector<std::string>& arguments,
                                    std::int64_t limitMegabytes) {
    std::array<int, 2> pipe{};
    if (::pipe(pipe.data()) != 0) {
        return std::nullopt;
    }
    // Everything the child needs is made before the fork: it may only call what is safe there.
    std::vector<std::string> argumentStrings;
    argumentStrings.emplace_back("/proc/self/exe");
    argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argumentStrings) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::array<char, 4096> self{};
    const ssize_t selfLength = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (selfLength <= 0) {
        ::close(pipe[0]);
        ::close(pipe[1]);
        return std::nullopt;
    }
    const rlimit limit{rlim_t(limitMegabytes) << 20, rlim_t(limitMegabytes) << 20};

    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipe[0]);
        ::close(pipe[1]);
        return std::nullopt;
    }
    if (child == 0) {
        ::dup2(pipe[1], STDOUT_FILENO);
        ::close(pipe[0]);
        ::close(pipe[1]);
        ::setrlimit(RLIMIT_AS, &limit);
        ::execv(self.data(), argv.data());
        ::_exit(127);
    }
    ::close(pipe[1]);

    ChildResult result;
    bool sawPeak = false;
    if (FILE* const out = ::fdopen(pipe[0], "r")) {
        std::array<char, 512> line{};
        while (std::fgets(line.data(), int(line.size()), out) != nullptr) {
            const std::string_view text(line.data());
            if (!text.starts_with(marker)) {
                continue;
            }
            const std::string entry(text.substr(marker.size()));
            const std::size_t space = entry.find(' ');
            if (space == std::string::npos) {
                continue;
            }
            const std::string name = entry.substr(0, space);
            const double value = std::strtod(entry.c_str() + space + 1, nullptr);
            if (name == peakName) {
                result.peakMegabytes = value / 1024.0;
                sawPeak = true;
            } else {
                result.values[name] = value;
            }
        }
        std::fclose(out);
    } else {
        ::close(pipe[0]);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !sawPeak) {
        return std::nullopt;
    }
    return result;
}

} // namespace bench
