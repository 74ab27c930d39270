// Times commands against each other in turns: run 1 of each, then run 2 of each, and so on,
// so that the machine's slow and quick stretches fall on every command alike. Prints each
// command's median and mean wall time and its median processor time (user and system) in
// milliseconds, and each median against the first command's. Output goes to /dev/null.
//   quorv-interleave RUNS -- COMMAND ARGS... -- COMMAND ARGS... [-- ...]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Times {
    std::vector<double> wall, cpu;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double milliseconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

// One run of argv, its output thrown away; false when it cannot be started or fails.
bool run_once(std::vector<char*>& argv, posix_spawn_file_actions_t& quiet, double& wall, double& cpu) {
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    cpu = milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
    // quorv-check exits 1 when it has findings: only a signal counts as failure.
    return WIFEXITED(status);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 0;
    std::vector<std::vector<char*>> commands;
    for (int k = 2; k < argc; ++k) {
        if (std::strcmp(argv[k], "--") == 0) {
            commands.emplace_back();
        } else if (!commands.empty()) {
            commands.back().push_back(argv[k]);
        }
    }
    commands.erase(std::remove_if(commands.begin(), commands.end(), [](const auto& c) { return c.empty(); }),
                   commands.end());
    if (runs < 1 || commands.empty()) {
        std::fprintf(stderr, "usage: %s RUNS -- COMMAND ARGS... [-- COMMAND ARGS...]\n", argv[0]);
        return 2;
    }
    for (std::vector<char*>& c : commands) c.push_back(nullptr);

    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);

    std::vector<Times> times(commands.size());
    for (int r = 0; r < runs; ++r) {
        for (std::size_t c = 0; c < commands.size(); ++c) {
            double wall = 0, cpu = 0;
            if (!run_once(commands[c], quiet, wall, cpu)) {
                std::fprintf(stderr, "%s: could not run or was killed\n", commands[c][0]);
                return 1;
            }
            times[c].wall.push_back(wall);
            times[c].cpu.push_back(cpu);
        }
    }
    posix_spawn_file_actions_destroy(&quiet);

    const double first = median(times[0].wall);
    for (std::size_t c = 0; c < commands.size(); ++c) {
        std::string line;
        for (std::size_t k = 0; commands[c][k] != nullptr && k < 3; ++k) {
            if (k != 0) line += ' ';
            line += commands[c][k];
        }
        double sum = 0;
        for (double w : times[c].wall) sum += w;
        const double wall = median(times[c].wall);
        std::printf("%-60.60s wall median %7.2f mean %7.2f  cpu median %7.2f  %5.2fx\n", line.c_str(), wall,
                    sum / static_cast<double>(runs), median(times[c].cpu), wall / first);
    }
    return 0;
}
