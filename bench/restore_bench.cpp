// Keeping a view across a reload, and the expansion commands over the generated file.
//
// Restore: an object of --keys keys (1,000,000 by default), every 20th child expanded and the last
// key selected, is saved, one key is inserted at the start of the object, and the state is restored
// over the new document. The time is set beside one pass that decodes every key of the object (the
// least a lookup by key can cost once the keys moved): the target is at most 3 times that, and a
// quarter of the keys must take about a quarter of the time (linear in the keys).
//
// Expansion: default expansion, expand all and collapse all of the generated file, each beside the
// parse time and beside one pass over the nodes, which none of them may exceed by much: each walks
// the document at most once.
//
// Every result is checked before it is timed.
//
// usage: restore_bench [--quick] [--keys N] [--runs N] [--min-seconds S] [--data DIR]
#include <cinttypes>
#include <string>
#include <vector>

#include "bench_generate.h"
#include "bench_util.h"
#include "doc_int.h"
#include "jx.h"
#include "view_int.h"

namespace {

constexpr uint32_t EXPANDED_EVERY = 20;
constexpr double TARGET_RATIO = 3.0;

struct Config {
    bool quick = false;
    uint32_t keys = 1000000;
    bench::Plan small{5, 200, 0.5};
    bench::Plan large{3, 3, 0};
    std::string data_dir = ORVEL_BENCH_DATA;
};

bool parse_args(int argc, char **argv, Config &cfg, int *exit_code) {
    bool keys_given = false;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--help") {
            std::printf(
                "usage: restore_bench [--quick] [--keys N] [--runs N] [--min-seconds S] [--data DIR]\n"
                "  --quick          100,000 keys unless --keys is given, and no generated %s file\n"
                "  --keys N         keys of the restored object (default 1,000,000)\n"
                "  --runs N         at least N timed runs of each case (default 5; 3 on the large file)\n"
                "  --min-seconds S  time each restore case for at least S seconds (default 0.5)\n"
                "  --data DIR       where the generated file is kept (default: %s)\n"
                "exit status: 0 all results verified, 1 some result was invalid, 2 usage\n",
                bench::GENERATED_NAME, ORVEL_BENCH_DATA);
            *exit_code = 0;
            return false;
        } else if (a == "--quick") {
            cfg.quick = true;
        } else if (a == "--keys" && has_value && std::atoi(argv[i + 1]) >= 1000) {
            keys_given = true;
            cfg.keys = uint32_t(std::atoi(argv[++i]));
        } else if (a == "--runs" && has_value && std::atoi(argv[i + 1]) > 0) {
            cfg.small.min_runs = std::atoi(argv[++i]);
            cfg.small.max_runs = std::max(cfg.small.max_runs, cfg.small.min_runs);
            cfg.large.min_runs = cfg.large.max_runs = cfg.small.min_runs;
        } else if (a == "--min-seconds" && has_value) {
            cfg.small.min_seconds = std::atof(argv[++i]);
        } else if (a == "--data" && has_value) {
            cfg.data_dir = argv[++i];
        } else {
            std::fprintf(stderr, "restore_bench: unknown argument '%s' (try --help)\n", a.c_str());
            *exit_code = 2;
            return false;
        }
    }
    if (cfg.quick && !keys_given) cfg.keys = 100000;
    return true;
}

struct Doc {
    JxDoc *doc = nullptr;
    explicit Doc(const std::string &text) {
        int status = 0;
        doc = bench::parse_copy(text.data(), text.size(), &status);
    }
    ~Doc() { jx_doc_release(doc); }
};

std::string key(uint32_t i) { return bench::format("key%07u", i); }

// {"key0000000":[0],...}, with "inserted":0 first when asked.
std::string object(uint32_t keys, bool inserted) {
    std::string s = inserted ? "{\"inserted\":0" : "{";
    for (uint32_t i = 0; i < keys; i++) s += (i || inserted ? ",\"" : "\"") + key(i) + "\":[" + std::to_string(i) + "]";
    return s + "}";
}

