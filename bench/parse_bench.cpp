// Parse throughput of the Orvel core against simdjson and RapidJSON, with a memchr pass over the
// same bytes as the floor no parser can beat, and Orvel's memory per node.
//
// usage: parse_bench [--quick] [--runs N] [--min-seconds S] [--data DIR] [FILE|DIR...]
#include <rapidjson/document.h>
#include <simdjson.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench_generate.h"
#include "bench_util.h"
#include "jx.h"

namespace {

namespace fs = std::filesystem;

// Benchmark names; keep them stable so that two runs can be diffed.
constexpr const char *ORVEL_COLD = "orvel/cold";
constexpr const char *SIMDJSON_REUSED = "simdjson/dom-reused";
constexpr const char *SIMDJSON_FRESH = "simdjson/dom-fresh";
constexpr const char *RAPIDJSON_DOC = "rapidjson/document";
constexpr const char *MEMCHR_FLOOR = "memchr/floor";

// ---- the parsers ----

// Values in a RapidJSON document, counted the way Orvel counts nodes (keys are not nodes).
uint64_t rapidjson_count(const rapidjson::Value &root) {
    uint64_t n = 0;
    std::vector<const rapidjson::Value *> stack{&root};
    while (!stack.empty()) {
        const rapidjson::Value *v = stack.back();
        stack.pop_back();
        n++;
        if (v->IsObject()) {
            for (auto m = v->MemberBegin(); m != v->MemberEnd(); ++m) stack.push_back(&m->value);
        } else if (v->IsArray()) {
            for (auto e = v->Begin(); e != v->End(); ++e) stack.push_back(&*e);
        }
    }
    return n;
}

// ---- one file ----

struct Result {
    std::string file;
    uint64_t bytes = 0;
    double best[5] = {};  // MB/s by benchmark, in the order of NAMES; 0 when skipped
    double bytes_per_node = 0;
    double estimate_ratio = 0;
};

constexpr const char *NAMES[5] = {ORVEL_COLD, SIMDJSON_REUSED, SIMDJSON_FRESH, RAPIDJSON_DOC, MEMCHR_FLOOR};

std::string ratio(double a, double b) {
    if (a <= 0 || b <= 0) return "-";
    return bench::format(a / b < 0.1 ? "%.4fx" : "%.2fx", a / b);
}

// Benchmarks one file; false when a result could not be verified.
bool run_file(const std::string &path, const bench::Plan &plan, std::vector<Result> &results) {
    auto loaded = simdjson::padded_string::load(path);
    if (loaded.error()) {
        std::fprintf(stderr, "parse_bench: cannot read '%s': %s\n", path.c_str(),
                     simdjson::error_message(loaded.error()));
        return false;
    }
    simdjson::padded_string text = std::move(loaded).value_unsafe();
    const uint64_t n = text.size();
    bool ok = true;

    // Verify before timing: Orvel must read the file cleanly and agree with RapidJSON on the values.
    int status = -1;
    JxDoc *doc = bench::parse_copy(text.data(), text.size(), &status);
    if (!doc) {
        std::printf("\n%s: INVALID: jx_parse failed with status %d\n", path.c_str(), status);
        return false;
    }
    uint64_t nodes = jx_doc_count(doc), lines = jx_doc_line_count(doc), problems = jx_doc_error_count(doc);
    std::printf("\nfile: %s (%s bytes, %s nodes, %s lines)\n", fs::path(path).filename().c_str(),
                bench::grouped(n).c_str(), bench::grouped(nodes).c_str(), bench::grouped(lines).c_str());
    if (nodes == 0 || problems) {
        const jx_problem *p = jx_doc_error(doc, 0);
        std::printf("  INVALID: orvel read %s nodes with %s problems%s%s\n", bench::grouped(nodes).c_str(),
                    bench::grouped(problems).c_str(), p ? "; first: " : "", p ? p->message : "");
        ok = false;
    }
    const uint32_t format = jx_doc_format(doc);
    jx_doc_release(doc);

    bool rapid_ok = false, simd_ok = false;
    {
        rapidjson::Document d;
        d.Parse(text.data(), text.size());
        rapid_ok = !d.HasParseError();
        if (!rapid_ok) {
            std::printf(
                "  NOTE: RapidJSON cannot parse this file (error %d at %zu); its benchmark is skipped\n",
                int(d.GetParseError()), d.GetErrorOffset());
        } else if (format == JX_FORMAT_VALUE && rapidjson_count(d) != nodes) {
            std::printf("  INVALID: orvel has %s nodes, RapidJSON %s values\n", bench::grouped(nodes).c_str(),
                        bench::grouped(rapidjson_count(d)).c_str());
            ok = false;
        }
    }
    {
        simdjson::dom::parser parser;
        auto err = parser.parse(text).error();
        simd_ok = !err;
        if (!simd_ok)
            std::printf("  NOTE: simdjson cannot parse this file (%s); its benchmarks are skipped\n",
                        simdjson::error_message(err));
    }

    Result r;
    r.file = fs::path(path).filename().string();
    r.bytes = n;
    bench::Timings t[5];
    t[0] = bench::measure(plan, [&] { return bench::timed_parse(text.data(), text.size(), "parse_bench"); });
    if (simd_ok) {
        simdjson::dom::parser parser;
        bench::keep(parser.parse(text).error());  // sizes the parser once, outside the timing
        t[1] = bench::measure_all(plan, [&] { bench::keep(parser.parse(text).error()); });
    }
    if (simd_ok) {
        t[2] = bench::measure_all(plan, [&] {
            simdjson::dom::parser parser;
            bench::keep(parser.parse(text).error());
        });
    }
    if (rapid_ok) {
        t[3] = bench::measure_all(plan, [&] {
            rapidjson::Document d;
            d.Parse(text.data(), text.size());
            bench::keep(d.HasParseError());
        });
    }
    t[4] = bench::measure_all(plan, [&] { bench::keep(bench::memchr_pass(text.data(), text.size())); });

    bench::Table table;
    table.add({"benchmark", "best MB/s", "median MB/s", "runs", "orvel/cold vs it"});
    for (int i = 0; i < 5; i++) {
        if (t[i].runs.empty()) {
            table.add({NAMES[i], "skipped"});
            continue;
        }
        r.best[i] = bench::mb_per_s(n, t[i].best());
        table.add({NAMES[i], bench::format("%.1f", r.best[i]),
                   bench::format("%.1f", bench::mb_per_s(n, t[i].median())), std::to_string(t[i].runs.size()),
                   i ? ratio(r.best[0], r.best[i]) : ""});
    }
    table.print();
    if (t[0].best() > 0)
        std::printf("  orvel/cold: %.1f million nodes/s (best)\n", nodes / t[0].best() / 1e6);

    // Memory: the peak a parse adds in a fresh child, text buffer included, against the planning
    // estimate of text + 20 bytes per node + 4 bytes per line + 1 MB.
    int64_t growth = bench::child_peak_rss_growth([&] {
        int st = -1;
        JxDoc *d = bench::parse_copy(text.data(), text.size(), &st);
        bool good = d != nullptr;
        bench::keep(d);
        return good;  // the child exits without freeing: the peak is what matters
    });
    if (growth < 0) {
        std::printf("  memory: could not be measured\n");
    } else {
        double estimate = double(n) + 20.0 * nodes + 4.0 * lines + (1 << 20);
        r.bytes_per_node = nodes ? (double(growth) - double(n)) / double(nodes) : 0;
        r.estimate_ratio = growth / estimate;
        std::printf(
            "  memory: peak +%.1f MB (text %.1f MB); %.1f bytes/node beyond the text; %.2f bytes per input "
            "byte; %.2f of the estimate\n",
            growth / 1e6, n / 1e6, r.bytes_per_node, double(growth) / double(n ? n : 1), r.estimate_ratio);
    }
    results.push_back(r);
    return ok;
}

void print_summary(const std::vector<Result> &results) {
    std::printf("\nsummary (best MB/s; ratios are orvel/cold to the peer)\n");
    bench::Table table;
    table.add({"file", "MB", ORVEL_COLD, "vs simdjson/dom-reused", "vs simdjson/dom-fresh",
               "vs rapidjson/document", "vs memchr/floor", "bytes/node", "of estimate"});
    for (const Result &r : results) {
        table.add({r.file, bench::format("%.1f", r.bytes / 1e6), bench::format("%.1f", r.best[0]),
                   ratio(r.best[0], r.best[1]), ratio(r.best[0], r.best[2]), ratio(r.best[0], r.best[3]),
                   ratio(r.best[0], r.best[4]), bench::format("%.1f", r.bytes_per_node),
                   bench::format("%.2f", r.estimate_ratio)});
    }
    table.print();
}

}  // namespace

