#include "keys.h"

#include <QKeyEvent>

#include <jx/keys.h>

namespace {

struct Named {
    uint32_t code;
    int key;
    const char *text;
    uint32_t scan;
};

// The named keys: no text for the arrows, paging and function keys (Qt reports none), space,
// carriage return and escape for the others.
constexpr Named NAMED[] = {
    {JX_KEY_UP, Qt::Key_Up, "", 111},         {JX_KEY_DOWN, Qt::Key_Down, "", 116},
    {JX_KEY_LEFT, Qt::Key_Left, "", 113},     {JX_KEY_RIGHT, Qt::Key_Right, "", 114},
    {JX_KEY_PAGEUP, Qt::Key_PageUp, "", 112}, {JX_KEY_PAGEDOWN, Qt::Key_PageDown, "", 117},
    {JX_KEY_HOME, Qt::Key_Home, "", 110},     {JX_KEY_END, Qt::Key_End, "", 115},
    {JX_KEY_SPACE, Qt::Key_Space, " ", 65},   {JX_KEY_RETURN, Qt::Key_Return, "\r", 36},
    {JX_KEY_ESC, Qt::Key_Escape, "\x1b", 9},  {JX_KEY_F3, Qt::Key_F3, "", 69},
    {JX_KEY_F5, Qt::Key_F5, "", 71},
};

// The US layout's character keys, unshifted and shifted, with their X11 key codes.
struct Printed {
    char plain;
    char shifted;
    uint32_t scan;
};

constexpr Printed PRINTED[] = {
    {'`', '~', 49},  {'1', '!', 10},  {'2', '@', 11},  {'3', '#', 12},  {'4', '$', 13},  {'5', '%', 14},
    {'6', '^', 15},  {'7', '&', 16},  {'8', '*', 17},  {'9', '(', 18},  {'0', ')', 19},  {'-', '_', 20},
    {'=', '+', 21},  {'[', '{', 34},  {']', '}', 35},  {'\\', '|', 51}, {';', ':', 47},  {'\'', '"', 48},
    {',', '<', 59},  {'.', '>', 60},  {'/', '?', 61},  {' ', ' ', 65},
    {'q', 'Q', 24},  {'w', 'W', 25},  {'e', 'E', 26},  {'r', 'R', 27},  {'t', 'T', 28},  {'y', 'Y', 29},
    {'u', 'U', 30},  {'i', 'I', 31},  {'o', 'O', 32},  {'p', 'P', 33},  {'a', 'A', 38},  {'s', 'S', 39},
    {'d', 'D', 40},  {'f', 'F', 41},  {'g', 'G', 42},  {'h', 'H', 43},  {'j', 'J', 44},  {'k', 'K', 45},
    {'l', 'L', 46},  {'z', 'Z', 52},  {'x', 'X', 53},  {'c', 'C', 54},  {'v', 'V', 55},  {'b', 'B', 56},
    {'n', 'N', 57},  {'m', 'M', 58},
};

// Option with a digit types these on a US keyboard, 0 to 9.
const char32_t OPTION_DIGITS[] = U"º¡™£¢∞§¶•ª";

} // namespace

// Qt's key for a character: letters by their upper case; other ASCII characters are their own code.
static int keyOfCharacter(char c) {
    return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c == ' ' ? int(Qt::Key_Space) : c;
}

static const Printed *printedOf(char32_t c, bool *shifted) {
    for (const Printed &p : PRINTED) {
        if (char32_t(p.plain) == c) {
            *shifted = false;
            return &p;
        }
        if (char32_t(p.shifted) == c) {
            *shifted = true;
            return &p;
        }
    }
    return nullptr;
}

static Qt::KeyboardModifiers modifiersOf(uint32_t mods) {
    Qt::KeyboardModifiers m;
    if (mods & JX_MOD_SHIFT) m |= Qt::ShiftModifier;
    if (mods & JX_MOD_OPTION) m |= Qt::AltModifier;
    if (mods & JX_MOD_COMMAND) m |= Qt::ControlModifier;
    return m;
}

bool ov_stroke_of_combo(const QString &combo, OVKeyStroke *stroke) {
    uint32_t code = 0, mods = 0;
    if (!jx_combo(combo.toUtf8().constData(), &code, &mods))
        return false;
    OVKeyStroke s;
    s.modifiers = modifiersOf(mods);
    for (const Named &n : NAMED) {
        if (n.code == code) {
            s.key = n.key;
            s.text = QString::fromLatin1(n.text);
            s.scanCode = n.scan;
            *stroke = s;
            return true;
        }
    }
    // Letters come as upper case, the rest as their plain character.
    const char plain = code >= 'A' && code <= 'Z' ? char(code - 'A' + 'a') : char(code);
    bool unused = false;
    const Printed *p = printedOf(char32_t(plain), &unused);
    if (!p)
        return false;
    const bool shift = mods & JX_MOD_SHIFT;
    const char typed = shift ? p->shifted : p->plain;
    s.key = keyOfCharacter(typed);
    s.scanCode = p->scan;
    if (mods == JX_MOD_OPTION && code >= '0' && code <= '9')
        s.text = QString::fromUcs4(&OPTION_DIGITS[code - '0'], 1);
    else
        s.text = QString(QLatin1Char(typed));
    *stroke = s;
    return true;
}

OVKeyStroke ov_stroke_of_character(char32_t c) {
    OVKeyStroke s;
    s.text = QString::fromUcs4(&c, 1);
    bool shifted = false;
    if (const Printed *p = printedOf(c, &shifted)) {
        s.key = keyOfCharacter(char(c));
        s.scanCode = p->scan;
        if (shifted && c != U' ')
            s.modifiers = Qt::ShiftModifier;
        return s;
    }
    // Qt names Latin-1 keys by their upper case; beyond that a key has no name.
    const QString upper = s.text.toUpper();
    s.key = c < 0x100 && upper.size() == 1 ? upper[0].unicode() : int(Qt::Key_unknown);
    return s;
}

bool ov_stroke_twin(const OVKeyStroke &stroke, int *key, Qt::KeyboardModifiers *modifiers) {
    for (const Printed &p : PRINTED) {
        if (p.plain == p.shifted || (p.plain >= 'a' && p.plain <= 'z'))
            continue;
        if (stroke.key == keyOfCharacter(p.shifted) && (stroke.modifiers & Qt::ShiftModifier)) {
            *key = keyOfCharacter(p.plain);
            *modifiers = stroke.modifiers;
            return true;
        }
        if (stroke.key == keyOfCharacter(p.plain) && (stroke.modifiers & Qt::ShiftModifier)) {
            *key = keyOfCharacter(p.shifted);
            *modifiers = stroke.modifiers;
            return true;
        }
    }
    return false;
}

QKeyEvent *ov_key_event(const OVKeyStroke &stroke, int type) {
    return new QKeyEvent(QEvent::Type(type), stroke.key, stroke.modifiers, stroke.scanCode, 0, 0, stroke.text);
}