// The restore over the edited object matches the saved view key for key.
bool check_restore(const JxView *r, const JxDoc *after, uint32_t keys) {
    const uint32_t last = jx_child_at(after, 0, keys);
    char buf[64];
    bool ok = r && r->selected == last && r->restored_from == nullptr;
    uint32_t open = 0;
    for (uint32_t i = 0; ok && i < keys; i++) {
        const uint32_t c = jx_child_at(after, 0, i + 1);
        jx_key_text(after, c, buf, sizeof buf);
        ok = key(i) == buf && jx_rows_expanded(r->rows, c) == (i % EXPANDED_EVERY == 0);
        open += i % EXPANDED_EVERY == 0;
    }
    ok = ok && jx_rows_open_count(r->rows) == open + 1 && jx_rows_count(r->rows) == keys + 2 + open;
    if (!ok) std::printf("INVALID: the restore over %u keys does not show the saved view\n", keys);
    return ok;
}

struct RestoreResult {
    double restore = 0, decode = 0;
    bool ok = false;
};

RestoreResult time_restore(uint32_t keys, const bench::Plan &plan) {
    RestoreResult res;
    Doc before(object(keys, false)), after(object(keys, true));
    if (!before.doc || !after.doc) {
        std::printf("INVALID: the %u-key objects do not parse\n", keys);
        return res;
    }
    JxView *v = jx_view_new(before.doc);
    // Children first, below the closed root, so that the rows are built once.
    jx_rows_expand_to_level(v->rows, 0);
    for (uint32_t i = 0; i < keys; i += EXPANDED_EVERY) jx_rows_expand(v->rows, jx_child_at(before.doc, 0, i));
    jx_rows_expand(v->rows, 0);
    v->selected = jx_child_at(before.doc, 0, keys - 1);
    JxState *s = jx_view_save(v, 0);
    jx_view_free(v);
    JxView *check = jx_view_restore(after.doc, s, nullptr);
    res.ok = s && check_restore(check, after.doc, keys);
    jx_view_free(check);
    if (!res.ok) {
        jx_state_free(s);
        return res;
    }
    res.restore = bench::measure(plan, [&] {
                      auto t0 = bench::Clock::now();
                      JxView *r = jx_view_restore(after.doc, s, nullptr);
                      double t = bench::seconds_since(t0);
                      jx_view_free(r);
                      return t;
                  }).best();
    jx_state_free(s);
    char buf[256];
    res.decode = bench::measure_all(plan, [&] {
                     const uint32_t end = jx_end(after.doc, 0);
                     size_t total = 0;
                     for (uint32_t c = 1; c < end; c = jx_end(after.doc, c)) total += jx_key_text(after.doc, c, buf, sizeof buf);
                     bench::keep(total);
                 }).best();
    return res;
}

// The generated file's first record as the generator writes it, to tell a file from elsewhere apart.
bool is_generated(const std::string &text) {
    bench::Rng rng{0x0F7E1u};
    std::string first = "[\n";
    bench::generated_detail::put_record(first, rng, 1, false);
    return text.compare(0, first.size(), first) == 0;
}

