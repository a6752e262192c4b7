#include "list_keys.h"

#include <QKeyEvent>

#include <jx/keys.h>

namespace {

struct KeyCode {
    int qt;
    uint32_t code;
};

constexpr KeyCode NAMED[] = {
    {Qt::Key_Up, JX_KEY_UP},         {Qt::Key_Down, JX_KEY_DOWN},         {Qt::Key_Left, JX_KEY_LEFT},
    {Qt::Key_Right, JX_KEY_RIGHT},   {Qt::Key_PageUp, JX_KEY_PAGEUP},     {Qt::Key_PageDown, JX_KEY_PAGEDOWN},
    {Qt::Key_Home, JX_KEY_HOME},     {Qt::Key_End, JX_KEY_END},           {Qt::Key_Space, JX_KEY_SPACE},
    {Qt::Key_Return, JX_KEY_RETURN}, {Qt::Key_Enter, JX_KEY_RETURN},      {Qt::Key_Escape, JX_KEY_ESC},
    {Qt::Key_F3, JX_KEY_F3},         {Qt::Key_F5, JX_KEY_F5},
    // A key and its shifted character share a code, whichever the platform reports.
    {Qt::Key_Plus, '='},             {Qt::Key_Equal, '='},                {Qt::Key_Minus, '-'},
    {Qt::Key_Underscore, '-'},       {Qt::Key_BracketLeft, '['},          {Qt::Key_BraceLeft, '['},
    {Qt::Key_BracketRight, ']'},     {Qt::Key_BraceRight, ']'},
};

// The US layout's shifted digit row, "!" over 1 to ")" over 0.
constexpr KeyCode SHIFTED_DIGITS[] = {
    {Qt::Key_Exclam, '1'},    {Qt::Key_At, '2'},        {Qt::Key_NumberSign, '3'}, {Qt::Key_Dollar, '4'},
    {Qt::Key_Percent, '5'},   {Qt::Key_AsciiCircum, '6'}, {Qt::Key_Ampersand, '7'}, {Qt::Key_Asterisk, '8'},
    {Qt::Key_ParenLeft, '9'}, {Qt::Key_ParenRight, '0'},
};

// Function keys on macOS type characters in this private-use range.
constexpr uint32_t FUNCTION_FIRST = 0xF700;
constexpr uint32_t FUNCTION_LAST = 0xF8FF;

} // namespace

template <size_t N> static bool lookup(const KeyCode (&table)[N], int qt, uint32_t *code) {
    for (const KeyCode &k : table)
        if (k.qt == qt) {
            *code = k.code;
            return true;
        }
    return false;
}

// The digit of a key on the digit row, by where it sits rather than what it types, so that
// layouts whose digit row types other characters (AZERTY) still reach the level shortcuts.
static bool digit_row_key(const QKeyEvent *event, uint32_t *code) {
#if defined(Q_OS_MACOS)
    constexpr uint32_t KEYS[] = {29, 18, 19, 20, 21, 23, 22, 26, 28, 25}; // virtual key codes of 0 to 9
    for (uint32_t d = 0; d < 10; d++)
        if (event->nativeVirtualKey() == KEYS[d]) {
            *code = '0' + d;
            return true;
        }
#else
    // X11 and Wayland key codes: 10 to 18 are 1 to 9, 19 is 0.
    const uint32_t scan = event->nativeScanCode();
    if (scan >= 10 && scan <= 19) {
        *code = scan == 19 ? '0' : '1' + (scan - 10);
        return true;
    }
#endif
    return lookup(SHIFTED_DIGITS, event->key(), code);
}

uint32_t ov_mods_of(Qt::KeyboardModifiers modifiers) {
    uint32_t mods = 0;
    if (modifiers & Qt::ShiftModifier) mods |= JX_MOD_SHIFT;
    if (modifiers & Qt::AltModifier) mods |= JX_MOD_OPTION;
    if (modifiers & Qt::ControlModifier) mods |= JX_MOD_COMMAND;
    return mods;
}

bool ov_key_of_event(const QKeyEvent *event, uint32_t *key, uint32_t *mods) {
    const int qt = event->key();
    const uint32_t m = ov_mods_of(event->modifiers());
    uint32_t code = 0;
    bool found = lookup(NAMED, qt, &code);
    if (!found && ((qt >= Qt::Key_A && qt <= Qt::Key_Z) || (qt >= Qt::Key_0 && qt <= Qt::Key_9))) {
        code = uint32_t(qt); // Qt's codes for letters and digits are their upper-case ASCII
        found = true;
    }
    if (!found && (m & (JX_MOD_OPTION | JX_MOD_COMMAND))) found = digit_row_key(event, &code);
    if (!found) return false;
    *key = code;
    *mods = m;
    return true;
}

std::vector<uint32_t> ov_typed_characters(const QKeyEvent *event) {
    std::vector<uint32_t> typed;
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return typed;
    for (char32_t c : event->text().toUcs4()) {
        const uint32_t cp = uint32_t(c);
        if (cp < 32 || cp == 127 || (cp >= FUNCTION_FIRST && cp <= FUNCTION_LAST)) continue;
        typed.push_back(cp);
    }
    return typed;
}