int main(int argc, char **argv) {
    bench::CorpusOptions cfg;
    cfg.small = {10, 1000, 0.5};
    cfg.large = {5, 5, 0};
    int exit_code = 0;
    if (!bench::parse_corpus_args(argc, argv, "parse_bench", "benchmark", cfg, &exit_code)) return exit_code;

    bench::print_banner("orvel parse benchmark");
    std::printf("peers:     simdjson %d.%d.%d (kernel %s), RapidJSON %s\n",
                int(simdjson::SIMDJSON_VERSION_MAJOR), int(simdjson::SIMDJSON_VERSION_MINOR),
                int(simdjson::SIMDJSON_VERSION_REVISION),
                simdjson::get_active_implementation()->name().c_str(), RAPIDJSON_VERSION_STRING);
    std::printf(
        "method:    MB = 10^6 bytes; best and median of the runs. %s times jx_buf_alloc + jx_parse +\n"
        "           jx_doc_release, not the copy of the file into the fresh buffer; %s reuses one\n"
        "           parser, %s makes one per run; %s is Document::Parse with a fresh document.\n",
        ORVEL_COLD, SIMDJSON_REUSED, SIMDJSON_FRESH, RAPIDJSON_DOC);

    bool all_ok = true;
    std::vector<Result> results;
    for (const std::string &f : cfg.files) all_ok = run_file(f, cfg.small, results) && all_ok;
    if (!cfg.quick) {
        std::string big = bench::ensure_generated(cfg.data_dir, "parse_bench");
        if (big.empty()) return 2;
        all_ok = run_file(big, cfg.large, results) && all_ok;
    }
    print_summary(results);
    return bench::finish(all_ok);
}
