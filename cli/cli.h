// cli.h: what the subcommands of orvel-cli share: exit statuses, options, reading and parsing a file.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "jx.h"

namespace cli {

// Exit statuses, documented in --help and the README.
constexpr int EXIT_CLEAN = 0;
constexpr int EXIT_PROBLEMS = 1;
constexpr int EXIT_FAILURE_OR_MISUSE = 2;

// The options every subcommand understands; a subcommand rejects those it has no use for.
struct Options {
    bool strict = false;
    bool lines = false;
    bool min = false;
    bool match_case = false;
    bool regex = false;
    bool keys = false;
    bool values = false;
    uint64_t max = 20;
    bool timed = true;
    uint64_t limit = 20;
    int style = JX_PATH_JSONPATH;
    bool source = false;
    uint64_t width = 0;
    bool all = false;             // rows --all
    uint64_t level = 0;           // rows --level N; 0 keeps the default expansion
    int text = -1;                // rows --text: JX_TEXT_PRETTY or JX_TEXT_FILE; -1 the Tree view
    uint64_t from = 0;            // rows --from
    uint64_t count = UINT32_MAX;  // rows --count
    std::vector<const char *> files;
};

enum : unsigned {
    OPT_STRICT = 1,
    OPT_LINES = 2,
    OPT_MIN = 4,
    OPT_LIMIT = 8,
    OPT_NO_TIME = 16,
    OPT_FIND = 32,  // --case, --regex, --keys, --values, --max N
    OPT_STYLE = 64,
    OPT_TEXT = 128,  // --source, --width N
    OPT_ROWS = 256   // --level N, --all, --text MODE, --from R, --count C
};

// Prints "orvel-cli: " and the message, then the usage; returns EXIT_FAILURE_OR_MISUSE.
int usage_error(const char *fmt, const char *arg);
// Decimal digits only, so that "-1", "+5" or "5x" is not read as a huge or partial number.
bool parse_count(std::string_view s, uint64_t &out);
// Splits args into options and files. Returns -1 when the arguments are fine, else the exit status
// after a usage message.
int parse_args(std::span<char *> args, unsigned allowed, Options &opt);
// Reads and parses one file; prints why and returns null when either fails. The parse alone is
// timed into *parse_ms when given.
JxDoc *load(const char *path, const Options &opt, int32_t *parse_ms = nullptr);
// What a failed jx_text_new or parse status means.
const char *status_text(int status);
// Flushes standard output: a full disk or a closed pipe must not pass for success.
int finish_output(int status);

int cmd_rows(std::span<char *> args);
int cmd_drive(std::span<char *> args);

}  // namespace cli
