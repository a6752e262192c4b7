// keys.h: key strokes as the script runner sends them, in the US layout.
#ifndef OV_SCRIPT_KEYS_H
#define OV_SCRIPT_KEYS_H

#include <QString>
#include <Qt>

#include <cstdint>

class QKeyEvent;

// One key-down as a keyboard would report it: Qt's key, the modifiers, the typed text and the
// X11 key code of the key on a US keyboard (0 for a character no key types).
struct OVKeyStroke {
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    QString text;
    uint32_t scanCode = 0;
};

// The stroke of a combination as jx_combo reads it ("mod+shift+]", "alt+3", "pagedown"); false
// when it does not parse. Shifted punctuation and digits carry the shifted key ("}" for
// shift+]), as a US keyboard reports them.
bool ov_stroke_of_combo(const QString &combo, OVKeyStroke *stroke);

// The stroke that types character c: letters, digits and the punctuation rows of the US layout
// with their key codes (and Shift where the character needs it); anything else with no key code.
OVKeyStroke ov_stroke_of_character(char32_t c);

// The same key with the other form of a shifted key ("}" for Shift+"]" and the reverse), so that
// a shortcut registered in either form is found; false when the key has no other form.
bool ov_stroke_twin(const OVKeyStroke &stroke, int *key, Qt::KeyboardModifiers *modifiers);

// A key press event of the stroke (the caller sends and deletes it).
QKeyEvent *ov_key_event(const OVKeyStroke &stroke, int type);

#endif
