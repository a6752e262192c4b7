// theme.h: the shell's colours and list font.
//
// Eighteen colour roles, each with a light and a dark value; the appearance
// (light or dark) is the application palette's, so that theme 0 follows the
// desktop. The list font is the system's monospaced font at the font size,
// in device-independent pixels. Main thread only.
#ifndef OV_THEME_H
#define OV_THEME_H

#include <QColor>
#include <QFont>

class QPalette;

class OVTheme {
public:
    static constexpr int ROLES = 18;
    static constexpr int DEFAULT_TEXT = 4; // the role of anything out of range
    static constexpr int DEFAULT_FONT_SIZE = 13;
    static constexpr int MIN_FONT_SIZE = 9;
    static constexpr int MAX_FONT_SIZE = 24;

    // True when the palette reads as dark: its window colour is darker than its text.
    static bool isDark(const QPalette &palette);
    // The application palette's appearance.
    static bool isDark();
    // The fixed colour of role in that appearance; a role outside 0 to 17 gives role 4.
    static QColor color(int role, bool dark);
    // The colour of role in the current appearance (ask again after a palette change).
    static QColor color(int role);
    // The role that draws a styled run of the core's line (JX_STYLE_*); 4 outside 1 to 11.
    static int toneOfStyle(int style);
    // The background role of a run's hit value: 14 for a hit, 15 for the current one, -1 for none.
    static int hitRole(int hit);

    // 1 dark, 2 light (the Fusion style with the roles' palette); anything else restores the
    // style and palette the desktop gave the application.
    static void applyTheme(int theme);

    static int fontSize();
    // 0 means the default 13; other sizes are clamped to 9 to 24. A new size drops the list font.
    static void setFontSize(int size);
    // Builds the list font, line height and character width when no font exists.
    static void measure();
    static QFont listFont();
    static int lineHeight();
    static double charWidth();
    static int rowHeight(); // lineHeight() + 4
    // The proportional application font at size pixels, for bars and labels.
    static QFont uiFont(int size);
};

#endif
