// orvel-cli: the core without a window, for scripts, tests and quick looks at a file.
// Each subcommand is one function in the table below; results go to stdout, failures to stderr.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"

namespace cli {

constexpr const char *USAGE =
    "usage: orvel-cli parse [--strict] [--lines] [--limit N] [--no-time] FILE...\n"
    "       orvel-cli json [--min] [--strict] [--lines] FILE [PATH]\n"
    "       orvel-cli path [--style STYLE] [--strict] [--lines] FILE PATH\n"
    "       orvel-cli text [--source] [--width N] [--strict] [--lines] FILE\n"
    "       orvel-cli inspect [--style STYLE] [--strict] [--lines] FILE PATH\n"
    "       orvel-cli find [--case] [--regex] [--keys|--values] [--max N] FILE QUERY\n"
    "       orvel-cli rows [--level N | --all] [--text pretty|source] [--from R] [--count C] FILE\n"
    "       orvel-cli drive [--strict] [--lines] FILE < COMMANDS\n"
    "       orvel-cli --help\n";

constexpr const char *HELP =
    "Reads JSON, JSON with comments, JSON5, JSON Lines and files of several values\n"
    "(UTF-8 or UTF-16) with the Orvel core.\n"
    "\n"
    "commands:\n"
    "  parse FILE...   print each file's format, encoding, syntax, node, line and\n"
    "                  problem counts, the status line and error bar texts, and one\n"
    "                  line per problem as LINE:COLUMN: MESSAGE\n"
    "  json FILE [PATH]\n"
    "                  write the file's document, or the value that PATH names, as\n"
    "                  JSON, indented by 2 spaces\n"
    "  path FILE PATH  print the path of the node that PATH names, then its value as\n"
    "                  json writes it; PATH may be written in any of the styles, as\n"
    "                  in $.a['b c'][3], .a[\"b c\"][3], a[\"b c\"][3], [\"a\"][\"b c\"][3]\n"
    "                  or /a/b c/3\n"
    "  text FILE       print the lines of the Text view: the document re-indented, or\n"
    "                  with --source the file's own lines, as plain text\n"
    "  inspect FILE PATH\n"
    "                  print the inspector's text of the node that PATH names: its\n"
    "                  summary, its path, then its value (at most 2 MB of it)\n"
    "  find FILE QUERY print the number of keys and values that contain QUERY, then\n"
    "                  for each of the first hits its node id, a tab and its row as\n"
    "                  the tree shows it (120 characters)\n"
    "  rows FILE       print the rows of the Tree view as a window first shows them (or\n"
    "                  the lines of the Text view with --text), one a line: the depth,\n"
    "                  \"+\" collapsed, \"v\" expanded or \"-\", and the row as drawn 120\n"
    "                  characters wide; Text view lines start with their number\n"
    "  drive FILE      show FILE as a window would and carry out the commands read from\n"
    "                  standard input, one a line (\"#\" starts a comment):\n"
    "                    key COMBO             a key, as in mod+shift+g, alt+3, down, f3\n"
    "                    type TEXT             type-to-select, 10 ms per character\n"
    "                    clock MS              set the typing clock\n"
    "                    click ROW [chevron] [alt] [shift] [double]\n"
    "                    search QUERY [/case] [/regex] [/keys|/values]\n"
    "                    find-next, find-prev, next-problem, back, forward\n"
    "                    goto PATH, crumb N, view tree|text, level N (1 to 9)\n"
    "                    expand-all, collapse-all, command N (a view command)\n"
    "                    copy value|key|path|path-jq|path-js|path-python|path-pointer|\n"
    "                         json|json-min\n"
    "                    dump rows FIRST COUNT, dump state, dump inspector\n"
    "                    reload FILE           read FILE in place of the document,\n"
    "                                          keeping the view\n"
    "                  Dumps print a line \"--- dump ...\" and the dump; copies \"--- copy\n"
    "                  KIND\", the text and a line feed. Page keys move 10 rows.\n"
    "\n"
    "A FILE of - reads standard input.\n"
    "\n"
    "options:\n"
    "  --strict        accept plain JSON only; every lenient form is a problem\n"
    "  --lines         read the text as JSON Lines from the start\n"
    "  --limit N       (parse) print at most N problem lines per file (default 20),\n"
    "                  then how many more there are\n"
    "  --no-time       (parse) leave the parse time out of the status line, so that\n"
    "                  the output is the same on every run (for tests)\n"
    "  --min           (json) write minified JSON\n"
    "  --style STYLE   (path, inspect) the style of the path printed: jsonpath (default),\n"
    "                  jq, js, python or pointer\n"
    "  --source        (text) the file's own lines instead of the re-indented ones\n"
    "  --width N       (text) cut lines at N characters with \"\u2026\" (default 0: whole)\n"
    "  --case          (find) match case; without it case is ignored\n"
    "  --regex         (find) QUERY is a regular expression (Oniguruma syntax)\n"
    "  --keys          (find) look in keys only\n"
    "  --values        (find) look in values only\n"
    "  --max N         (find) print at most N hits (default 20); all are counted\n"
    "  --level N       (rows) expand to level N (1 to 9) instead of the default\n"
    "  --all           (rows) expand everything\n"
    "  --text MODE     (rows) the Text view's lines: pretty or source\n"
    "  --from R        (rows) the first row printed (default 0)\n"
    "  --count C       (rows) print at most C rows (default all)\n"
    "  --              end of options: a FILE, PATH or QUERY may start with -\n"
    "  --help          show this text\n"
    "\n"
    "exit status:\n"
    "  0  every file was read without problems\n"
    "  1  some file has problems (what could be read is still shown)\n"
    "  2  a file could not be read or parsed, output failed, or the command line is wrong\n"
    "json with a PATH, path and inspect exit with 1 also when PATH names no node (the reason\n"
    "goes to standard error).\n"
    "find exits with 0 when something was found, 1 when nothing was, and 2 when the\n"
    "file could not be read, the query is not valid or the command line is wrong.\n"
    "drive exits with 0 when every command ran; a command it cannot run is reported as\n"
    "\"orvel-cli: line N: MESSAGE\" and exits with 2.\n";

int usage_error(const char *fmt, const char *arg) {
    std::fprintf(stderr, "orvel-cli: ");
    std::fprintf(stderr, fmt, arg);
    std::fprintf(stderr, "\n%s", USAGE);
    return EXIT_FAILURE_OR_MISUSE;
}

// The names of --style, in the order of the JX_PATH_* numbers.
constexpr const char *STYLE_NAMES[] = {"jsonpath", "jq", "js", "python", "pointer"};

// A count given on the command line: decimal digits only, so that "-1", "+5" or "5x" is not read as
// a huge or partial number.
bool parse_count(std::string_view s, uint64_t &out) {
    const char *end = s.data() + s.size();
    auto [at, ec] = std::from_chars(s.data(), end, out);
    return ec == std::errc() && at == end;
}

// An option that takes a value: "--max" and "--max=N", but not "--maximum".
bool is_valued_option(std::string_view arg, std::string_view name) {
    return arg.starts_with(name) && (arg.size() == name.size() || arg[name.size()] == '=');
}

// The value of the option NAME at args[i], given as "NAME=VALUE" or as "NAME VALUE" (then i moves on
// to VALUE); null when it is missing.
const char *option_value(std::span<char *> args, size_t &i, std::string_view name) {
    if (std::string_view(args[i]).size() > name.size()) return args[i] + name.size() + 1;
    return i + 1 < args.size() ? args[++i] : nullptr;
}

// The number of the count option at args[i]. Returns -1 when it is read into out, else the exit
// status after a usage message.
int count_option(std::span<char *> args, size_t &i, std::string_view name, uint64_t &out) {
    const char *value = option_value(args, i, name);
    if (!value) return usage_error("%s needs a number", std::string(name).c_str());
    if (!parse_count(value, out))
        return usage_error("%s", (std::string(name) + " needs a number, not '" + value + "'").c_str());
    return -1;
}

// The path style of --style at args[i], by name. Returns -1 when it is read into out, else the exit
// status after a usage message.
int style_option(std::span<char *> args, size_t &i, int &out) {
    const char *value = option_value(args, i, "--style");
    for (int s = 0; value && s < int(std::size(STYLE_NAMES)); s++) {
        if (std::strcmp(value, STYLE_NAMES[s]) == 0) {
            out = s;
            return -1;
        }
    }
    std::string given = value ? std::string(", not '") + value + "'" : "";
    return usage_error("--style needs jsonpath, jq, js, python or pointer%s", given.c_str());
}

// Splits args into options and files; "--" ends the options so that a file may start with '-'.
// Returns -1 when the arguments are fine, else the exit status after a usage message.
int parse_args(std::span<char *> args, unsigned allowed, Options &opt) {
    bool options_done = false;
    for (size_t i = 0; i < args.size(); i++) {
        char *arg = args[i];
        std::string_view a(arg);
        if (options_done || a.size() < 2 || a[0] != '-') {
            opt.files.push_back(arg);
        } else if (a == "--") {
            options_done = true;
        } else if (a == "--strict" && (allowed & OPT_STRICT)) {
            opt.strict = true;
        } else if (a == "--lines" && (allowed & OPT_LINES)) {
            opt.lines = true;
        } else if (a == "--min" && (allowed & OPT_MIN)) {
            opt.min = true;
        } else if (a == "--no-time" && (allowed & OPT_NO_TIME)) {
            opt.timed = false;
        } else if (is_valued_option(a, "--limit") && (allowed & OPT_LIMIT)) {
            if (int rc = count_option(args, i, "--limit", opt.limit); rc >= 0) return rc;
        } else if (is_valued_option(a, "--style") && (allowed & OPT_STYLE)) {
            if (int rc = style_option(args, i, opt.style); rc >= 0) return rc;
        } else if (a == "--case" && (allowed & OPT_FIND)) {
            opt.match_case = true;
        } else if (a == "--regex" && (allowed & OPT_FIND)) {
            opt.regex = true;
        } else if (a == "--keys" && (allowed & OPT_FIND)) {
            opt.keys = true;
        } else if (a == "--values" && (allowed & OPT_FIND)) {
            opt.values = true;
        } else if (is_valued_option(a, "--max") && (allowed & OPT_FIND)) {
            if (int rc = count_option(args, i, "--max", opt.max); rc >= 0) return rc;
        } else if (a == "--source" && (allowed & OPT_TEXT)) {
            opt.source = true;
        } else if (is_valued_option(a, "--width") && (allowed & OPT_TEXT)) {
            if (int rc = count_option(args, i, "--width", opt.width); rc >= 0) return rc;
        } else if (a == "--all" && (allowed & OPT_ROWS)) {
            opt.all = true;
        } else if (is_valued_option(a, "--level") && (allowed & OPT_ROWS)) {
            if (int rc = count_option(args, i, "--level", opt.level); rc >= 0) return rc;
        } else if (is_valued_option(a, "--from") && (allowed & OPT_ROWS)) {
            if (int rc = count_option(args, i, "--from", opt.from); rc >= 0) return rc;
        } else if (is_valued_option(a, "--count") && (allowed & OPT_ROWS)) {
            if (int rc = count_option(args, i, "--count", opt.count); rc >= 0) return rc;
        } else if (is_valued_option(a, "--text") && (allowed & OPT_ROWS)) {
            const char *value = option_value(args, i, "--text");
            if (value && std::strcmp(value, "pretty") == 0) {
                opt.text = JX_TEXT_PRETTY;
            } else if (value && std::strcmp(value, "source") == 0) {
                opt.text = JX_TEXT_FILE;
            } else {
                std::string given = value ? std::string(", not '") + value + "'" : "";
                return usage_error("--text needs pretty or source%s", given.c_str());
            }
        } else {
            return usage_error("unknown option '%s'", arg);
        }
    }
    return -1;
}

// Reads a whole file into a jx_buf_alloc buffer, since the parser takes ownership of exactly that.
// On failure prints the reason and returns null.
char *read_file(const char *path, size_t *length) {
    int fd = std::strcmp(path, "-") == 0 ? dup(STDIN_FILENO) : open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "orvel-cli: cannot read '%s': %s\n", path, std::strerror(errno));
        return nullptr;
    }
    struct stat st {};
    // A regular file's size sizes the buffer; pipes and devices grow it as they go.
    size_t cap = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? size_t(st.st_size) : 64 * 1024;
    const char *failure = nullptr;
    char *buf = cap <= JX_MAX_SIZE ? jx_buf_alloc(cap) : nullptr;
    if (!buf) failure = cap > JX_MAX_SIZE ? "file is larger than 4 GB" : "out of memory";
    size_t len = 0;
    while (buf) {
        if (len == cap) {
            // The file grew or has no size: probe for more before growing the buffer.
            char probe;
            ssize_t n = read(fd, &probe, 1);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                failure = std::strerror(errno);
                break;
            }
            size_t bigger = cap < JX_MAX_SIZE / 2 ? cap * 2 + 1 : size_t(JX_MAX_SIZE);
            if (len + 1 > JX_MAX_SIZE) {
                failure = "file is larger than 4 GB";
                break;
            }
            char *grown = jx_buf_alloc(bigger);
            if (!grown) {
                failure = "out of memory";
                break;
            }
            std::memcpy(grown, buf, len);
            jx_buf_free(buf);
            buf = grown;
            cap = bigger;
            buf[len++] = probe;
            continue;
        }
        size_t want = cap - len < (size_t(1) << 30) ? cap - len : size_t(1) << 30;
        ssize_t n = read(fd, buf + len, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            failure = std::strerror(errno);
            break;
        }
        if (n == 0) break;  // the file shrank while we read it; keep what is there
        len += size_t(n);
    }
    close(fd);
    if (failure) {
        std::fprintf(stderr, "orvel-cli: cannot read '%s': %s\n", path, failure);
        jx_buf_free(buf);
        return nullptr;
    }
    // The core's scanning relies on zero bytes right after the text, also when the file shrank.
    std::memset(buf + len, 0, 64);
    *length = len;
    return buf;
}

