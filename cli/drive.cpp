// orvel-cli rows and drive: a document's view controller without a window. `rows` prints what the
// list would show; `drive` reads commands from standard input, one a line, in the words scripts use
// against the application, and prints the dumps and copies they ask for.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "chars_int.h"
#include "cli.h"

namespace cli {

namespace {

// Rows a page key moves over: what a list of a typical window height shows.
constexpr uint32_t PAGE_ROWS = 10;
// Milliseconds the clock advances per typed character, as a script's typing does.
constexpr uint64_t TYPING_MS = 10;

constexpr const char *BAD = "unknown command or bad arguments";

// The US layout's shifted digits (")" on 0) and its four punctuation keys, plain and shifted.
constexpr const char *SHIFTED_DIGITS = ")!@#$%^&*(";
constexpr const char *PUNCT = "-=[]";
constexpr const char *SHIFTED_PUNCT = "_+{}";

// Writes the heap text make returns (given where to put its length), then frees it; false when
// there was none.
template <typename Make>
bool put_text(Make make) {
    size_t len = 0;
    char *text = make(&len);
    if (text) std::fwrite(text, 1, len, stdout);
    std::free(text);
    return text != nullptr;
}

// Shows the Text view the way the window's Text command does: the model already built is shown;
// shown already, the model is built again in the other mode; else the file's own lines, or the
// re-indented ones for a minified file. False when the model could not be built.
bool show_text(JxView *view) {
    const JxText *held = jx_view_text(view);
    if (held && jx_view_mode(view) == JX_MODE_TREE) return jx_view_set_mode(view, JX_MODE_TEXT);
    int mode = held ? 1 - jx_text_mode(held) : jx_doc_minified(jx_view_doc(view)) ? JX_TEXT_PRETTY : JX_TEXT_FILE;
    int status = JX_OK;
    JxText *text = jx_text_new(jx_view_doc(view), mode, nullptr, &status);
    if (!text) return false;
    jx_view_set_text(view, text);
    return jx_view_set_mode(view, JX_MODE_TEXT);
}

// One script being driven: the view, its clock and the search to build again after a reload.
struct Driver {
    Options opt;
    JxView *view = nullptr;
    uint32_t top = 0;   // the row the window would show at the top: what a reload keeps
    uint64_t clock = 0; // milliseconds, for type-to-select
    bool searching = false;
    std::string query;
    JxSearchOptions search_options{};
    uint64_t line_number = 0;
    std::string failure;  // set by a command that fails

    ~Driver() { jx_view_free(view); }

    bool fail(const char *message) {
        failure = message;
        return false;
    }

    void copy(const char *word, uint32_t what, int style) {
        std::printf("--- copy %s\n", word);
        put_text([&](size_t *len) { return jx_view_copy(view, what, style, len); });
        std::printf("\n");
    }

    // A command of the menus and shortcuts: the window's own ones that matter without a window,
    // the rest through the view.
    void command(uint32_t cmd) {
        if (cmd == JX_CMD_TREE) {
            jx_view_set_mode(view, JX_MODE_TREE);
        } else if (cmd == JX_CMD_TEXT) {
            show_text(view);
        } else if (cmd >= JX_CMD_COPY_VALUE && cmd <= JX_CMD_COPY_MINIFIED) {
            copy(jx_copy_word_name(cmd, JX_PATH_JSONPATH), cmd, JX_PATH_JSONPATH);
        } else if (cmd >= JX_CMD_FIND_NEXT) {
            jx_view_command(view, cmd);
        }
    }

    // A key press as the window handles it: the view's keys, then shortcuts, then the character
    // it types when neither took it (ch 0: none).
    void press(uint32_t key, uint32_t mods, uint32_t ch) {
        if (jx_view_key(view, key, mods, PAGE_ROWS)) return;
        if (uint32_t cmd = jx_shortcut(key, mods)) return command(cmd);
        if (ch >= 32 && ch != 127 && !(mods & (JX_MOD_COMMAND | JX_MOD_OPTION))) jx_view_type(view, ch, clock);
        clock += TYPING_MS;
    }

    bool key(const std::string &combo) {
        uint32_t key = 0, mods = 0;
        if (!jx_combo(combo.c_str(), &key, &mods)) return fail("not a key combo");
        press(key, mods, typed_char(key, mods));
        return true;
    }

