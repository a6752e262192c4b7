// Helpers shared by the benchmarks: timing with best and median, the machine banner, file
// loading, peak memory of an operation measured in a child process, and aligned table output.
#pragma once

#include <malloc.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#ifndef ORVEL_BENCH_FLAGS
#define ORVEL_BENCH_FLAGS "unknown"
#endif
#ifndef ORVEL_CORE_NDEBUG
#define ORVEL_CORE_NDEBUG 0
#endif

namespace bench {

using Clock = std::chrono::steady_clock;

inline double seconds_since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Keeps a result alive so the optimiser cannot drop the work that produced it.
template <class T>
inline void keep(const T &value) {
    asm volatile("" : : "g"(&value) : "memory");
}

// Seconds of each run of one benchmark.
struct Timings {
    std::vector<double> runs;

    double best() const { return runs.empty() ? 0 : *std::min_element(runs.begin(), runs.end()); }
    double median() const {
        if (runs.empty()) return 0;
        std::vector<double> s = runs;
        std::sort(s.begin(), s.end());
        size_t n = s.size();
        return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
    }
};

// How long to measure: at least min_runs runs and min_seconds in total, at most max_runs runs.
struct Plan {
    int min_runs = 5;
    int max_runs = 200;
    double min_seconds = 0.5;
};

// Runs fn repeatedly per plan. fn returns the seconds of its timed part, so that a run can keep
// set-up work (such as copying the input) out of the measurement.
template <class Fn>
inline Timings measure(const Plan &plan, Fn &&fn) {
    Timings t;
    double total = 0;
    while (int(t.runs.size()) < plan.max_runs &&
           (int(t.runs.size()) < plan.min_runs || total < plan.min_seconds)) {
        double s = fn();
        t.runs.push_back(s);
        total += s;
    }
    return t;
}

// Runs fn as a whole, timing all of it.
template <class Fn>
inline Timings measure_all(const Plan &plan, Fn &&fn) {
    return measure(plan, [&] {
        auto t0 = Clock::now();
        fn();
        return seconds_since(t0);
    });
}

// Megabytes (10^6 bytes) per second.
inline double mb_per_s(uint64_t bytes, double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0; }

inline std::string cpu_model() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            size_t colon = line.find(':');
            if (colon != std::string::npos) return line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    }
    return "unknown";
}

inline std::string compiler() {
#if defined(__clang__)
    return std::string("clang ") + __clang_version__;
#elif defined(__GNUC__)
    return std::string("GCC ") + __VERSION__;
#else
    return "unknown";
#endif
}

// Prints the machine, compiler and flags, and warns when the numbers would mislead.
inline void print_banner(const char *title) {
    std::printf("%s\n", title);
    std::printf("cpu:       %s (%ld online)\n", cpu_model().c_str(), sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("compiler:  %s\n", compiler().c_str());
    std::printf("flags:     %s\n", ORVEL_BENCH_FLAGS);
#ifndef __OPTIMIZE__
    std::printf("WARNING: ************************************************************\n");
    std::printf("WARNING: the benchmark is built WITHOUT OPTIMISATION; numbers mean nothing\n");
    std::printf("WARNING: ************************************************************\n");
#endif
#ifndef NDEBUG
    std::printf("WARNING: the benchmark is built with assertions enabled (no -DNDEBUG)\n");
#endif
    if (!ORVEL_CORE_NDEBUG)
        std::printf("WARNING: jxcore is compiled without -DNDEBUG: any assert() in it is live\n");
#if defined(__SANITIZE_ADDRESS__)
    std::printf("WARNING: built with AddressSanitizer; numbers mean nothing\n");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    std::printf("WARNING: built with AddressSanitizer; numbers mean nothing\n");
#endif
#endif
}

// The whole file, or false with errno set.
inline bool read_file(const std::string &path, std::string &out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) return false;
    out.resize(size_t(size));
    in.seekg(0);
    in.read(out.data(), size);
    return bool(in);
}

// Peak resident memory of this process so far, in bytes.
inline uint64_t peak_rss() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return uint64_t(ru.ru_maxrss) * 1024;
}

// Makes the peak resident memory equal the current one, so that a later peak_rss() tells what an
// operation added. Memory the allocator keeps after earlier frees is handed back first: reusing
// pages that are still resident would hide the operation's growth.
inline void reset_peak_rss() {
    malloc_trim(0);
    if (FILE *f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Runs fn in a forked child and returns how far the child's peak resident memory rose while fn ran,
// in bytes. Returns -1 when the child could not run or fn returned false.
template <class Fn>
inline int64_t child_peak_rss_growth(Fn &&fn) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return -1;
    }
    if (pid == 0) {
        close(fds[0]);
        reset_peak_rss();
        uint64_t before = peak_rss();
        int64_t growth = fn() ? int64_t(peak_rss() - before) : -1;
        ssize_t w = write(fds[1], &growth, sizeof growth);
        _exit(w == sizeof growth ? 0 : 1);
    }
    close(fds[1]);
    int64_t growth = -1;
    if (read(fds[0], &growth, sizeof growth) != sizeof growth) growth = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? growth : -1;
}

// Integer with thousands separators, for counts a reader compares by eye.
// Built by appending: GCC 12 misreads string::insert here as an overlapping copy (-Wrestrict).
inline std::string grouped(uint64_t n) {
    std::string digits = std::to_string(n), s;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i && (digits.size() - i) % 3 == 0) s += ',';
        s += digits[i];
    }
    return s;
}

inline std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
inline std::string format(const char *fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

// A table printed with columns padded to their widest cell; the first column is left-aligned.
struct Table {
    std::vector<std::vector<std::string>> rows;

    void add(std::vector<std::string> row) { rows.push_back(std::move(row)); }
    void print(const char *indent = "  ") const {
        std::vector<size_t> width;
        for (const auto &r : rows) {
            if (width.size() < r.size()) width.resize(r.size(), 0);
            for (size_t i = 0; i < r.size(); i++) width[i] = std::max(width[i], r[i].size());
        }
        for (const auto &r : rows) {
            std::string line = indent;
            for (size_t i = 0; i < r.size(); i++) {
                std::string pad(width[i] - r[i].size(), ' ');
                line += i == 0 ? r[i] + pad : "  " + pad + r[i];
            }
            while (!line.empty() && line.back() == ' ') line.pop_back();
            std::printf("%s\n", line.c_str());
        }
    }
};

}  // namespace bench
