// Writes the large files the window is measured on: the benchmark's records, about SIZE bytes each,
// as compact JSON, as pretty JSON and as JSON Lines with one bad line in every thousand. The same
// bytes on every machine; a file already there at its size is kept.
//   big_files DIR SIZE_MB...
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "bench_generate.h"

namespace {

namespace fs = std::filesystem;
using Sink = std::function<bool(const std::string &)>;

// Drops the layout whitespace of JSON text that arrives in pieces; a string may span two pieces.
class Compactor {
public:
    std::string operator()(const std::string &piece) {
        std::string out;
        out.reserve(piece.size());
        for (char c : piece) {
            if (in_string) {
                out += c;
                if (escaped) escaped = false;
                else if (c == '\\') escaped = true;
                else if (c == '"') in_string = false;
            } else if (c == '"') {
                in_string = true;
                out += c;
            } else if (c != ' ' && c != '\n') {
                out += c;
            }
        }
        return out;
    }

private:
    bool in_string = false, escaped = false;
};

bool pretty(uint64_t size, const Sink &sink) { return bench::generated_detail::generate_records(size, false, sink); }

// Compact records until size bytes: one array of them, or (as_lines) JSON Lines in which every
// thousandth line is cut off halfway, which makes it a bad line.
bool compact_records(uint64_t size, bool as_lines, const Sink &sink) {
    bench::Rng rng{0x11E5u};
    std::string chunk = as_lines ? "" : "[", record;
    uint64_t written = 0;
    for (uint64_t id = 1; written + chunk.size() < size; id++) {
        record.clear();
        bench::generated_detail::put_record(record, rng, id, false);
        std::string squeezed = Compactor()(record);
        if (as_lines && id % 1000 == 0) squeezed.resize(squeezed.size() / 2);
        if (!as_lines && id > 1) chunk += ',';
        chunk += squeezed;
        if (as_lines) chunk += '\n';
        if (chunk.size() >= (1u << 22)) {
            if (!sink(chunk)) return false;
            written += chunk.size();
            chunk.clear();
        }
    }
    if (!as_lines) chunk += "]\n";
    return sink(chunk);
}

bool compact(uint64_t size, const Sink &sink) { return compact_records(size, false, sink); }
bool lines(uint64_t size, const Sink &sink) { return compact_records(size, true, sink); }

bool write_file(const fs::path &path, uint64_t size, bool (*make)(uint64_t, const Sink &)) {
    std::error_code ec;
    if (fs::exists(path, ec) && fs::file_size(path, ec) + (8u << 20) >= size) return true;
    fs::path tmp = path;
    tmp += ".tmp";
    std::printf("generating %s ...\n", path.c_str());
    std::fflush(stdout);
    FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "big_files: cannot write '%s': %s\n", tmp.c_str(), std::strerror(errno));
        return false;
    }
    bool ok = make(size, [&](const std::string &piece) { return std::fwrite(piece.data(), 1, piece.size(), f) == piece.size(); });
    ok = std::fclose(f) == 0 && ok;
    if (ok) fs::rename(tmp, path, ec);
    if (!ok || ec) {
        std::fprintf(stderr, "big_files: cannot write '%s'\n", path.c_str());
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: big_files DIR SIZE_MB...\n");
        return 2;
    }
    const fs::path dir = argv[1];
    std::error_code ec;
    fs::create_directories(dir, ec);
    for (int i = 2; i < argc; i++) {
        char *end = nullptr;
        const unsigned long long mb = std::strtoull(argv[i], &end, 10);
        if (!mb || *end) {
            std::fprintf(stderr, "big_files: not a size in MB: %s\n", argv[i]);
            return 2;
        }
        const uint64_t size = uint64_t(mb) << 20;
        const std::string tag = std::to_string(mb) + "mb";
        if (!write_file(dir / ("compact-" + tag + ".json"), size, compact) ||
            !write_file(dir / ("pretty-" + tag + ".json"), size, pretty) ||
            !write_file(dir / ("lines-" + tag + ".jsonl"), size, lines))
            return 1;
    }
    return 0;
}
