// Helpers shared by the benchmarks: timing with best and median, the machine banner, file
// loading, peak memory of an operation measured in a child process, aligned table output, and the
// options and file list of the benchmarks that run over the corpus.
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
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "jx.h"

#ifndef ORVEL_BENCH_FLAGS
#define ORVEL_BENCH_FLAGS "unknown"
#endif
#ifndef ORVEL_CORE_NDEBUG
#define ORVEL_CORE_NDEBUG 0
#endif
#ifndef ORVEL_BENCH_CORPUS
#define ORVEL_BENCH_CORPUS "../shared/corpus"
#endif
#ifndef ORVEL_BENCH_DATA
#define ORVEL_BENCH_DATA "bench-data"
#endif

namespace bench {

using Clock = std::chrono::steady_clock;

// The large file bench_generate.h writes. Bump the version whenever the generator's output changes,
// so a stale file is never reused.
constexpr uint64_t GENERATED_SIZE = uint64_t(512) << 20;
constexpr const char *GENERATED_NAME = "mixed-512mb-v1.json";

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

// splitmix64: a fixed seed gives the same generated text on every machine.
struct Rng {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return uint32_t(next() % n); }
    bool chance(uint32_t percent) { return below(100) < percent; }
};

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

// Parses a fresh jx_buf_alloc copy of the text, since the parser takes ownership of exactly that.
// Null with *status JX_NO_MEMORY when the copy cannot be made.
inline JxDoc *parse_copy(const char *text, size_t n, int *status) {
    char *buf = jx_buf_alloc(n);
    if (!buf) {
        *status = JX_NO_MEMORY;
        return nullptr;
    }
    std::memcpy(buf, text, n);
    return jx_parse(buf, n, nullptr, nullptr, status);
}

// Seconds to parse a fresh copy of text as the Orvel shell does: jx_buf_alloc, jx_parse and
// jx_doc_release are timed, not the copy into the buffer, which stands for reading the file.
inline double timed_parse(const char *text, size_t n, const char *program) {
    auto t0 = Clock::now();
    char *buf = jx_buf_alloc(n);
    double alloc = seconds_since(t0);
    if (!buf) {
        std::fprintf(stderr, "%s: out of memory for a copy of %zu bytes\n", program, n);
        std::exit(2);
    }
    std::memcpy(buf, text, n);
    auto t1 = Clock::now();
    int status = -1;
    JxDoc *doc = jx_parse(buf, n, nullptr, nullptr, &status);
    keep(jx_doc_count(doc));
    jx_doc_release(doc);
    return alloc + seconds_since(t1);
}

// A JxLine that frees itself.
struct Line {
    JxLine l;
    Line() { jx_line_init(&l); }
    ~Line() { jx_line_free(&l); }
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;
    std::string text() const { return std::string(l.text, l.len); }
};