    bool type(std::string_view text) {
        const auto *p = reinterpret_cast<const unsigned char *>(text.data());
        const auto *end = p + text.size();
        while (p < end) {
            uint32_t cp = jx__utf8_read(&p, end);
            uint32_t key = 0, mods = 0;
            key_of(cp, &key, &mods);
            press(key, mods, cp);
        }
        return true;
    }

    bool click(const std::vector<std::string> &words) {
        uint64_t row = 0;
        if (!parse_count(words[1], row)) return fail(BAD);
        bool chevron = false, alt = false, shift = false, twice = false;
        for (size_t i = 2; i < words.size(); i++) {
            if (words[i] == "chevron") chevron = true;
            else if (words[i] == "alt") alt = true;
            else if (words[i] == "shift") shift = true;
            else if (words[i] == "double") twice = true;
            else return fail("click <row> [chevron] [alt] [shift]");
        }
        if (row >= jx_view_count(view)) return true;
        uint32_t mods = (shift ? JX_MOD_SHIFT : 0) | (alt ? JX_MOD_OPTION : 0);
        jx_view_click(view, uint32_t(row), chevron, mods);
        // A second click on the chevron is another single click, elsewhere a double click.
        if (twice && chevron) jx_view_click(view, uint32_t(row), 1, mods);
        if (twice && !chevron) jx_view_double_click(view, uint32_t(row));
        return true;
    }

    // Builds the search for the current query over the view's document, runs it to its end and
    // lets the view follow it. An empty query removes the search.
    void install_search() {
        JxSearch *s = nullptr;
        if (searching && !query.empty()) {
            char err[256];
            s = jx_search_new(jx_view_doc(view), query.data(), query.size(), &search_options, err, sizeof err);
            if (!s) std::printf("search-error=%s\n", err);
        }
        jx_view_set_search(view, s);
        if (s) jx_search_run(s, nullptr);
        jx_view_search_update(view);
    }

    bool search(std::string rest) {
        search_options = JxSearchOptions{};
        for (;;) {
            while (!rest.empty() && rest.back() == ' ') rest.pop_back();
            size_t sp = rest.rfind(' ');
            std::string last = rest.substr(sp == std::string::npos ? 0 : sp + 1);
            if (last == "/case") search_options.match_case = 1;
            else if (last == "/regex") search_options.regex = 1;
            else if (last == "/keys") search_options.scope = JX_SCOPE_KEYS;
            else if (last == "/values") search_options.scope = JX_SCOPE_VALUES;
            else break;
            rest.resize(sp == std::string::npos ? 0 : sp);
        }
        query = rest;
        searching = true;
        install_search();
        return true;
    }

    bool goto_path(std::string_view path) {
        char err[256];
        if (!jx_view_goto(view, path.data(), path.size(), err, sizeof err)) std::printf("goto-error=%s\n", err);
        return true;
    }

    bool view_mode(const std::string &word) {
        if (word == "tree") return jx_view_set_mode(view, JX_MODE_TREE), true;
        if (word == "text") return show_text(view), true;
        return fail(BAD);
    }

    bool dump(const std::vector<std::string> &words) {
        std::printf("---");
        for (const std::string &w : words) std::printf(" %s", w.c_str());
        std::printf("\n");
        uint64_t first = 0, count = 0;
        if (words.size() == 4 && words[1] == "rows" && parse_count(words[2], first) && parse_count(words[3], count) &&
            first <= UINT32_MAX && count <= UINT32_MAX) {
            put_text([&](size_t *len) { return jx_view_dump_rows(view, uint32_t(first), uint32_t(count), len); });
        } else if (words.size() == 2 && words[1] == "state") {
            put_text([&](size_t *len) { return jx_view_dump_state(view, len); });
        } else if (words.size() == 2 && words[1] == "inspector") {
            put_text([&](size_t *len) { return jx_view_inspect(view, JX_PATH_JSONPATH, len); });
            std::printf("\n");
        } else {
            return fail("dump what?");
        }
        return true;
    }

