// Reads the input as a settings file: the record must be valid, must come back unchanged
// from its own text, and must stay valid after adding a path taken from the input.
#include <cstdint>
#include <cstring>
#include <string>

#include "jx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

void check_valid(const JxSettings &s) {
    check(uint32_t(s.theme) <= 2 && uint32_t(s.path_style) <= 4 && uint32_t(s.search_scope) <= 2);
    check(s.font_size == 0 || (s.font_size >= 9 && s.font_size <= 24));
    check(s.inspector_width >= 200 && s.inspector_width <= 1200);
    check(s.inspector <= 1 && s.search_case <= 1 && s.search_regex <= 1 && s.indent_guides <= 1);
    check(s.win_w >= 0 && s.win_h >= 0 && s.nrecent >= 0 && s.nrecent <= JX_RECENT_MAX);
    for (int i = 0; i < s.nrecent; i++) {
        const size_t len = strnlen(s.recent[i], JX_RECENT_SIZE);
        check(jx_settings_path_ok(s.recent[i], len) && jx_settings_find_recent(&s, s.recent[i], len) == i);
    }
}

bool same(const JxSettings &a, const JxSettings &b) {
    if (a.theme != b.theme || a.font_size != b.font_size || a.path_style != b.path_style ||
        a.inspector != b.inspector || a.inspector_width != b.inspector_width ||
        a.search_case != b.search_case || a.search_regex != b.search_regex ||
        a.search_scope != b.search_scope || a.indent_guides != b.indent_guides || a.win_x != b.win_x ||
        a.win_y != b.win_y || a.win_w != b.win_w || a.win_h != b.win_h || a.nrecent != b.nrecent)
        return false;
    for (int i = 0; i < a.nrecent; i++)
        if (std::strcmp(a.recent[i], b.recent[i]) != 0) return false;
    return true;
}

// Formats s through a measure and a fill, checking a cut copy is a prefix of the whole.
std::string format(const JxSettings &s, size_t cut) {
    std::string text(jx_settings_format(&s, nullptr, 0), 'x');
    check(jx_settings_format(&s, text.data(), text.size() + 1) == text.size() &&
          text.c_str()[text.size()] == 0);
    char small[64];
    cut = 1 + cut % sizeof small;
    check(jx_settings_format(&s, small, cut) == text.size());
    const size_t n = std::strlen(small);
    check(n < cut && n + 4 > std::min(cut - 1, text.size()) && std::memcmp(small, text.data(), n) == 0);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static JxSettings s, back;
    const char *text = reinterpret_cast<const char *>(data);
    jx_settings_parse(&s, text, size);
    check_valid(s);
    std::string saved = format(s, size);
    jx_settings_parse(&back, saved.data(), saved.size());
    check(same(s, back));

    // The input's last line up to any zero byte, as a path to add: a valid one lands in front,
    // anything else changes nothing.
    std::string path(text, size);
    path = path.substr(path.rfind('\n') + 1);
    path.resize(std::strlen(path.c_str()));
    const bool ok = jx_settings_path_ok(path.data(), path.size());
    const int32_t count = s.nrecent;
    const int was = jx_settings_find_recent(&s, path.data(), path.size());
    jx_settings_add_recent(&s, path.c_str());
    check_valid(s);
    if (ok)
        check(std::strcmp(s.recent[0], path.c_str()) == 0 &&
              s.nrecent == (was >= 0 ? count : std::min(count + 1, JX_RECENT_MAX)));
    else
        check(s.nrecent == count && (count == 0 || std::strcmp(s.recent[0], back.recent[0]) == 0));
    saved = format(s, size / 2);
    jx_settings_parse(&back, saved.data(), saved.size());
    check(same(s, back));
    return 0;
}
