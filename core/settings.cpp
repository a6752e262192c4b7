#include "jx/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "chars_int.h"

/* Integers of the file saturate here, far beyond any real value, so that no
 * run of digits can overflow. */
static constexpr int32_t INT_LIMIT = 1000000000;

static constexpr const char *PATH_STYLES[] = {"jsonpath", "jq", "js", "python", "pointer"};
static constexpr const char *SCOPES[] = {"all", "keys", "values"};

/* The longest file: the fixed lines with every integer at its widest, then
 * every recent path at its longest. */
static constexpr size_t FIXED_MAX = 512;
static constexpr size_t TEXT_MAX = FIXED_MAX + JX_RECENT_MAX * (sizeof "recent=\n" - 1 + JX_RECENT_SIZE - 1);

/* An optional "-" and one or more digits from p to end, nothing else. */
static bool read_int(const char *p, const char *end, int32_t *out) {
    bool neg = p < end && *p == '-';
    if (neg) p++;
    if (p == end) return false;
    int64_t v = 0;
    for (; p < end; p++) {
        if (*p < '0' || *p > '9') return false;
        v = std::min<int64_t>(v * 10 + (*p - '0'), INT_LIMIT);
    }
    *out = int32_t(neg ? -v : v);
    return true;
}

/* The index of the word from p to end in names, or -1. */
template <size_t N>
static int word_index(const char *p, const char *end, const char *const (&names)[N]) {
    for (size_t i = 0; i < N; i++)
        if (jx_settings_key_is(p, end, names[i])) return int(i);
    return -1;
}

/* A flag's value: exactly "0" or "1". */
static bool read_flag(const char *p, const char *end, uint8_t *out) {
    if (end - p != 1 || (*p != '0' && *p != '1')) return false;
    *out = uint8_t(*p - '0');
    return true;
}

/* The count of recent slots in use, whatever the record holds. */
static int recent_count(const JxSettings *s) { return std::clamp<int32_t>(s->nrecent, 0, JX_RECENT_MAX); }

/* The path in slot i: up to its zero byte, or the whole slot when a caller
 * left none (too long to be valid, but never read past). */
static std::string_view recent_path(const JxSettings *s, int i) {
    return {s->recent[i], strnlen(s->recent[i], JX_RECENT_SIZE)};
}

static void apply_line(JxSettings *s, const char *key, const char *eq, const char *end) {
    const char *v = eq + 1;
    int32_t n;
    int i;
    if (jx_settings_key_is(key, eq, "theme")) {
        if (read_int(v, end, &n) && n >= 0 && n <= 2) s->theme = n;
    } else if (jx_settings_key_is(key, eq, "font_size")) {
        if (read_int(v, end, &n)) s->font_size = n == 0 ? 0 : std::clamp(n, 9, 24);
    } else if (jx_settings_key_is(key, eq, "path_style")) {
        if ((i = word_index(v, end, PATH_STYLES)) >= 0) s->path_style = i;
    } else if (jx_settings_key_is(key, eq, "inspector")) {
        read_flag(v, end, &s->inspector);
    } else if (jx_settings_key_is(key, eq, "inspector_width")) {
        if (read_int(v, end, &n)) s->inspector_width = std::clamp(n, 200, 1200);
    } else if (jx_settings_key_is(key, eq, "search_case")) {
        read_flag(v, end, &s->search_case);
    } else if (jx_settings_key_is(key, eq, "search_regex")) {
        read_flag(v, end, &s->search_regex);
    } else if (jx_settings_key_is(key, eq, "search_scope")) {
        if ((i = word_index(v, end, SCOPES)) >= 0) s->search_scope = i;
    } else if (jx_settings_key_is(key, eq, "indent_guides")) {
        read_flag(v, end, &s->indent_guides);
    } else if (jx_settings_key_is(key, eq, "window")) {
        int32_t frame[4];
        if (jx_settings_window(v, end, frame)) {
            s->win_x = frame[0];
            s->win_y = frame[1];
            s->win_w = frame[2];
            s->win_h = frame[3];
        }
    } else if (jx_settings_key_is(key, eq, "recent")) {
        const size_t len = size_t(end - v);
        if (s->nrecent < JX_RECENT_MAX && jx_settings_path_ok(v, len) &&
            jx_settings_find_recent(s, v, len) < 0) {
            /* the slot is still all zeros from the defaults */
            std::memcpy(s->recent[s->nrecent++], v, len);
        }
    }
}

void jx_settings_default(JxSettings *s) {
    if (!s) return;
    std::memset(s, 0, sizeof *s);
    s->inspector_width = 360;
    s->indent_guides = 1;
}