    // Saves the view, reads the file again, restores the view over it and builds the search again,
    // as the window does when its file changes.
    bool reload(const std::string &path) {
        JxDoc *doc = load(path.c_str(), opt);
        if (!doc) return fail("the file could not be reloaded");
        JxState *state = jx_view_save(view, top);
        JxView *next = jx_view_restore(doc, state, &top);
        jx_state_free(state);
        jx_doc_release(doc);
        if (!next) return fail("could not restore the view");
        jx_view_free(view);
        view = next;
        if (searching) install_search();
        return true;
    }

    bool number(const std::vector<std::string> &words, uint64_t &n, uint64_t lo, uint64_t hi) {
        return words.size() == 2 && parse_count(words[1], n) && n >= lo && n <= hi;
    }

    // Runs one line; false with failure set when it cannot be run.
    bool run(std::string_view line) {
        std::vector<std::string> words;
        for (size_t i = 0; i < line.size();) {
            size_t e = line.find_first_of(" \t", i);
            if (e == std::string_view::npos) e = line.size();
            if (e > i) words.emplace_back(line.substr(i, e - i));
            i = e + 1;
        }
        const std::string &w = words[0];
        size_t sp = line.find(' ');
        std::string_view rest = sp == std::string_view::npos ? std::string_view() : line.substr(sp + 1);
        const size_t n = words.size();
        uint64_t v = 0;
        if (w == "key" && n == 2) return key(words[1]);
        if (w == "type" && n >= 2) return type(rest);
        if (w == "click" && n >= 2) return click(words);
        if (w == "search") return search(std::string(rest));
        if (w == "find-next" && n == 1) return command(JX_CMD_FIND_NEXT), true;
        if (w == "find-prev" && n == 1) return command(JX_CMD_FIND_PREVIOUS), true;
        if (w == "next-problem" && n == 1) return command(JX_CMD_NEXT_PROBLEM), true;
        if (w == "goto" && n >= 2) return goto_path(rest);
        if (w == "crumb" && number(words, v, 0, UINT32_MAX)) return jx_view_crumb_click(view, uint32_t(v)), true;
        if (w == "view" && n == 2) return view_mode(words[1]);
        if (w == "level" && number(words, v, 1, 9)) return command(uint32_t(JX_CMD_COLLAPSE_ALL + v)), true;
        if (w == "expand-all" && n == 1) return command(JX_CMD_EXPAND_ALL), true;
        if (w == "collapse-all" && n == 1) return command(JX_CMD_COLLAPSE_ALL), true;
        if (w == "back" && n == 1) return command(JX_CMD_BACK), true;
        if (w == "forward" && n == 1) return command(JX_CMD_FORWARD), true;
        if (w == "command" && number(words, v, 0, UINT32_MAX)) return jx_view_command(view, uint32_t(v)), true;
        if (w == "clock" && number(words, v, 0, UINT64_MAX)) return clock = v, true;
        if (w == "reload" && n >= 2) return reload(std::string(rest));
        if (w == "dump") return dump(words);
        if (w == "copy" && n == 2) {
            uint32_t what = 0;
            int style = 0;
            if (!jx_copy_word(words[1].data(), words[1].size(), &what, &style)) return fail("copy what?");
            return copy(jx_copy_word_name(what, style), what, style), true;
        }
        return fail(BAD);
    }

    // The character a key types, as the US layout gives it: letters, digits and the four
    // punctuation keys (shifted with shift), space; 0 for the other named keys.
    static uint32_t typed_char(uint32_t key, uint32_t mods) {
        const bool shift = mods & JX_MOD_SHIFT;
        if (key >= 'A' && key <= 'Z') return shift ? key : key + 32;
        if (key >= '0' && key <= '9') return shift ? uint8_t(SHIFTED_DIGITS[key - '0']) : key;
        if (const char *p = find(PUNCT, key)) return uint8_t(shift ? SHIFTED_PUNCT[p - PUNCT] : *p);
        return key == JX_KEY_SPACE ? ' ' : 0;
    }

