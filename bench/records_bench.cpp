// A broken JSON Lines file: 10 million records generated at run time, every third one unreadable.
// Measures the parse, its peak memory against the planning estimate, and that asking for problem i
// builds at most the one block of readable problem records that holds it.
//
// usage: records_bench [--records N] [--runs N]
#include <string>
#include <string_view>
#include <vector>

#include "bench_util.h"
#include "doc_int.h"
#include "jx.h"

namespace {

// Benchmark names; keep them stable so that two runs can be diffed.
constexpr const char *RECORDS_PARSE = "records/jx_parse";
constexpr const char *MEMCHR_FLOOR = "memchr/floor";

constexpr uint64_t DEFAULT_RECORDS = 10'000'000;
constexpr uint32_t BLOCK = JX_PROBLEM_BLOCK;  // problem records are built this many at a time

constexpr const char *WORDS[] = {"alpha", "bravo", "delta", "harbour", "meridian", "quartz", "Zürich", "東京"};

// The ways a record is broken, each with the message the parser must give.
enum BadKind : uint8_t { MISSING_VALUE, CUT_STRING, WRONG_CLOSE, BAD_LITERAL, CUT_OBJECT, BAD_KINDS };
constexpr const char *BAD_MESSAGES[BAD_KINDS] = {
    "expected a value", "unexpected end of line", "expected , or ] after a value", "invalid literal",
    "unexpected end of line"};

// What the parser must report for one broken record.
struct Expected {
    uint8_t kind;
    uint32_t column;  // 1-based; every failure lies in the ASCII part of its line
};

struct Generated {
    std::string text;
    uint64_t records = 0;
    uint64_t nodes = 1;  // the synthetic root
    std::vector<Expected> bad;  // in line order, so index k is problem k
};

// Appends the pieces; one call rather than a chain of temporary strings.
template <class... Pieces>
void put(std::string &t, const Pieces &...pieces) {
    (t.append(std::string_view(pieces)), ...);
}

// Records of a service log: a third of them broken in one of five ways (an empty value, a string or
// object cut at the line's end, a wrong closing bracket, a misspelt literal); the first is always
// good, since a text whose first value fails is not read as JSON Lines.
Generated generate(uint64_t records) {
    Generated g;
    g.records = records;
    g.text.reserve(size_t(records) * 36);
    g.bad.reserve(size_t(records / 3 + 1));
    bench::Rng rng{0x1E5u};
    std::string &t = g.text;
    for (uint64_t i = 0; i < records; i++) {
        size_t line_start = t.size();
        std::string id = std::to_string(rng.below(10'000'000));
        const char *word = WORDS[rng.below(sizeof WORDS / sizeof *WORDS)];
        if (i % 3 != 1) {
            switch (rng.below(3)) {
                case 0:  // object of three scalars: 4 nodes
                    put(t, "{\"id\":", id, ",\"name\":\"", word, "\",\"ok\":", (rng.below(2) ? "true}" : "false}"));
                    g.nodes += 4;
                    break;
                case 1:  // object with an array: 6 nodes
                    put(t, "{\"id\":", id, ",\"tags\":[\"", word, "\",\"x\"],\"score\":-", id, ".5}");
                    g.nodes += 6;
                    break;
                default:  // array: 4 nodes
                    put(t, "[", id, ",\"", word, "\",null]");
                    g.nodes += 4;
                    break;
            }
        } else {
            auto kind = BadKind(rng.below(BAD_KINDS));
            uint32_t column = 0;
            switch (kind) {
                case MISSING_VALUE:
                    put(t, "{\"id\":", id, ",\"a\":}");
                    column = uint32_t(t.size() - line_start);
                    break;
                case CUT_STRING:
                    put(t, "{\"id\":", id, ",\"name\":\"", word);
                    column = uint32_t(t.size() - line_start) + 1;  // at the line feed
                    break;
                case WRONG_CLOSE:
                    put(t, "{\"id\":", id, ",\"tags\":[1,2}");
                    column = uint32_t(t.size() - line_start);
                    break;
                case BAD_LITERAL:
                    put(t, "{\"id\":", id, ",\"ok\":");
                    column = uint32_t(t.size() - line_start) + 1;  // at the literal's start
                    t += "tru}";
                    break;
                default:
                    put(t, "{\"id\":", id, ",\"name\":\"", "ab\"");
                    column = uint32_t(t.size() - line_start) + 1;  // at the line feed
                    break;
            }
            g.bad.push_back({kind, column});
            g.nodes += 1;  // the unreadable record
        }
        t += '\n';
    }
    return g;
}

// Readable problem blocks the document has built so far.
uint32_t blocks_built(const JxDoc *doc) {
    uint32_t n = 0;
    const std::atomic<jx_problem *> *index = doc->problem_blocks.load(std::memory_order_acquire);
    for (uint32_t b = 0; index && b < doc->block_count; b++) n += index[b].load(std::memory_order_acquire) != nullptr;
    return n;
}

// The document's shape against what was generated; prints each mismatch.
bool verify_shape(const JxDoc *doc, const Generated &g) {
    bool ok = true;
    auto check = [&](const char *what, uint64_t got, uint64_t want) {
        if (got == want) return;
        std::printf("  INVALID: %s is %s, expected %s\n", what, bench::grouped(got).c_str(),
                    bench::grouped(want).c_str());
        ok = false;
    };
    check("format", jx_doc_format(doc), JX_FORMAT_LINES);
    check("record count", jx_child_count(doc, 0), g.records);
    check("node count", jx_doc_count(doc), g.nodes);
    check("problem count", jx_doc_error_count(doc), g.bad.size());
    check("line count", jx_doc_line_count(doc), g.records + 1);  // the text ends with a line feed
    check("blocks built by parsing", blocks_built(doc), 0);

    char want[160], got[512];
    std::snprintf(want, sizeof want, "%s lines could not be read (first: line 2).", bench::grouped(g.bad.size()).c_str());
    jx_errorbar_text(doc, got, sizeof got);
    if (g.bad.size() > 1 && std::strcmp(got, want) != 0) {
        std::printf("  INVALID: error bar reads '%s', expected '%s'\n", got, want);
        ok = false;
    }
    return ok;
}

// Asks for problems across the whole range, each with the blocks it built and how long it took.
// Problem k was made by record 3k + 1, on line 3k + 2.
bool check_lazy_blocks(const JxDoc *doc, const Generated &g) {
    const uint32_t n = uint32_t(g.bad.size());
    if (n == 0) return true;
    std::vector<uint32_t> picks = {0, 1, BLOCK - 1, BLOCK, n / 4, n / 2, n / 2 + 1, 3 * (n / 4), n - 1};
    std::printf("\nproblem records on demand (%s problems in %s blocks of %u)\n", bench::grouped(n).c_str(),
                bench::grouped(doc->block_count).c_str(), BLOCK);
    bench::Table table;
    table.add({"i", "line:column", "message", "blocks built", "µs"});
    bool ok = true;
    uint32_t before_all = blocks_built(doc);
    for (uint32_t i : picks) {
        if (i >= n) continue;
        uint32_t before = blocks_built(doc);
        auto t0 = bench::Clock::now();
        const jx_problem *p = jx_doc_error(doc, i);
        double us = bench::seconds_since(t0) * 1e6;
        uint32_t built = blocks_built(doc) - before;
        const Expected &e = g.bad[i];
        uint64_t line = 3 * uint64_t(i) + 2;
        bool right = p && p->line == line && p->column == e.column && std::strcmp(p->message, BAD_MESSAGES[e.kind]) == 0;
        // Problem 0 is kept ready; any other builds its own block at most once.
        bool cheap = i == 0 ? built == 0 : built <= 1;
        table.add({bench::grouped(i), p ? bench::format("%u:%u", p->line, p->column) : "null", p ? p->message : "-",
                   std::to_string(built), bench::format("%.1f", us)});
        if (!right)
            std::printf("  INVALID: problem %u should be %s:%u: %s\n", i, bench::grouped(line).c_str(), e.column,
                        BAD_MESSAGES[e.kind]);
        if (!cheap) std::printf("  INVALID: problem %u built %u blocks\n", i, built);
        ok = ok && right && cheap;
    }
    table.print();
    uint32_t total = blocks_built(doc) - before_all;
    std::printf("  %u of %s blocks built for %zu lookups\n", total, bench::grouped(doc->block_count).c_str(),
                picks.size());
    return ok;
}

int usage(FILE *to) {
    std::fprintf(to,
                 "usage: records_bench [--records N] [--runs N]\n"
                 "  --records N  records in the generated JSON Lines text (default %s)\n"
                 "  --runs N     timed runs of the parse (default 3)\n"
                 "exit status: 0 all results verified, 1 some result was invalid, 2 usage or out of memory\n",
                 bench::grouped(DEFAULT_RECORDS).c_str());
    return to == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char **argv) {
    uint64_t records = DEFAULT_RECORDS;
    int runs = 3;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--help") return usage(stdout);
        if (a == "--records" && has_value) {
            long long v = std::atoll(argv[++i]);
            if (v < 2 || v > 100'000'000) {
                std::fprintf(stderr, "records_bench: --records needs a number from 2 to 100,000,000\n");
                return usage(stderr);
            }
            records = uint64_t(v);
        } else if (a == "--runs" && has_value) {
            runs = std::atoi(argv[++i]);
            if (runs < 1) {
                std::fprintf(stderr, "records_bench: --runs needs a positive number\n");
                return usage(stderr);
            }
        } else {
            std::fprintf(stderr, "records_bench: unknown option '%s'\n", a.c_str());
            return usage(stderr);
        }
    }