void jx_settings_parse(JxSettings *s, const char *text, size_t len) {
    if (!s) return;
    jx_settings_default(s);
    if (!text) return;
    const char *p = text, *end = text + len;
    while (p < end) {
        const size_t left = size_t(end - p);
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', left));
        size_t n = nl ? size_t(nl - p) : left;
        if (n > 0 && p[n - 1] == '\r') n--;
        if (const char *eq = static_cast<const char *>(std::memchr(p, '=', n))) apply_line(s, p, eq, p + n);
        p = nl ? nl + 1 : end;
    }
}

size_t jx_settings_format(const JxSettings *s, char *buf, size_t size) {
    if (!s) return jx__copy_text("", 0, buf, size);
    const int32_t style = uint32_t(s->path_style) <= 4 ? s->path_style : 0;
    const int32_t scope = uint32_t(s->search_scope) <= 2 ? s->search_scope : 0;
    char text[TEXT_MAX];
    int n = std::snprintf(text, FIXED_MAX,
                          "theme=%d\nfont_size=%d\npath_style=%s\ninspector=%d\ninspector_width=%d\n"
                          "search_case=%d\nsearch_regex=%d\nsearch_scope=%s\nindent_guides=%d\n"
                          "window=%d %d %d %d\n",
                          s->theme >= 0 && s->theme <= 2 ? s->theme : 0,
                          s->font_size == 0 ? 0 : std::clamp(s->font_size, 9, 24), PATH_STYLES[style],
                          s->inspector != 0, std::clamp(s->inspector_width, 200, 1200), s->search_case != 0,
                          s->search_regex != 0, SCOPES[scope], s->indent_guides != 0, s->win_x, s->win_y,
                          std::max(s->win_w, 0), std::max(s->win_h, 0));
    size_t len = size_t(std::max(n, 0));
    for (int i = 0, count = recent_count(s); i < count; i++) {
        std::string_view path = recent_path(s, i);
        if (!jx_settings_path_ok(path.data(), path.size())) continue;
        std::memcpy(text + len, "recent=", 7);
        std::memcpy(text + len + 7, path.data(), path.size());
        len += 7 + path.size();
        text[len++] = '\n';
    }
    return jx__copy_text(text, len, buf, size);
}

void jx_settings_add_recent(JxSettings *s, const char *path) {
    if (!s || !path) return;
    const size_t len = strnlen(path, JX_RECENT_SIZE);
    if (!jx_settings_path_ok(path, len)) return;
    /* path may be one of the slots about to move */
    char copy[JX_RECENT_SIZE] = {};
    std::memcpy(copy, path, len);
    int count = recent_count(s);
    int at = jx_settings_find_recent(s, copy, len);
    if (at < 0) {
        count = std::min(count + 1, JX_RECENT_MAX);
        at = count - 1;
    }
    std::memmove(s->recent[1], s->recent[0], size_t(at) * JX_RECENT_SIZE);
    std::memcpy(s->recent[0], copy, JX_RECENT_SIZE);
    s->nrecent = count;
}

int jx_settings_key_is(const char *key, const char *key_end, const char *word) {
    if (!key || !word || key_end < key) return 0;
    const size_t n = std::strlen(word);
    return size_t(key_end - key) == n && std::memcmp(key, word, n) == 0;
}

int jx_settings_window(const char *text, const char *end, int32_t frame[4]) {
    if (!text || end < text) return 0;
    int32_t v[4];
    const char *p = text;
    for (int i = 0; i < 4; i++) {
        const char *stop = i < 3 ? static_cast<const char *>(std::memchr(p, ' ', size_t(end - p))) : end;
        if (!stop || !read_int(p, stop, &v[i])) return 0;
        p = stop + 1;
    }
    if (v[2] < 0 || v[3] < 0) return 0;
    std::memcpy(frame, v, sizeof v);
    return 1;
}

int jx_settings_path_ok(const char *path, size_t len) {
    if (!path || len == 0 || len >= JX_RECENT_SIZE) return 0;
    const auto *p = reinterpret_cast<const unsigned char *>(path), *end = p + len;
    while (p < end) {
        if (*p < 0x80) {
            if (*p < 32 || *p == 127) return 0;
            p++;
            continue;
        }
        const size_t n = jx__utf8_len(p, end);
        if (n == 0) return 0;
        p += n;
    }
    return 1;
}

int jx_settings_find_recent(const JxSettings *s, const char *path, size_t len) {
    if (!s || !path) return -1;
    const std::string_view want(path, len);
    for (int i = 0, count = recent_count(s); i < count; i++)
        if (recent_path(s, i) == want) return i;
    return -1;
}
