// list_keys.h: key events as the core's key codes (jx/keys.h) and typed characters.
#ifndef OV_LIST_KEYS_H
#define OV_LIST_KEYS_H

#include <Qt>

#include <cstdint>
#include <vector>

class QKeyEvent;

// The core's modifier set (1 Shift, 2 Alt, 4 Ctrl). Meta, which is the Control key on macOS,
// has no bit: the command key is Ctrl here.
uint32_t ov_mods_of(Qt::KeyboardModifiers modifiers);

// Maps event to a key code (JX_KEY_*, 'A' to 'Z', '0' to '9', '-', '=', '[' or ']') and its
// modifier set; false (leaving both alone) when the key has none. Reads the key, never the text,
// so that shifted punctuation and non-US layouts give the key's code: with Alt or Ctrl held, a
// digit-row key gives its digit whatever character it types.
bool ov_key_of_event(const QKeyEvent *event, uint32_t *key, uint32_t *mods);

// The characters event types for type-to-select: none while Ctrl, Alt or Meta is held; control
// characters and the private-use range of function keys left out.
std::vector<uint32_t> ov_typed_characters(const QKeyEvent *event);

#endif