    bench::print_banner("orvel records benchmark");
    std::printf(
        "method:    MB = 10^6 bytes; %s times jx_parse alone on a fresh copy of the text (the copy\n"
        "           stands for reading the file); memory is the peak a parse adds in a forked child.\n",
        RECORDS_PARSE);

    auto t0 = bench::Clock::now();
    Generated g = generate(records);
    const uint64_t n = g.text.size();
    std::printf("\ntext: %s records, %s broken, %s bytes (generated in %.1f s)\n", bench::grouped(records).c_str(),
                bench::grouped(g.bad.size()).c_str(), bench::grouped(n).c_str(), bench::seconds_since(t0));

    // Verify before timing.
    int status = -1;
    JxDoc *doc = bench::parse_copy(g.text.data(), n, &status);
    if (!doc) {
        std::printf("  INVALID: jx_parse failed with status %d\n", status);
        return status == JX_NO_MEMORY ? 2 : 1;
    }
    bool ok = verify_shape(doc, g);
    char text[512];
    jx_status_text(doc, -1, text, sizeof text);
    std::printf("  status:    %s\n", text);
    jx_errorbar_text(doc, text, sizeof text);
    std::printf("  error bar: %s\n", text);
    const uint64_t nodes = jx_doc_count(doc), lines = jx_doc_line_count(doc), problems = jx_doc_error_count(doc);
    ok = check_lazy_blocks(doc, g) && ok;
    jx_doc_release(doc);