    // The key and shift that type cp on the US layout; key 0 when no key types it.
    static void key_of(uint32_t cp, uint32_t *key, uint32_t *mods) {
        *key = 0;
        *mods = 0;
        if (cp >= 'a' && cp <= 'z') {
            *key = cp - 32;
        } else if ((cp >= 'A' && cp <= 'Z') || (cp >= '0' && cp <= '9') || find(PUNCT, cp)) {
            *key = cp;
            *mods = cp >= 'A' && cp <= 'Z' ? JX_MOD_SHIFT : 0;
        } else if (const char *d = find(SHIFTED_DIGITS, cp)) {
            *key = uint32_t('0' + (d - SHIFTED_DIGITS));
            *mods = JX_MOD_SHIFT;
        } else if (const char *q = find(SHIFTED_PUNCT, cp)) {
            *key = uint8_t(PUNCT[q - SHIFTED_PUNCT]);
            *mods = JX_MOD_SHIFT;
        } else if (cp == ' ') {
            *key = JX_KEY_SPACE;
        }
    }

    // Where the ASCII character c stands in chars; null when it does not (or is not ASCII).
    static const char *find(const char *chars, uint32_t c) {
        return c && c < 128 ? std::strchr(chars, int(c)) : nullptr;
    }
};

// Trims spaces, tabs and carriage returns from both ends.
std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Prints what cannot be done, names nothing: for an out-of-memory view.
int no_view(const char *path) {
    std::fprintf(stderr, "orvel-cli: cannot show '%s': out of memory\n", path);
    return EXIT_FAILURE_OR_MISUSE;
}

}  // namespace

int cmd_rows(std::span<char *> args) {
    Options opt;
    if (int rc = parse_args(args, OPT_ROWS | OPT_STRICT | OPT_LINES, opt); rc >= 0) return rc;
    if (opt.files.size() != 1) return usage_error("%s", "rows needs one FILE");
    if (opt.all && opt.level) return usage_error("%s", "--level and --all exclude each other");
    if (opt.level > 9) return usage_error("%s", "--level needs 1 to 9");
    if (opt.from > UINT32_MAX) return usage_error("%s", "--from is at most 4294967295");
    const char *path = opt.files[0];
    JxDoc *doc = load(path, opt);
    if (!doc) return EXIT_FAILURE_OR_MISUSE;
    int result = jx_doc_error_count(doc) ? EXIT_PROBLEMS : EXIT_CLEAN;
    JxView *view = jx_view_new(doc);
    jx_doc_release(doc);
    if (!view) return no_view(path);
    if (opt.all) jx_view_command(view, JX_CMD_EXPAND_ALL);
    if (opt.level) jx_view_command(view, uint32_t(JX_CMD_COLLAPSE_ALL + opt.level));
    if (opt.text >= 0) {
        int status = JX_OK;
        JxText *text = jx_text_new(jx_view_doc(view), opt.text, nullptr, &status);
        if (!text) {
            std::fprintf(stderr, "orvel-cli: cannot lay out '%s': %s\n", path, status_text(status));
            jx_view_free(view);
            return EXIT_FAILURE_OR_MISUSE;
        }
        jx_view_set_text(view, text);
        jx_view_set_mode(view, JX_MODE_TEXT);
    }
    const auto count = uint32_t(std::min<uint64_t>(opt.count, UINT32_MAX));
    if (!put_text([&](size_t *len) { return jx_view_dump_rows(view, uint32_t(opt.from), count, len); }))
        result = no_view(path);
    jx_view_free(view);
    return finish_output(result);
}

int cmd_drive(std::span<char *> args) {
    Driver d;
    if (int rc = parse_args(args, OPT_STRICT | OPT_LINES, d.opt); rc >= 0) return rc;
    if (d.opt.files.size() != 1) return usage_error("%s", "drive needs one FILE");
    const char *path = d.opt.files[0];
    JxDoc *doc = load(path, d.opt);
    if (!doc) return EXIT_FAILURE_OR_MISUSE;
    d.view = jx_view_new(doc);
    jx_doc_release(doc);
    if (!d.view) return no_view(path);
    std::string line;
    while (std::getline(std::cin, line)) {
        d.line_number++;
        std::string_view l = trim(line);
        if (l.empty() || l[0] == '#') continue;
        if (!d.run(l)) {
            std::fflush(stdout);
            std::fprintf(stderr, "orvel-cli: line %" PRIu64 ": %s\n", d.line_number, d.failure.c_str());
            return EXIT_FAILURE_OR_MISUSE;
        }
    }
    return finish_output(EXIT_CLEAN);
}

}  // namespace cli
