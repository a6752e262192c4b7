/* Proves the public headers are C11: includes the umbrella header and calls a few functions. */
#include <stdlib.h>
#include <string.h>

#include "jx.h"

int jx_c_api_smoke(void);

int jx_c_api_smoke(void) {
    const char text[] = "{\"a\":[1,2]}";
    char *buf = jx_buf_alloc(sizeof text - 1);
    if (!buf) return -1;
    memcpy(buf, text, sizeof text - 1);
    jx_parse_options opt = {0, 0};
    int status = -1;
    JxDoc *doc = jx_parse(buf, sizeof text - 1, &opt, NULL, &status);
    if (!doc || status != JX_OK) return -2;
    int result = (int)jx_doc_count(doc) * 10 + jx_type(doc, jx_first_child(doc, 0));
    JxRows *rows = jx_rows_new(doc);
    JxLine line;
    jx_line_init(&line);
    jx_row_line(rows, 0, 80, NULL, JX_NONE, &line);
    if (line.len == 0 || line.runs[0].style != JX_STYLE_PLAIN) result = -3;
    JxText *model = jx_text_new(doc, JX_TEXT_PRETTY, NULL, &status);
    jx_text_line(model, 1, 80, NULL, JX_NONE, &line);
    if (jx_text_count(model) != 6 || line.node != 1 || line.runs[0].style != JX_STYLE_PUNCT) result = -4;
    JxView *view = jx_view_new(doc);
    uint32_t key = 0, mods = 0;
    size_t len = 0;
    jx_view_set_text(view, model);
    if (!jx_combo("mod+shift+]", &key, &mods) || jx_shortcut(key, mods) != JX_CMD_EXPAND_ALL ||
        !jx_view_command(view, JX_CMD_EXPAND_ALL) || !jx_view_key(view, JX_KEY_END, 0, 10) ||
        jx_view_selected_node(view) != 3 || !jx_view_set_mode(view, JX_MODE_TEXT))
        result = -5;
    char *dump = jx_view_dump_state(view, &len);
    JxState *state = jx_view_save(view, 0);
    JxView *again = jx_view_restore(doc, state, NULL);
    if (!dump || len == 0 || !again) result = -6;
    free(dump);
    jx_state_free(state);
    jx_view_free(again);
    jx_view_free(view);
    JxSettings settings;
    static const char file[] = "theme=2\nrecent=/a.json\n";
    jx_settings_parse(&settings, file, sizeof file - 1);
    jx_settings_add_recent(&settings, "/b.json");
    char saved[512];
    size_t saved_len = jx_settings_format(&settings, saved, sizeof saved);
    if (saved_len != jx_settings_format(&settings, NULL, 0) || settings.nrecent != 2 ||
        jx_settings_find_recent(&settings, "/a.json", 7) != 1 || strstr(saved, "theme=2\n") != saved)
        result = -7;
    jx_line_free(&line);
    jx_rows_free(rows);
    jx_doc_release(doc);
    return result;
}