    bench::Plan plan{runs, runs, 0};
    bench::Timings parse = bench::measure(plan, [&] {
        char *buf = jx_buf_alloc(n);
        if (!buf) {
            std::fprintf(stderr, "records_bench: out of memory for a copy of %s bytes\n", bench::grouped(n).c_str());
            std::exit(2);
        }
        std::memcpy(buf, g.text.data(), n);
        int st = -1;
        auto t1 = bench::Clock::now();
        JxDoc *d = jx_parse(buf, n, nullptr, nullptr, &st);
        double s = bench::seconds_since(t1);
        bench::keep(jx_doc_count(d));
        jx_doc_release(d);
        return s;
    });
    bench::Timings floor = bench::measure_all(plan, [&] { bench::keep(bench::memchr_pass(g.text.data(), n)); });

    std::printf("\nthroughput\n");
    bench::Table table;
    table.add({"benchmark", "best MB/s", "median MB/s", "best s", "runs", "records/s (best)"});
    table.add({RECORDS_PARSE, bench::format("%.1f", bench::mb_per_s(n, parse.best())),
               bench::format("%.1f", bench::mb_per_s(n, parse.median())), bench::format("%.3f", parse.best()),
               std::to_string(parse.runs.size()), bench::format("%.1f M", records / parse.best() / 1e6)});
    table.add({MEMCHR_FLOOR, bench::format("%.1f", bench::mb_per_s(n, floor.best())),
               bench::format("%.1f", bench::mb_per_s(n, floor.median())), bench::format("%.3f", floor.best()),
               std::to_string(floor.runs.size()), ""});
    table.print();

    // The planning estimate: the text, 20 bytes per node, 12 per stored problem and 4 per line start.
    int64_t growth = bench::child_peak_rss_growth([&] {
        int st = -1;
        JxDoc *d = bench::parse_copy(g.text.data(), n, &st);
        bench::keep(d);
        return d != nullptr;  // the child exits without freeing: the peak is what matters
    });
    std::printf("\nmemory\n");
    if (growth < 0) {
        std::printf("  could not be measured\n");
    } else {
        double estimate = double(n) + 20.0 * nodes + 12.0 * problems + 4.0 * lines;
        bench::Table mem;
        mem.add({"", "MB", "bytes/record"});
        auto row = [&](const char *what, double bytes) {
            mem.add({what, bench::format("%.1f", bytes / 1e6), bench::format("%.1f", bytes / double(records))});
        };
        row("text", double(n));
        row("nodes x 20", 20.0 * nodes);
        row("problems x 12", 12.0 * problems);
        row("lines x 4", 4.0 * lines);
        row("estimate", estimate);
        row("measured peak", double(growth));
        mem.print();
        std::printf("  measured peak / estimate: %.2f\n", double(growth) / estimate);
    }

    return bench::finish(ok);
}