// The floor no parser can beat: one memchr pass over the bytes, looking for a byte JSON text
// does not hold.
inline size_t memchr_pass(const char *p, size_t n) {
    size_t hits = 0;
    const char *end = p + n;
    while (const void *q = std::memchr(p, 0, size_t(end - p))) {
        hits++;
        p = static_cast<const char *>(q) + 1;
    }
    return hits;
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

// The files behind paths: a folder stands for its *.json files, in name order so that two runs
// line up. A folder without any is an error, lest a run that measured nothing pass as a success.
// False after a message when a path gives no file.
inline bool corpus_files(const std::vector<std::string> &paths, const char *program,
                         std::vector<std::string> &files) {
    namespace fs = std::filesystem;
    for (const std::string &p : paths) {
        std::error_code ec;
        if (fs::is_directory(p, ec)) {
            std::vector<std::string> found;
            for (const auto &e : fs::directory_iterator(p, ec))
                if (e.path().extension() == ".json") found.push_back(e.path().string());
            std::sort(found.begin(), found.end());
            if (found.empty()) {
                std::fprintf(stderr, "%s: no *.json files in '%s'\n", program, p.c_str());
                return false;
            }
            files.insert(files.end(), found.begin(), found.end());
        } else if (fs::exists(p, ec)) {
            files.push_back(p);
        } else {
            std::fprintf(stderr, "%s: cannot read '%s': No such file or directory\n", program, p.c_str());
            return false;
        }
    }
    return true;
}

// Options of the benchmarks that run over the generated file, and over the corpus when they take
// files.
struct CorpusOptions {
    bool quick = false;
    Plan small;  // files of a few MB, or other short cases
    Plan large;  // the generated file
    std::string data_dir = ORVEL_BENCH_DATA;
    std::vector<std::string> files;  // folders stand for their *.json files
    bool takes_files = true;         // false: no FILE|DIR arguments, no corpus
    const char *quick_help = nullptr;  // what --quick does, when not just skipping the generated file
};

// The help of parse_corpus_args; unit names what a run times. The defaults shown are opt's, so
// that the help cannot drift from them.
inline int corpus_usage(FILE *to, const char *program, const char *unit, const CorpusOptions &opt) {
    std::string quick = opt.quick_help ? opt.quick_help : std::string("skip the generated ") + GENERATED_NAME + " file";
    std::fprintf(to, "usage: %s [--quick] [--runs N] [--min-seconds S] [--data DIR]%s\n", program,
                 opt.takes_files ? " [FILE|DIR...]" : "");
    if (opt.takes_files)
        std::fprintf(to, "  FILE|DIR         JSON files, or folders of *.json (default: %s)\n", ORVEL_BENCH_CORPUS);
    std::fprintf(
        to,
        "  --quick          %s\n"
        "  --runs N         at least N timed runs per %s (default %d; %d on the large file)\n"
        "  --min-seconds S  keep timing each %s for at least S seconds (default %g)\n"
        "  --data DIR       where the generated file is kept (default: %s)\n"
        "exit status: 0 all results verified, 1 some result was invalid, 2 usage or unreadable input\n",
        quick.c_str(), unit, opt.small.min_runs, opt.large.min_runs, unit, opt.small.min_seconds,
        ORVEL_BENCH_DATA);
    return to == stdout ? 0 : 2;
}

// Reads [--help] [--quick] [--runs N] [--min-seconds S] [--data DIR] [FILE|DIR...] into opt, whose
// plans hold the defaults (no FILE|DIR unless opt.takes_files); --runs N fixes the generated file's runs at N, since a run of it is long.
// Returns false when the program should end with *exit_code, after a message.
inline bool parse_corpus_args(int argc, char **argv, const char *program, const char *unit,
                              CorpusOptions &opt, int *exit_code) {
    const CorpusOptions defaults = opt;
    auto usage = [&](FILE *to) { return corpus_usage(to, program, unit, defaults); };
    std::vector<std::string> paths;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--help") {
            *exit_code = usage(stdout);
            return false;
        } else if (a == "--quick") {
            opt.quick = true;
        } else if (a == "--runs" && has_value) {
            int runs = std::atoi(argv[++i]);
            if (runs < 1) {
                std::fprintf(stderr, "%s: --runs needs a positive number\n", program);
                *exit_code = usage(stderr);
                return false;
            }
            opt.small.min_runs = runs;
            opt.small.max_runs = std::max(opt.small.max_runs, runs);
            opt.large.min_runs = opt.large.max_runs = runs;
        } else if (a == "--min-seconds" && has_value) {
            opt.small.min_seconds = std::atof(argv[++i]);
        } else if (a == "--data" && has_value) {
            opt.data_dir = argv[++i];
        } else if ((!a.empty() && a[0] == '-') || !opt.takes_files) {
            std::fprintf(stderr, "%s: %s '%s'\n", program,
                         opt.takes_files || a[0] == '-' ? "unknown option or missing value" : "unexpected argument",
                         a.c_str());
            *exit_code = usage(stderr);
            return false;
        } else {
            paths.push_back(a);
        }
    }
    if (!opt.takes_files) return true;
    if (paths.empty()) paths.push_back(ORVEL_BENCH_CORPUS);
    if (corpus_files(paths, program, opt.files)) return true;
    *exit_code = 2;
    return false;
}

// The exit status of a benchmark whose checks gave ok, saying so when they did not.
inline int finish(bool ok) {
    if (!ok) std::printf("\nINVALID: some results could not be verified (see above)\n");
    return ok ? 0 : 1;
}

}  // namespace bench
