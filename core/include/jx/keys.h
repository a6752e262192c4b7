/*
 * jx/keys.h: what the keyboard means. The window turns a key event into a
 * key code and modifier set (JX_MOD_* of jx/view.h) and offers it, in this
 * order, to jx_view_key, to jx_shortcut (which names a command) and, for
 * typed characters without command, option or control, to jx_view_type.
 * Commands are the numbers shared by menus, shortcuts, scripts and the view;
 * the view carries out JX_CMD_FIND_NEXT and above itself (jx_view_command),
 * the window the others. Main thread, like the view; jx_shortcut and
 * jx_combo only compute, so any thread may call them.
 */
#ifndef JX_KEYS_H
#define JX_KEYS_H

#include "view.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Key codes: letters are their upper-case ASCII codes ('A' to 'Z'), digits
 * and the keys "-", "=", "[" and "]" their ASCII codes; the named keys: */
enum {
    JX_KEY_UP = 256,
    JX_KEY_DOWN,
    JX_KEY_LEFT,
    JX_KEY_RIGHT,
    JX_KEY_PAGEUP,
    JX_KEY_PAGEDOWN,
    JX_KEY_HOME,
    JX_KEY_END,
    JX_KEY_SPACE,
    JX_KEY_RETURN,
    JX_KEY_ESC,
    JX_KEY_F3,
    JX_KEY_F5 /* 268 */
};

/* Commands; 0 is none. 1 to 17 are the window's, the rest the view's. */
enum {
    JX_CMD_OPEN = 1,
    JX_CMD_OPEN_CLIPBOARD = 2,
    JX_CMD_CLOSE = 3,
    JX_CMD_RELOAD = 4,
    JX_CMD_FIND = 5,
    JX_CMD_GOTO = 6,
    JX_CMD_INSPECTOR = 7,
    JX_CMD_ZOOM_IN = 8,
    JX_CMD_ZOOM_OUT = 9,
    JX_CMD_ACTUAL_SIZE = 10,
    JX_CMD_TREE = 11,
    JX_CMD_TEXT = 12,
    JX_CMD_COPY_VALUE = 13,
    JX_CMD_COPY_PATH = 14,
    JX_CMD_COPY_JSON = 15,
    JX_CMD_COPY_KEY = 16,
    JX_CMD_COPY_MINIFIED = 17,
    JX_CMD_FIND_NEXT = 18,
    JX_CMD_FIND_PREVIOUS = 19,
    JX_CMD_EXPAND_ALL = 20,
    JX_CMD_COLLAPSE_ALL = 21,
    JX_CMD_LEVEL_1 = 22, /* to JX_CMD_LEVEL_1 + 8: expand to level 1 to 9 */
    JX_CMD_BACK = 31,
    JX_CMD_FORWARD = 32,
    JX_CMD_NEXT_PROBLEM = 33
};

/*
 * Offers a key to the view: movement (up, down, page up and down, home,
 * end; with shift the Text view extends the range), and in the Tree view
 * left and right (option: the whole subtree), space and return. page_rows is
 * how many rows the list shows (at least 1 counts). 1 when the view took the
 * key, even without moving; 0 when the key is not the view's.
 */
int jx_view_key(JxView *view, uint32_t key, uint32_t mods, uint32_t page_rows);
/*
 * Type-to-select in the Tree view: selects the next row whose key (or, for
 * typed digits, whose index or record line) starts with what was typed,
 * letter case folded for ASCII and Latin-1. Characters typed less than a
 * second apart (time_ms from a monotonic clock) extend the typed text and
 * search from the selected row; later ones start again from the row after
 * it. 1 when a row was selected. A refused character leaves the typed text
 * and its clock alone.
 */
int jx_view_type(JxView *view, uint32_t code_point, uint64_t time_ms);
/* Carries out one of the view's commands (JX_CMD_FIND_NEXT and above); 1
 * when it did something, 0 when it does not apply. */
int jx_view_command(JxView *view, uint32_t command);
/* The level of jx_rows_at_level a level command asks for (JX_ROWS_ALL for
 * JX_CMD_EXPAND_ALL, 1 for JX_CMD_COLLAPSE_ALL, n for JX_CMD_LEVEL_1 + n - 1);
 * -1 for any other command. */
int jx_command_level(uint32_t command);
/*
 * Finishes a level command whose rows were built beforehand, on another
 * thread, by jx_rows_at_level over the view's document: the view takes rows
 * in place of its own and moves the selection as jx_view_command would. 1
 * when it took them, handing back the rows it held in *old for the caller to
 * free (on any thread); 0 in the Text view, for a view without rows or for
 * rows of another document, the caller then keeping rows.
 */
int jx_view_set_rows(JxView *view, JxRows *rows, JxRows **old /* out */);
/*
 * The copy words of scripts ("value", "key", "path", "path-jq", "path-js",
 * "path-python", "path-pointer", "json", "json-min") and the copies they
 * name: a JX_CMD_COPY_* command and a path style (JX_PATH_*, JSONPath for
 * everything but paths). jx_copy_word reads a word of len bytes: 1 with the
 * copy stored where asked (either may be null), else 0. jx_copy_word_name
 * gives the word of a copy, or null when none names it.
 */
int jx_copy_word(const char *word, size_t len, uint32_t *what /* out */, int *style /* out */);
const char *jx_copy_word_name(uint32_t what, int style);
/* The command of a shortcut (option with a digit 1 to 9 expands to that
 * level), 0 for none. */
uint32_t jx_shortcut(uint32_t key, uint32_t mods);
/*
 * Reads a key combination as scripts write it: modifier words "mod", "alt"
 * and "shift" (any case) each ended by "+", then a key: one letter, digit,
 * "-", "=", "[" or "]", or a key name ("up", "down", "left", "right",
 * "pageup", "pagedown", "home", "end", "space", "return", "esc", "f3", "f5",
 * any case). 1 with the key code and modifiers stored where asked (either
 * may be null), else 0.
 */
int jx_combo(const char *text, uint32_t *key /* out */, uint32_t *mods /* out */);

#ifdef __cplusplus
}
#endif

#endif
