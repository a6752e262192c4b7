#include "theme.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPalette>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t LIGHT[OVTheme::ROLES] = {
    0xFBFBFA, 0xF2F2F0, 0xDEDEDA, 0xE8E8E5, 0x1F2328, 0x6A737D, 0xA0A6AD, 0x0B57D0, 0x1E7A34,
    0xA3500B, 0x7A3EC8, 0x6A737D, 0x8A9099, 0xDCE8FA, 0xFCE7A6, 0xF6C744, 0xC62828, 0xFDECEA,
};
constexpr uint32_t DARK[OVTheme::ROLES] = {
    0x1D1F22, 0x24272B, 0x33373C, 0x2C3035, 0xD9DCE0, 0x8B929A, 0x5C636B, 0x82AAFF, 0xA8D5A2,
    0xF2B872, 0xC3A6FF, 0x8B929A, 0x6B727A, 0x2B3F5C, 0x5C4A1F, 0x8C6A1A, 0xFF8A80, 0x3B2325,
};
// Index: the core's style number (JX_STYLE_PLAIN 0 to JX_STYLE_ERROR 11).
constexpr int STYLE_ROLE[12] = {4, 7, 5, 8, 9, 10, 11, 12, 5, 5, 5, 16};

struct FontState {
    int size = OVTheme::DEFAULT_FONT_SIZE;
    bool measured = false;
    QFont font;
    int lineHeight = 0;
    double charWidth = 0;
};

FontState &font_state() {
    static FontState state;
    return state;
}

} // namespace

static int clamp_role(int role) { return role >= 0 && role < OVTheme::ROLES ? role : OVTheme::DEFAULT_TEXT; }

bool OVTheme::isDark(const QPalette &palette) {
    return palette.color(QPalette::Window).lightnessF() < palette.color(QPalette::WindowText).lightnessF();
}

bool OVTheme::isDark() { return isDark(QGuiApplication::palette()); }

QColor OVTheme::color(int role, bool dark) {
    static const auto colors = [] {
        struct {
            QColor light[ROLES], dark[ROLES];
        } t;
        for (int i = 0; i < ROLES; i++) {
            t.light[i] = QColor::fromRgb(LIGHT[i]);
            t.dark[i] = QColor::fromRgb(DARK[i]);
        }
        return t;
    }();
    role = clamp_role(role);
    return dark ? colors.dark[role] : colors.light[role];
}

QColor OVTheme::color(int role) { return color(role, isDark()); }

int OVTheme::toneOfStyle(int style) { return style >= 1 && style <= 11 ? STYLE_ROLE[style] : DEFAULT_TEXT; }

int OVTheme::hitRole(int hit) { return hit == 1 ? 14 : hit == 2 ? 15 : -1; }

// The Fusion palette of one appearance, built from the roles so that Qt's own widgets (fields,
// buttons, menus, scroll bars) sit with what the shell draws.
static QPalette roles_palette(bool dark) {
    auto c = [dark](int role) { return OVTheme::color(role, dark); };
    QPalette p(c(1), c(0)); // button, window: Qt derives the bevel shades from these
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool off = group == QPalette::Disabled;
        p.setColor(group, QPalette::WindowText, c(off ? 6 : 4));
        p.setColor(group, QPalette::Text, c(off ? 6 : 4));
        p.setColor(group, QPalette::ButtonText, c(off ? 6 : 4));
        p.setColor(group, QPalette::Base, c(0));
        p.setColor(group, QPalette::AlternateBase, c(1));
        p.setColor(group, QPalette::ToolTipBase, c(1));
        p.setColor(group, QPalette::ToolTipText, c(4));
        p.setColor(group, QPalette::PlaceholderText, c(6));
        p.setColor(group, QPalette::BrightText, c(16));
        p.setColor(group, QPalette::Highlight, c(13));
        p.setColor(group, QPalette::HighlightedText, c(4));
        p.setColor(group, QPalette::Link, c(7));
        p.setColor(group, QPalette::LinkVisited, c(10));
    }
    return p;
}

void OVTheme::applyTheme(int theme) {
    // What the desktop chose, taken before the first change so that theme 0 can go back to it.
    static const QString desktopStyle = QApplication::style()->name();
    if (theme == 1 || theme == 2) {
        if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
            QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(roles_palette(theme == 1));
        return;
    }
    // An empty palette sets no role: the platform theme's palette applies again and follows the
    // desktop's later changes.
    QApplication::setPalette(QPalette());
    if (QApplication::style()->name() != desktopStyle) QApplication::setStyle(desktopStyle);
}

int OVTheme::fontSize() { return font_state().size; }

void OVTheme::setFontSize(int size) {
    FontState &s = font_state();
    size = size == 0 ? DEFAULT_FONT_SIZE : std::clamp(size, MIN_FONT_SIZE, MAX_FONT_SIZE);
    if (size == s.size && s.measured) return;
    s.size = size;
    s.measured = false;
}

void OVTheme::measure() {
    FontState &s = font_state();
    if (s.measured) return;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setWeight(QFont::Normal);
    font.setStyle(QFont::StyleNormal);
    // Sizes are device-independent pixels, as everywhere in the shell; points would scale with the dpi.
    font.setPixelSize(s.size);
    QFontMetricsF metrics(font);
    s.font = font;
    s.lineHeight = int(std::ceil(metrics.ascent() + metrics.descent() + metrics.leading()));
    double zero = metrics.horizontalAdvance(QStringLiteral("0"));
    s.charWidth = zero < 1.0 ? s.size * 0.6 : zero;
    s.measured = true;
}

QFont OVTheme::listFont() {
    measure();
    return font_state().font;
}

int OVTheme::lineHeight() {
    measure();
    return font_state().lineHeight;
}

double OVTheme::charWidth() {
    measure();
    return font_state().charWidth;
}

int OVTheme::rowHeight() { return lineHeight() + 4; }

QFont OVTheme::uiFont(int size) {
    QFont font = QApplication::font();
    font.setPixelSize(size);
    return font;
}