bool expansion(const Config &cfg) {
    std::string path = bench::ensure_generated(cfg.data_dir, "restore_bench");
    std::string text;
    if (path.empty() || !bench::read_file(path, text)) {
        std::printf("INVALID: cannot read the generated file '%s'\n", path.c_str());
        return false;
    }
    if (!is_generated(text)) {
        std::printf("INVALID: '%s' does not start as the generator writes it\n", path.c_str());
        return false;
    }
    JxDoc *doc = nullptr;
    const double parse = bench::measure(cfg.large, [&] {
                             jx_doc_release(doc);
                             int status = 0;
                             char *buf = jx_buf_alloc(text.size());
                             std::memcpy(buf, text.data(), text.size());
                             auto t0 = bench::Clock::now();
                             doc = jx_parse(buf, text.size(), nullptr, nullptr, &status);
                             return bench::seconds_since(t0);
                         }).best();
    const uint32_t nodes = jx_doc_count(doc), records = jx_child_count(doc, 0);
    std::printf("\n%s: %s bytes, %s nodes, %s records; parse best %.3f s\n", path.c_str(),
                bench::grouped(text.size()).c_str(), bench::grouped(nodes).c_str(), bench::grouped(records).c_str(),
                parse);
    text = std::string();
    // One read of every node: what an operation that walks the whole document once costs at least.
    const double pass = bench::measure_all(cfg.large, [&] {
                            uint64_t sum = 0;
                            for (uint32_t id = 0; id < nodes; id++) sum += jx__node(doc, id)->info & 7;
                            bench::keep(sum);
                        }).best();

    struct Case {
        const char *name;
        void (*prepare)(JxRows *);
        void (*run)(JxRows *);
        uint64_t want_rows;
    };
    const Case cases[] = {
        {"default expansion", [](JxRows *) {}, jx_rows_default, uint64_t{records} + 1},
        {"expand all", [](JxRows *) {}, jx_rows_expand_all, nodes},
        {"collapse all", jx_rows_expand_all, jx_rows_collapse_all, uint64_t{records} + 1},
    };
    bench::Table table;
    table.add({"case", "rows", "best s", "/parse", "/node pass"});
    table.add({"one node pass", "", bench::format("%.4f", pass), bench::format("%.3f", pass / parse), "1.00"});
    bool ok = true;
    for (const Case &c : cases) {
        JxRows *rows = jx_rows_new(doc);
        c.prepare(rows);
        c.run(rows);
        if (jx_rows_count(rows) != c.want_rows) {
            std::printf("INVALID: %s gives %" PRIu64 " rows, not %" PRIu64 "\n", c.name, jx_rows_count(rows),
                        c.want_rows);
            ok = false;
        }
        jx_rows_free(rows);
        const double best = bench::measure(cfg.large, [&] {
                                JxRows *r = jx_rows_new(doc);
                                c.prepare(r);
                                auto t0 = bench::Clock::now();
                                c.run(r);
                                double t = bench::seconds_since(t0);
                                jx_rows_free(r);
                                return t;
                            }).best();
        table.add({c.name, bench::grouped(c.want_rows), bench::format("%.4f", best), bench::format("%.3f", best / parse),
                   bench::format("%.2f", best / pass)});
    }
    std::printf("\n");
    table.print();
    jx_doc_release(doc);
    return ok;
}

}  // namespace

int main(int argc, char **argv) {
    Config cfg;
    int exit_code = 0;
    if (!parse_args(argc, argv, cfg, &exit_code)) return exit_code;
    bench::print_banner("restore_bench: a view restored over a reloaded document; expansion commands");

    const uint32_t quarter = cfg.keys / 4;
    RestoreResult full = time_restore(cfg.keys, cfg.small), part = time_restore(quarter, cfg.small);
    if (!full.ok || !part.ok) return bench::finish(false);
    bench::Table table;
    table.add({"keys", "expanded", "restore ms", "decode ms", "restore/decode", "ns/key"});
    for (auto [keys, r] : {std::pair{quarter, part}, std::pair{cfg.keys, full}})
        table.add({bench::grouped(keys), bench::grouped((keys + EXPANDED_EVERY - 1) / EXPANDED_EVERY),
                   bench::format("%.2f", r.restore * 1e3), bench::format("%.2f", r.decode * 1e3),
                   bench::format("%.2fx", r.restore / r.decode), bench::format("%.1f", r.restore * 1e9 / keys)});
    std::printf("\nrestore after one key inserted at the start, the last key selected (best of runs)\n");
    table.print();
    const double ratio = full.restore / full.decode;
    const double growth = (full.restore / cfg.keys) / (part.restore / quarter);
    std::printf("\ntarget: restore at most %.0fx one decoding pass over the keys: %.2fx, %s\n", TARGET_RATIO, ratio,
                ratio <= TARGET_RATIO ? "met" : "NOT MET");
    std::printf("linear: time per key at %s keys / at %s keys = %.2f\n", bench::grouped(cfg.keys).c_str(),
                bench::grouped(quarter).c_str(), growth);

    bool ok = true;
    if (!cfg.quick) ok = expansion(cfg);
    return bench::finish(ok);
}
