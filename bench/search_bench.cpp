// Search throughput of the Orvel core over an open document, beside grep over the same file:
// plain text with case (grep -F), plain text ignoring case (grep -i -F), a simple regular
// expression that holds a literal (grep -E) and one that holds none. Every Orvel result is first checked
// against a naive search that decodes each key and value.
//
// usage: search_bench [--quick] [--runs N] [--min-seconds S] [--data DIR] [FILE|DIR...]
#include <locale.h>
#include <oniguruma.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_generate.h"
#include "bench_util.h"
#include "jx.h"

namespace {

namespace fs = std::filesystem;

// Benchmark names; keep them stable so that two runs can be diffed.
enum Kind {
    PLAIN_CASE,
    PLAIN_NOCASE,
    REGEX,
    REGEX_BARE,
    KINDS
};
constexpr const char *KIND_NAMES[KINDS] = {"plain/case", "plain/nocase", "regex", "regex/noliteral"};
constexpr const char *GREP_FLAGS[KINDS] = {"-F", "-i -F", "-E", "-E"};

// Per file: a word that occurs in it, the same word in other case, a simple expression with a
// literal every match holds, and one without (which the engine must try on every key and value).
struct Queries {
    const char *file;
    const char *q[KINDS];
};
constexpr Queries QUERIES[] = {
    {"canada.json", {"Polygon", "POLYGON", "-6[0-9]\\.6", "[0-9]{3}\\.[0-9]"}},
    {"citm_catalog.json", {"balcon", "BALCON", "[0-9]{9}", "[0-9]{9}"}},
    {"gsoc-2018.json", {"Python", "PYTHON", "[Pp]ython [0-9]", "[A-Z][a-z]+ [0-9]"}},
    {"mesh.json", {"0.06", "0.06", "0\\.06[0-9]", "[0-9]\\.[0-9]{3}"}},
    {"twitter.json", {"http", "HTTP", "@[a-z]+_", "@[a-z]+_"}},
    {bench::GENERATED_NAME, {"meridian", "MERIDIAN", "meri[a-z]+ orbit", "[a-z]{5} [a-z]{6}"}},
    {nullptr, {"name", "NAME", "na[a-z]e", "[a-z]{3}[0-9]"}},
};

const Queries &queries_for(const std::string &path) {
    std::string name = fs::path(path).filename().string();
    for (const Queries &q : QUERIES)
        if (!q.file || name == q.file) return q;
    return QUERIES[std::size(QUERIES) - 1];
}

// ---- the naive reference ----

// Lower case of A-Z and U+00C0..U+017F, as the C library knows it; other characters stay.
std::string fold(const std::string &t) {
    static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    std::string out;
    out.reserve(t.size());
    for (size_t i = 0; i < t.size();) {
        auto c = uint8_t(t[i]);
        if (c >= 0xC3 && c <= 0xC5 && i + 1 < t.size() && (uint8_t(t[i + 1]) & 0xC0) == 0x80) {
            wint_t cp = towlower_l(wint_t((c & 0x1F) << 6 | (t[i + 1] & 0x3F)), utf8);
            if (cp < 0x80) {
                out += char(cp);
            } else {
                out += char(0xC0 | cp >> 6);
                out += char(0x80 | (cp & 0x3F));
            }
            i += 2;
        } else {
            out += char(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
            i++;
        }
    }
    return out;
}

// Nodes whose decoded key or value holds the query, found one node at a time.
uint32_t naive_count(const JxDoc *doc, Kind kind, const std::string &query) {
    OnigRegex re = nullptr;
    OnigErrorInfo info;
    if (kind >= REGEX) {
        auto *p = reinterpret_cast<const OnigUChar *>(query.data());
        if (onig_new(&re, p, p + query.size(), ONIG_OPTION_NONE, ONIG_ENCODING_UTF8, ONIG_SYNTAX_ONIGURUMA,
                     &info) != ONIG_NORMAL)
            return JX_NONE;
    }
    const std::string folded = fold(query);
    std::string buf(256, 0);
    auto text = [&](uint32_t id, bool key) {
        for (;;) {
            size_t n = key ? jx_key_text(doc, id, buf.data(), buf.size())
                           : jx_val_text(doc, id, buf.data(), buf.size());
            if (n < buf.size()) return std::string_view(buf.data(), n);
            buf.resize(n + 1);
        }
    };
    auto match = [&](std::string_view t) {
        if (kind == PLAIN_CASE) return t.find(query) != t.npos;
        if (kind == PLAIN_NOCASE) return fold(std::string(t)).find(folded) != std::string::npos;
        auto *p = reinterpret_cast<const OnigUChar *>(t.data());
        return onig_search(re, p, p + t.size(), p, p + t.size(), nullptr, ONIG_OPTION_NONE) >= 0;
    };
    uint32_t hits = 0;
    for (uint32_t id = 0; id < jx_doc_count(doc); id++) {
        bool hit = jx_has_key(doc, id) && match(text(id, true));
        if (!hit && jx_type(doc, id) > JX_ARRAY) hit = match(text(id, false));
        hits += hit;
    }
    if (re) onig_free(re);
    return hits;
}

// ---- the two searchers ----

JxSearch *orvel_search(JxDoc *doc, Kind kind, const std::string &query) {
    JxSearchOptions opt{};
    opt.match_case = kind != PLAIN_NOCASE;
    opt.regex = kind >= REGEX;
    char err[256];
    JxSearch *s = jx_search_new(doc, query.data(), query.size(), &opt, err, sizeof err);
    if (!s) {
        std::fprintf(stderr, "search_bench: cannot search for '%s': %s\n", query.c_str(), err);
        std::exit(2);
    }
    if (jx_search_run(s, nullptr) != JX_OK) {
        std::fprintf(stderr, "search_bench: the search for '%s' failed\n", query.c_str());
        std::exit(2);
    }
    return s;
}

// Single quotes around an argument for the shell.
std::string quoted(const std::string &s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs grep once and returns its count of matching lines, or -1.
long grep_count(Kind kind, const std::string &query, const std::string &path) {
    std::string cmd =
        std::string("grep -c ") + GREP_FLAGS[kind] + " -e " + quoted(query) + " " + quoted(path);
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    long n = -1;
    if (std::fscanf(p, "%ld", &n) != 1) n = -1;
    int status = pclose(p);
    return WIFEXITED(status) && WEXITSTATUS(status) <= 1 ? n : -1;
}

// ---- one file ----

struct Result {
    std::string file;
    Kind kind = PLAIN_CASE;
    std::string query;
    uint64_t bytes = 0;
    uint32_t hits = 0;
    long grep_lines = 0;
    bench::Timings orvel, grep;
};

bool run_file(const std::string &path, const bench::Plan &plan, std::vector<Result> &results) {
    std::string text;
    if (!bench::read_file(path, text)) {
        std::fprintf(stderr, "search_bench: cannot read '%s': %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    int status = -1;
    JxDoc *doc = bench::parse_copy(text.data(), text.size(), &status);
    if (!doc && status == JX_NO_MEMORY) {
        std::fprintf(stderr, "search_bench: out of memory for '%s'\n", path.c_str());
        return false;
    }
    if (!doc) {
        std::fprintf(stderr, "search_bench: cannot parse '%s' (status %d)\n", path.c_str(), status);
        return false;
    }
    std::string().swap(text);
    bool ok = true;
    const Queries &qs = queries_for(path);
    for (int k = 0; k < KINDS; k++) {
        Kind kind = Kind(k);
        Result r;
        r.file = fs::path(path).filename().string();
        r.kind = kind;
        r.query = qs.q[k];
        r.bytes = jx_doc_size(doc);
        JxSearch *s = orvel_search(doc, kind, r.query);
        r.hits = jx_search_count(s);
        jx_search_free(s);
        uint32_t want = naive_count(doc, kind, r.query);
        if (r.hits != want) {
            std::printf("INVALID: %s %s '%s': %u hits, the naive search finds %u\n", r.file.c_str(),
                        KIND_NAMES[k], r.query.c_str(), r.hits, want);
            ok = false;
        }
        r.orvel = bench::measure_all(plan, [&] { jx_search_free(orvel_search(doc, kind, r.query)); });
        r.grep_lines = grep_count(kind, r.query, path);
        if (r.grep_lines < 0) {
            std::printf("INVALID: grep failed on %s\n", path.c_str());
            ok = false;
        }
        r.grep = bench::measure_all(plan, [&] { bench::keep(grep_count(kind, r.query, path)); });
        std::printf("  %-22s %-13s %9s hits  orvel %8.1f MB/s  grep %8.1f MB/s\n", r.file.c_str(),
                    KIND_NAMES[k], bench::grouped(r.hits).c_str(), bench::mb_per_s(r.bytes, r.orvel.best()),
                    bench::mb_per_s(r.bytes, r.grep.best()));
        std::fflush(stdout);
        results.push_back(std::move(r));
    }
    jx_doc_release(doc);
    return ok;
}

void print_summary(const std::vector<Result> &results) {
    std::printf("\nsummary (MB/s from the best run; speed = orvel MB/s / grep MB/s, above 1 is faster)\n");
    bench::Table table;
    table.add({"file", "MB", "search", "query", "hits", "orvel best", "orvel median", "grep lines",
               "grep best", "grep median", "speed"});
    for (const Result &r : results) {
        table.add({r.file, bench::format("%.1f", r.bytes / 1e6), KIND_NAMES[r.kind], r.query,
                   bench::grouped(r.hits), bench::format("%.1f", bench::mb_per_s(r.bytes, r.orvel.best())),
                   bench::format("%.1f", bench::mb_per_s(r.bytes, r.orvel.median())),
                   bench::grouped(uint64_t(std::max(0L, r.grep_lines))),
                   bench::format("%.1f", bench::mb_per_s(r.bytes, r.grep.best())),
                   bench::format("%.1f", bench::mb_per_s(r.bytes, r.grep.median())),
                   bench::format("%.2fx", r.grep.best() / r.orvel.best())});
    }
    table.print();
    for (const Result &r : results) {
        if (r.file != bench::GENERATED_NAME || r.kind == REGEX_BARE) continue;
        double limit = r.kind == PLAIN_CASE ? 1.0 : r.kind == PLAIN_NOCASE ? 1.5 : 1.0;
        double ratio = r.orvel.best() / r.grep.best();
        std::printf("target %-13s time at most %.1fx grep's: %.2fx, %s\n", KIND_NAMES[r.kind], limit, ratio,
                    ratio <= limit ? "met" : "NOT MET");
    }
}

}  // namespace

int main(int argc, char **argv) {
    bench::CorpusOptions cfg;
    cfg.small = {5, 100, 0.5};
    cfg.large = {3, 3, 0};
    int exit_code = 0;
    if (!bench::parse_corpus_args(argc, argv, "search_bench", "search", cfg, &exit_code)) return exit_code;
    if (!cfg.quick) {
        std::string big = bench::ensure_generated(cfg.data_dir, "search_bench");
        if (big.empty()) return 2;
        cfg.files.push_back(big);
    }

    bench::print_banner("orvel search benchmark");
    FILE *v = popen("grep --version", "r");
    char line[256] = "unknown";
    if (v) {
        if (!std::fgets(line, sizeof line, v)) std::strcpy(line, "unknown\n");
        pclose(v);
    }
    const char *loc = std::getenv("LC_ALL");
    if (!loc || !*loc) loc = std::getenv("LANG");
    std::printf("peer:      %s", line);
    std::printf("locale:    %s (grep inherits it)\n", loc && *loc ? loc : "unset");
    std::printf(
        "method:    MB = 10^6 bytes. orvel times jx_search_new + jx_search_run + jx_search_free over\n"
        "           a document parsed beforehand; grep times the whole `grep -c` process over the file\n"
        "           (page cache warm). Hits are nodes for orvel, matching lines for grep.\n");

    bool ok = true;
    std::vector<Result> results;
    for (const std::string &f : cfg.files) {
        bool large =
            f.size() >= std::strlen(bench::GENERATED_NAME) && fs::path(f).filename() == bench::GENERATED_NAME;
        ok = run_file(f, large ? cfg.large : cfg.small, results) && ok;
    }
    print_summary(results);
    return bench::finish(ok);
}
