// The large generated file the benchmarks share: about 512 MiB of pretty-printed API-dump records,
// the same bytes on every machine, written into the build folder at run time and never committed.
// Smaller documents of the same records, with or without comments, are made in memory.
#pragma once

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench_util.h"

namespace bench {

namespace generated_detail {
namespace fs = std::filesystem;
// clang-format off
constexpr const char *WORDS[] = {
    "alpha", "bravo", "delta", "echo", "harbour", "lattice", "meridian", "orbit", "quartz", "river",
    "signal", "timber", "vector", "willow", "zenith", "Zürich", "Łódź", "São Paulo", "東京", "Москва",
    "café", "naïve", "Ελλάδα", "日本語", "😀", "🌦", "a\\\"quoted\\\" word", "tab\\there", "line\\nbreak",
    "\\u00e9t\\u00e9", "back\\\\slash", "\\ud83d\\ude00"};
// clang-format on
constexpr size_t WORD_COUNT = sizeof WORDS / sizeof WORDS[0];

inline void put_words(std::string &out, Rng &rng, int n) {
    for (int i = 0; i < n; i++) {
        if (i) out += ' ';
        // Mostly ASCII, as real data is; the rest exercises UTF-8 and escapes.
        out += WORDS[rng.chance(80) ? rng.below(15) : rng.below(WORD_COUNT)];
    }
}

inline void put_number(std::string &out, Rng &rng) {
    switch (rng.below(5)) {
        case 0: out += std::to_string(rng.below(1000)); break;
        case 1: out += std::to_string(int64_t(rng.next() >> 12) - (int64_t(1) << 51)); break;
        case 2: out += bench::format("%.6f", (int64_t(rng.below(2000000)) - 1000000) / 1000.0); break;
        case 3: out += bench::format("%.3e", double(rng.next() >> 11) * 1e-10); break;
        default: out += bench::format("-%u.%02u", rng.below(100), rng.below(100)); break;
    }
}

// One record: a pretty-printed object (2-space indent, short scalar arrays on one line) of the
// kinds of values an API dump holds. With comments, a line comment comes before it and every fourth
// record holds a block comment over two lines; the random values are the same either way.
inline void put_record(std::string &out, Rng &rng, uint64_t id, bool comments) {
    if (comments) out += "  // record " + std::to_string(id) + "\n";
    out += "  {\n    \"id\": " + std::to_string(id) + ",\n";
    out += bench::format("    \"guid\": \"%08x-%04x-%04x-%012" PRIx64 "\",\n", uint32_t(rng.next()),
                         rng.below(0x10000), rng.below(0x10000), rng.next() >> 16);
    if (comments && id % 4 == 0) out += "    /* imported from the\n       legacy store */\n";
    out += "    \"active\": ";
    out += rng.chance(50) ? "true" : "false";
    out += ",\n    \"name\": \"";
    put_words(out, rng, 1 + int(rng.below(3)));
    out += "\",\n    \"score\": ";
    put_number(out, rng);
    out += ",\n    \"tags\": [";
    for (int i = 0, n = int(rng.below(5)); i < n; i++) {
        out += i ? ", \"" : "\"";
        put_words(out, rng, 1);
        out += '"';
    }
    out += "],\n    \"location\": {\n      \"lat\": ";
    out += bench::format("%.7f", (int64_t(rng.below(180000000)) - 90000000) / 1e6);
    out += ",\n      \"lon\": ";
    out += bench::format("%.7f", (int64_t(rng.below(360000000)) - 180000000) / 1e6);
    out += ",\n      \"alt\": ";
    if (rng.chance(30)) {
        out += "null";
    } else {
        put_number(out, rng);
    }
    out += "\n    },\n    \"history\": [";
    for (int i = 0, n = int(rng.below(6)); i < n; i++) {
        out += i ? ", [" : "[";
        out += std::to_string(1700000000 + rng.below(100000000));
        out += ", ";
        put_number(out, rng);
        out += rng.chance(20) ? ", null]" : "]";
    }
    out += "],\n    \"notes\": ";
    if (rng.chance(40)) {
        out += "null";
    } else {
        out += '"';
        put_words(out, rng, 3 + int(rng.below(12)));
        out += '"';
    }
    out += ",\n    \"counts\": [";
    for (int i = 0, n = 1 + int(rng.below(8)); i < n; i++) {
        if (i) out += ", ";
        out += std::to_string(rng.below(100000));
    }
    out += "]\n  }";
}

// Calls sink with the generated document in pieces of about 4 MiB: "[", records until size bytes
// would be reached, "]". False as soon as sink returns false.
template <class Sink>
inline bool generate_records(uint64_t size, bool comments, Sink &&sink) {
    Rng rng{0x0F7E1u};
    std::string chunk = "[\n";
    uint64_t written = 0;
    for (uint64_t id = 1; written + chunk.size() < size; id++) {
        if (id > 1) chunk += ",\n";
        put_record(chunk, rng, id, comments);
        if (chunk.size() >= (1u << 22)) {
            if (!sink(chunk)) return false;
            written += chunk.size();
            chunk.clear();
        }
    }
    chunk += "\n]\n";
    return sink(chunk);
}

}  // namespace generated_detail

// The generated document of about size bytes in memory: the start of the large file, closed early,
// or the same records with comments.
inline std::string generated_text(uint64_t size, bool comments) {
    std::string text;
    generated_detail::generate_records(size, comments, [&](const std::string &chunk) {
        text += chunk;
        return true;
    });
    return text;
}

// Writes the generated file into dir unless it is already there; returns its path, or "" on failure.
inline std::string ensure_generated(const std::string &dir, const char *program) {
    namespace fs = std::filesystem;
    fs::path path = fs::path(dir) / GENERATED_NAME;
    std::error_code ec;
    if (fs::exists(path, ec) && fs::file_size(path, ec) >= GENERATED_SIZE) return path.string();
    fs::create_directories(dir, ec);
    fs::path tmp = path;
    tmp += ".tmp";
    std::printf("generating %s (%s bytes) ...\n", path.c_str(), bench::grouped(GENERATED_SIZE).c_str());
    std::fflush(stdout);
    FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "%s: cannot write '%s': %s\n", program, tmp.c_str(), std::strerror(errno));
        return "";
    }
    bool ok = generated_detail::generate_records(GENERATED_SIZE, false, [&](const std::string &chunk) {
        return std::fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size();
    });
    ok = std::fclose(f) == 0 && ok;
    if (ok) fs::rename(tmp, path, ec);
    if (!ok || ec) {
        std::fprintf(stderr, "%s: cannot write '%s'\n", program, path.c_str());
        fs::remove(tmp, ec);
        return "";
    }
    return path.string();
}

}  // namespace bench
