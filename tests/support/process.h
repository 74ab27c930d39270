#pragma once
// Runs a program with arguments (no shell), capturing stdout, stderr, exit status and peak RSS.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quorv::test {

struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
    long peak_rss_kib = 0;
};

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline ProcessResult run_process(const std::string& program, const std::vector<std::string>& args) {
    char out_name[] = "/tmp/quorv_outXXXXXX";
    char err_name[] = "/tmp/quorv_errXXXXXX";
    const int out_fd = mkstemp(out_name);
    const int err_fd = mkstemp(err_name);
    ProcessResult r;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out_fd, 1);
        dup2(err_fd, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.peak_rss_kib = usage.ru_maxrss;
    close(out_fd);
    close(err_fd);
    r.out = slurp(out_name);
    r.err = slurp(err_name);
    std::remove(out_name);
    std::remove(err_name);
    return r;
}

}  // namespace quorv::test