const char *status_text(int status) {
    switch (status) {
        case JX_CANCELLED: return "cancelled";
        case JX_NO_MEMORY: return "out of memory";
        case JX_TOO_BIG: return "text is larger than 4 GB";
        default: return "unknown failure";
    }
}

// Reads and parses one file; prints why and returns null when either fails. The parse alone is
// timed into *parse_ms when given: reading the file is not the parser's cost.
JxDoc *load(const char *path, const Options &opt, int32_t *parse_ms) {
    size_t len = 0;
    char *buf = read_file(path, &len);
    if (!buf) return nullptr;
    jx_parse_options po{};
    po.strict = opt.strict;
    po.lines = opt.lines;
    int status = JX_OK;
    auto t0 = std::chrono::steady_clock::now();
    JxDoc *doc = jx_parse(buf, len, &po, nullptr, &status);
    if (parse_ms) {
        auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
        *parse_ms = int32_t(std::min<int64_t>(ms.count(), INT32_MAX));
    }
    if (!doc) std::fprintf(stderr, "orvel-cli: cannot parse '%s': %s\n", path, status_text(status));
    return doc;
}

// A full disk or a closed pipe must not pass for success.
int finish_output(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "orvel-cli: cannot write output: %s\n", std::strerror(errno));
        return EXIT_FAILURE_OR_MISUSE;
    }
    return status;
}

}  // namespace cli

namespace {

using namespace cli;

const char *format_name(uint32_t format) {
    switch (format) {
        case JX_FORMAT_EMPTY: return "empty";
        case JX_FORMAT_VALUE: return "JSON value";
        case JX_FORMAT_LINES: return "JSON Lines";
        case JX_FORMAT_VALUES: return "several values";
        default: return "unknown";
    }
}

// "comments, JSON5 (first at line 1, column 10, offset 9)": which lenient forms the text uses and
// where the first of them stands, so that a file that only looks like JSON is easy to find out.
void print_syntax(const JxDoc *doc) {
    static constexpr struct {
        uint32_t bit;
        const char *name;
    } NAMES[] = {
        {JX_SYNTAX_COMMENTS, "comments"},
        {JX_SYNTAX_TRAILING_COMMA, "trailing commas"},
        {JX_SYNTAX_JSON5, "JSON5"},
        {JX_SYNTAX_CONTROL, "raw control characters"},
    };
    uint32_t syntax = jx_doc_syntax(doc);
    std::printf("  syntax: ");
    if (!syntax) {
        std::printf("standard JSON\n");
        return;
    }
    const char *sep = "";
    for (const auto &n : NAMES) {
        if (!(syntax & n.bit)) continue;
        std::printf("%s%s", sep, n.name);
        sep = ", ";
    }
    uint32_t at = jx_doc_syntax_offset(doc);
    if (at == JX_NONE) {
        std::printf("\n");
        return;
    }
    std::printf(" (first at line %" PRIu32 ", column %" PRIu32 ", offset %" PRIu32 ")\n",
                jx_doc_line_of(doc, at) + 1, jx_doc_col_of(doc, at), at);
}

// Problem lines up to the limit, then how many were left out: a broken JSON Lines file can hold
// millions, and only the records of the problems printed are ever built.
void print_problems(const JxDoc *doc, uint64_t limit) {
    uint32_t problems = jx_doc_error_count(doc);
    uint32_t shown = uint32_t(std::min<uint64_t>(problems, limit));
    for (uint32_t i = 0; i < shown; i++) {
        if (const jx_problem *p = jx_doc_error(doc, i)) {
            std::printf("  %" PRIu32 ":%" PRIu32 ": %s\n", p->line, p->column, p->message);
        } else {
            std::printf("  problem %" PRIu32 ": details unavailable (out of memory)\n", i + 1);
        }
    }
    if (shown < problems) {
        char count[32];
        jx_fmt_count(problems - shown, count, sizeof count);
        std::printf("  ... and %s more problem%s\n", count, problems - shown == 1 ? "" : "s");
    }
}

int cmd_parse(std::span<char *> args) {
    Options opt;
    if (int rc = parse_args(args, OPT_STRICT | OPT_LINES | OPT_LIMIT | OPT_NO_TIME, opt); rc >= 0) return rc;
    if (opt.files.empty()) return usage_error("%s", "parse needs at least one FILE");
    int result = EXIT_CLEAN;
    for (const char *path : opt.files) {
        int32_t parse_ms = -1;
        JxDoc *doc = load(path, opt, &parse_ms);
        if (!doc) {
            result = EXIT_FAILURE_OR_MISUSE;
            continue;
        }
        uint32_t problems = jx_doc_error_count(doc);
        std::printf("%s\n", path);
        std::printf("  format: %s\n", format_name(jx_doc_format(doc)));
        std::printf("  encoding: %s\n", jx_doc_encoding(doc));
        print_syntax(doc);
        std::printf("  nodes: %" PRIu32 "\n", jx_doc_count(doc));
        std::printf("  lines: %" PRIu32 "\n", jx_doc_line_count(doc));
        std::printf("  problems: %" PRIu32 "\n", problems);
        // The texts a window would show, built in the same 512-byte buffers.
        char text[512];
        jx_status_text(doc, opt.timed ? parse_ms : -1, text, sizeof text);
        std::printf("  status: %s\n", text);
        if (problems) {
            jx_errorbar_text(doc, text, sizeof text);
            std::printf("  error bar: %s\n", text);
        }
        print_problems(doc, opt.limit);
        if (problems && result == EXIT_CLEAN) result = EXIT_PROBLEMS;
        jx_doc_release(doc);
    }
    return finish_output(result);
}

// The node that path names; prints why and gives JX_NONE when it names none.
uint32_t find_node(const JxDoc *doc, const char *path) {
    char msg[512];
    uint32_t node = jx_resolve(doc, path, std::strlen(path), msg, sizeof msg);
    if (node == JX_NONE) {
        const char *why = *msg ? msg : jx_doc_count(doc) ? "out of memory" : "the document is empty";
        std::fprintf(stderr, "orvel-cli: cannot resolve '%s': %s\n", path, why);
    }
    return node;
}

// Writes node as JSON and a line end; false (after a message) when memory runs out.
bool write_json(const JxDoc *doc, uint32_t node, bool min, const char *path) {
    size_t len = 0;
    char *text = jx_copy_json(doc, node, min ? 0 : 1, &len);
    if (!text) {
        std::fprintf(stderr, "orvel-cli: cannot write '%s' as JSON: out of memory\n", path);
        return false;
    }
    std::fwrite(text, 1, len, stdout);
    if (len == 0 || text[len - 1] != '\n') std::fputc('\n', stdout);
    std::free(text);
    return true;
}

int cmd_json(std::span<char *> args) {
    Options opt;
    if (int rc = parse_args(args, OPT_MIN | OPT_STRICT | OPT_LINES, opt); rc >= 0) return rc;
    if (opt.files.empty() || opt.files.size() > 2)
        return usage_error("%s", "json needs a FILE and at most one PATH");
    const char *path = opt.files[0];
    JxDoc *doc = load(path, opt);
    if (!doc) return EXIT_FAILURE_OR_MISUSE;
    int result = jx_doc_error_count(doc) ? EXIT_PROBLEMS : EXIT_CLEAN;
    if (opt.files.size() == 2) {
        uint32_t node = find_node(doc, opt.files[1]);
        if (node == JX_NONE)
            result = EXIT_PROBLEMS;
        else if (!write_json(doc, node, opt.min, path))
            result = EXIT_FAILURE_OR_MISUSE;
    } else if (jx_doc_count(doc) > 0 && !write_json(doc, 0, opt.min, path)) {
        // An empty document has no root to write: print nothing rather than fail.
        result = EXIT_FAILURE_OR_MISUSE;
    }
    jx_doc_release(doc);
    return finish_output(result);
}

// The commands that answer for one node: FILE and PATH, a style, and what to print of the node, which
// returns false (after a message) when it could not be printed.
template <typename Show>
int for_node(std::span<char *> args, const char *usage, Show show) {
    Options opt;
    if (int rc = parse_args(args, OPT_STYLE | OPT_STRICT | OPT_LINES, opt); rc >= 0) return rc;
    if (opt.files.size() != 2) return usage_error("%s", usage);
    JxDoc *doc = load(opt.files[0], opt);
    if (!doc) return EXIT_FAILURE_OR_MISUSE;
    int result = jx_doc_error_count(doc) ? EXIT_PROBLEMS : EXIT_CLEAN;
    uint32_t node = find_node(doc, opt.files[1]);
    if (node == JX_NONE)
        result = EXIT_PROBLEMS;
    else if (!show(doc, node, opt))
        result = EXIT_FAILURE_OR_MISUSE;
    jx_doc_release(doc);
    return finish_output(result);
}

int cmd_path(std::span<char *> args) {
    return for_node(args, "path needs a FILE and a PATH", [](const JxDoc *doc, uint32_t node, const Options &opt) {
        // Only the root has an empty path (in some styles); any other node's is at least "/".
        std::string text(jx_path(doc, node, opt.style, nullptr, 0), '\0');
        jx_path(doc, node, opt.style, text.data(), text.size() + 1);
        if (text.empty() && node != 0) {
            std::fprintf(stderr, "orvel-cli: cannot write the path of '%s': out of memory\n", opt.files[1]);
            return false;
        }
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        return write_json(doc, node, false, opt.files[0]);
    });
}

int cmd_text(std::span<char *> args) {
    Options opt;
    if (int rc = parse_args(args, OPT_TEXT | OPT_STRICT | OPT_LINES, opt); rc >= 0) return rc;
    if (opt.files.size() != 1) return usage_error("%s", "text needs one FILE");
    if (opt.width > UINT32_MAX) return usage_error("%s", "--width is at most 4294967295");
    const char *path = opt.files[0];
    JxDoc *doc = load(path, opt);
    if (!doc) return EXIT_FAILURE_OR_MISUSE;
    int result = jx_doc_error_count(doc) ? EXIT_PROBLEMS : EXIT_CLEAN;
    int status = JX_OK;
    JxText *text = jx_text_new(doc, opt.source ? JX_TEXT_FILE : JX_TEXT_PRETTY, nullptr, &status);
    if (!text) {
        std::fprintf(stderr, "orvel-cli: cannot lay out '%s': %s\n", path, status_text(status));
        result = EXIT_FAILURE_OR_MISUSE;
    } else {
        JxLine line;
        jx_line_init(&line);
        for (uint32_t i = 0, n = jx_text_count(text); i < n; i++) {
            jx_text_line(text, i, uint32_t(opt.width), nullptr, JX_NONE, &line);
            std::fwrite(line.text, 1, line.len, stdout);
            std::fputc('\n', stdout);
        }
        jx_line_free(&line);
        jx_text_free(text);
    }
    jx_doc_release(doc);
    return finish_output(result);
}

int cmd_inspect(std::span<char *> args) {
    return for_node(args, "inspect needs a FILE and a PATH", [](const JxDoc *doc, uint32_t node, const Options &opt) {
        size_t len = 0;
        char *text = jx_inspect_text(doc, node, opt.style, &len);
        if (!text) {
            std::fprintf(stderr, "orvel-cli: cannot inspect '%s': out of memory\n", opt.files[1]);
            return false;
        }
        std::fwrite(text, 1, len, stdout);
        std::fputc('\n', stdout);
        std::free(text);
        return true;
    });
}

int cmd_find(std::span<char *> args) {
    Options opt;
    if (int rc = parse_args(args, OPT_FIND, opt); rc >= 0) return rc;
    if (opt.files.size() != 2) return usage_error("%s", "find needs a FILE and a QUERY");
    if (opt.keys && opt.values) return usage_error("%s", "--keys and --values exclude each other");
    const char *path = opt.files[0];
    const char *query = opt.files[1];
    JxDoc *doc = load(path, opt);
    if (!doc) return EXIT_FAILURE_OR_MISUSE;
    JxSearchOptions so{};
    so.match_case = opt.match_case;
    so.regex = opt.regex;
    so.scope = opt.keys ? JX_SCOPE_KEYS : opt.values ? JX_SCOPE_VALUES : JX_SCOPE_ALL;
    char err[256];
    JxSearch *search = jx_search_new(doc, query, std::strlen(query), &so, err, sizeof err);
    if (!search) {
        std::fprintf(stderr, "orvel-cli: invalid query '%s': %s\n", query, *err ? err : "the query is empty");
        jx_doc_release(doc);
        return EXIT_FAILURE_OR_MISUSE;
    }
    if (jx_search_run(search, nullptr) != JX_OK) {
        std::fprintf(stderr, "orvel-cli: cannot search '%s': out of memory\n", path);
        jx_search_free(search);
        jx_doc_release(doc);
        return EXIT_FAILURE_OR_MISUSE;
    }
    uint32_t hits = jx_search_count(search);
    std::printf("hits: %" PRIu32 "%s\n", hits, jx_search_capped(search) ? " (stopped at the limit)" : "");
    // One row model for all hits: hits come in document order, so a hit is printed before any later
    // hit inside it expands it, and each line shows its node as a collapsed row would.
    JxRows *rows = jx_rows_new(doc);
    JxLine line;
    jx_line_init(&line);
    int result = hits ? EXIT_CLEAN : EXIT_PROBLEMS;
    for (uint32_t i = 0; i < hits && i < opt.max; ++i) {
        uint32_t node = jx_search_hit(search, i);
        jx_rows_reveal(rows, node);
        uint64_t row = jx_rows_find(rows, node);
        if (!rows || row == JX_NONE) {
            std::fprintf(stderr, "orvel-cli: cannot show the hits of '%s': out of memory\n", path);
            result = EXIT_FAILURE_OR_MISUSE;
            break;
        }
        jx_row_line(rows, row, 120, nullptr, JX_NONE, &line);
        std::printf("%" PRIu32 "\t%s\n", node, line.text);
    }
    jx_line_free(&line);
    jx_rows_free(rows);
    jx_search_free(search);
    jx_doc_release(doc);
    return finish_output(result);
}

struct Command {
    const char *name;
    int (*run)(std::span<char *> args);
};

constexpr Command COMMANDS[] = {
    {"parse", cmd_parse},
    {"json", cmd_json},
    {"path", cmd_path},
    {"text", cmd_text},
    {"inspect", cmd_inspect},
    {"find", cmd_find},
    {"rows", cmd_rows},
    {"drive", cmd_drive},
};

}  // namespace

int main(int argc, char **argv) {
    std::span<char *> args(argv + 1, argc > 0 ? size_t(argc - 1) : 0);
    if (args.empty()) {
        std::fputs(USAGE, stderr);
        return EXIT_FAILURE_OR_MISUSE;
    }
    std::string_view first(args[0]);
    if (first == "--help" || first == "-h" || first == "help") {
        std::printf("%s\n%s", USAGE, HELP);
        return finish_output(EXIT_CLEAN);
    }
    for (const Command &c : COMMANDS) {
        if (first != c.name) continue;
        // "--help" anywhere after a command asks for help rather than naming a file.
        for (char *a : args.subspan(1)) {
            if (std::string_view(a) == "--") break;
            if (std::string_view(a) == "--help") {
                std::printf("%s\n%s", USAGE, HELP);
                return finish_output(EXIT_CLEAN);
            }
        }
        return c.run(args.subspan(1));
    }
    return usage_error("unknown command '%s'", args[0]);
}
