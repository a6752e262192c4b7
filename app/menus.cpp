#include "menus.h"

#include "application.h"

#include <QAction>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

namespace {
// Modifier bits as the core numbers them.
constexpr int SHIFT = 1;
constexpr int OPT = 2;
constexpr int CMD = 4;

// An item. A row without title is a separator; a row whose action starts with "menu" opens a
// submenu holding the rows one level deeper that follow it.
struct Row {
    int depth;
    const char *title;
    const char *action = "";
    const char *key = "";
    int mods = 0;
    int tag = -1;
    bool macOnly = false; // no meaning on Linux: Services, hiding, Bring All to Front
};

constexpr bool MAC = true;
#ifdef Q_OS_MACOS
constexpr bool ON_MAC = true;
#else
constexpr bool ON_MAC = false;
#endif

const Row ROWS[] = {
    {0, "Orvel", "menuOrvel"},
    {1, "About Orvel", "orderFrontStandardAboutPanel"},
    {1, nullptr},
    {1, "Services", "menuServices", "", 0, -1, MAC},
    {1, nullptr, "", "", 0, -1, MAC},
    {1, "Hide Orvel", "hide", "h", CMD, -1, MAC},
    {1, "Hide Others", "hideOtherApplications", "h", OPT | CMD, -1, MAC},
    {1, "Show All", "unhideAllApplications", "", 0, -1, MAC},
    {1, nullptr, "", "", 0, -1, MAC},
    {1, "Quit Orvel", "terminate", "q", CMD},

    {0, "File", "menuFile"},
    {1, "Open…", "openDocument", "o", CMD},
    {1, "Open from Clipboard", "ovOpenClipboard", "V", SHIFT | CMD},
    {1, "Open Recent", "menuOpenRecent"},
    {1, nullptr},
    {1, "Close", "performClose", "w", CMD},
    {1, "Reload", "ovReload", "r", CMD},
    {1, nullptr},
    {1, "Make Orvel the Default for JSON", "ovMakeDefault"},

    {0, "Edit", "menuEdit"},
    {1, "Undo", "undo", "z", CMD},
    {1, "Redo", "redo", "Z", SHIFT | CMD},
    {1, nullptr},
    {1, "Cut", "cut", "x", CMD},
    {1, "Copy Value", "copy", "c", CMD},
    {1, "Paste", "paste", "v", CMD},
    {1, "Select All", "selectAll", "a", CMD},
    {1, nullptr},
    {1, "Copy Path", "ovCopyPath", "C", SHIFT | CMD},
    {1, "Copy as JSON", "ovCopyJSON", "c", OPT | CMD},
    {1, "Copy Key", "ovCopyKey"},
    {1, "Copy as Minified JSON", "ovCopyMinified"},
    {1, "Copy Path As", "menuCopyPathAs"},
    {2, "JSONPath", "ovCopyPathAs", "", 0, 0},
    {2, "jq", "ovCopyPathAs", "", 0, 1},
    {2, "JavaScript", "ovCopyPathAs", "", 0, 2},
    {2, "Python", "ovCopyPathAs", "", 0, 3},
    {2, "JSON Pointer", "ovCopyPathAs", "", 0, 4},
    {1, nullptr},
    {1, "Find…", "ovFind", "f", CMD},
    {1, "Find Next", "ovFindNext", "g", CMD},
    {1, "Find Previous", "ovFindPrevious", "G", SHIFT | CMD},
    {1, nullptr},
    {1, "Go to Path…", "ovGoto", "l", CMD},

    {0, "View", "menuView"},
    {1, "Tree", "ovViewTree", "1", CMD},
    {1, "Text", "ovViewText", "2", CMD},
    {1, nullptr},
    // The level keys belong to the list, which handles them; the menu shows them only while open.
    {1, "Expand to Level", "menuExpandToLevel"},
    {2, "1", "ovExpandLevel", "", OPT, 1},
    {2, "2", "ovExpandLevel", "", OPT, 2},
    {2, "3", "ovExpandLevel", "", OPT, 3},
    {2, "4", "ovExpandLevel", "", OPT, 4},
    {2, "5", "ovExpandLevel", "", OPT, 5},
    {2, "6", "ovExpandLevel", "", OPT, 6},
    {2, "7", "ovExpandLevel", "", OPT, 7},
    {2, "8", "ovExpandLevel", "", OPT, 8},
    {2, "9", "ovExpandLevel", "", OPT, 9},
    {1, "Expand All", "ovExpandAll", "}", SHIFT | CMD},
    {1, "Collapse All", "ovCollapseAll", "{", SHIFT | CMD},
    {1, nullptr},
    {1, "Back", "ovBack", "[", CMD},
    {1, "Forward", "ovForward", "]", CMD},
    {1, nullptr},
    {1, "Inspector", "ovInspector", "i", CMD},
    {1, "Path Style", "menuPathStyle"},
    {2, "JSONPath", "ovPathStyle", "", 0, 0},
    {2, "jq", "ovPathStyle", "", 0, 1},
    {2, "JavaScript", "ovPathStyle", "", 0, 2},
    {2, "Python", "ovPathStyle", "", 0, 3},
    {1, nullptr},
    {1, "Bigger Text", "ovBigger", "=", CMD},
    {1, "Smaller Text", "ovSmaller", "-", CMD},
    {1, "Actual Size", "ovActualSize", "0", CMD},

    {0, "Window", "menuWindow"},
    {1, "Minimize", "performMiniaturize", "m", CMD},
    {1, "Zoom", "performZoom"},
    {1, nullptr, "", "", 0, -1, MAC},
    {1, "Bring All to Front", "arrangeInFront", "", 0, -1, MAC},
};
constexpr int NROWS = int(sizeof ROWS / sizeof ROWS[0]);

// The items a window without a menu bar still answers by key.
const char *const APP_ACTIONS[] = {"openDocument", "ovOpenClipboard", "terminate"};
// Items that show a state with a check mark.
const char *const CHECKABLE[] = {"ovViewTree", "ovViewText", "ovInspector", "ovPathStyle"};
} // namespace

static Qt::KeyboardModifiers modifiersOf(int mods) {
    Qt::KeyboardModifiers m;
    if (mods & CMD)
        m |= Qt::ControlModifier;
    if (mods & OPT)
        m |= Qt::AltModifier;
    if (mods & SHIFT)
        m |= Qt::ShiftModifier;
    return m;
}

// Shifted punctuation comes as either the shifted or the plain key with Shift, depending on the
// platform and keyboard: both forms are registered, the plain one first (the one menus show).
static QList<QKeySequence> shortcutsOf(const char *key, int mods) {
    if (!*key)
        return {};
    const Qt::KeyboardModifiers m = modifiersOf(mods);
    const char c = key[0];
    if (c == '{' || c == '}') {
        const Qt::Key plain = c == '{' ? Qt::Key_BracketLeft : Qt::Key_BracketRight;
        const Qt::Key shifted = c == '{' ? Qt::Key_BraceLeft : Qt::Key_BraceRight;
        return {QKeySequence(QKeyCombination(m | Qt::ShiftModifier, plain)),
                QKeySequence(QKeyCombination(m & ~Qt::ShiftModifier, shifted))};
    }
    // Letters and digits have key codes equal to their upper-case characters, as do = - [ ].
    const int code = c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
    return {QKeySequence(QKeyCombination(m, Qt::Key(code)))};
}

template <size_t N> static bool listed(const char *const (&names)[N], const char *action) {
    for (const char *name : names)
        if (qstrcmp(name, action) == 0)
            return true;
    return false;
}

static QString objectNameOf(const Row &row) {
    QString name = QString::fromLatin1(row.action);
    if (row.tag >= 0)
        name += QString::number(row.tag);
    return name;
}

static void onTriggered(QAction *action) {
    if (ov_validate_action(action))
        OVAppDelegate::shared()->perform(action);
}

static QAction *makeAction(const Row &row, QWidget *window) {
    auto *action = new QAction(QString::fromUtf8(row.title), window);
    action->setObjectName(objectNameOf(row));
    action->setProperty("ovTag", row.tag);
    action->setShortcuts(shortcutsOf(row.key, row.mods));
    action->setCheckable(listed(CHECKABLE, row.action));
    // The window's shortcuts act in that window only, like a menu bar of its own.
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, action, [action] { onTriggered(action); });
    return action;
}

static void validateMenu(QMenu *menu) {
    OVAppDelegate *delegate = OVAppDelegate::shared();
    delegate->menuNeedsUpdate(menu);
    delegate->menuWillOpen(menu);
    for (QAction *action : menu->actions())
        if (!action->isSeparator() && !action->menu())
            ov_validate_action(action);
}

static void closeMenu(QMenu *menu) {
    OVAppDelegate::shared()->menuDidClose(menu);
    for (QAction *action : menu->actions())
        if (!action->menu())
            action->setEnabled(true);
}

static QMenu *makeMenu(const Row &row, QWidget *parent) {
    auto *menu = new QMenu(QString::fromUtf8(row.title), parent);
    menu->setObjectName(QString::fromLatin1(row.action));
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] { validateMenu(menu); });
    QObject::connect(menu, &QMenu::aboutToHide, menu, [menu] { closeMenu(menu); });
    return menu;
}

// Fills menu from the rows at depth after index i; returns the index of the first row not taken.
static int fill(QMenu *menu, int i, int depth, QWidget *window) {
    while (i < NROWS && ROWS[i].depth >= depth) {
        const Row &row = ROWS[i];
        if (row.macOnly && !ON_MAC) {
            i++;
            while (i < NROWS && ROWS[i].depth > depth)
                i++;
            continue;
        }
        if (!row.title)
            menu->addSeparator();
        else if (qstrncmp(row.action, "menu", 4) == 0) {
            QMenu *sub = makeMenu(row, menu);
            menu->addMenu(sub);
            i = fill(sub, i + 1, depth + 1, window);
            continue;
        } else
            menu->addAction(makeAction(row, window));
        i++;
    }
    return i;
}

QMenuBar *ov_build_menu_bar(QWidget *window) {
    auto *bar = new QMenuBar(window);
    bar->setObjectName(QStringLiteral("menuBar"));
    int i = 0;
    while (i < NROWS) {
        QMenu *menu = makeMenu(ROWS[i], bar);
        bar->addMenu(menu);
        i = fill(menu, i + 1, 1, window);
    }
    // Filled on opening; never empty, so that it opens at all.
    if (auto *recent = bar->findChild<QMenu *>(QStringLiteral("menuOpenRecent")))
        ov_fill_recent_menu(recent, {});
    return bar;
}

void ov_add_app_actions(QWidget *window) {
    for (const Row &row : ROWS)
        if (row.title && listed(APP_ACTIONS, row.action))
            window->addAction(makeAction(row, window));
}

void ov_fill_recent_menu(QMenu *menu, const QStringList &paths) {
    menu->clear();
    QFileIconProvider icons;
    for (int i = 0; i < paths.size(); i++) {
        const QFileInfo info(paths[i]);
        auto *action = new QAction(icons.icon(info), info.fileName(), menu);
        action->setObjectName(QStringLiteral("ovOpenRecent") + QString::number(i));
        action->setProperty("ovTag", i);
        action->setData(paths[i]);
        QObject::connect(action, &QAction::triggered, action, [action] { onTriggered(action); });
        menu->addAction(action);
    }
    if (!paths.isEmpty())
        menu->addSeparator();
    auto *clear = new QAction(QStringLiteral("Clear Menu"), menu);
    clear->setObjectName(QStringLiteral("ovClearRecent"));
    QObject::connect(clear, &QAction::triggered, clear, [clear] { onTriggered(clear); });
    menu->addAction(clear);
}

QString ov_action_name(const QAction *action) {
    QString name = action->objectName();
    while (!name.isEmpty() && name.back().isDigit())
        name.chop(1);
    return name;
}

int ov_action_tag(const QAction *action) {
    const QVariant tag = action->property("ovTag");
    return tag.isValid() ? tag.toInt() : -1;
}

QWidget *ov_action_window(const QAction *action) {
    for (QObject *o = action->parent(); o; o = o->parent()) {
        auto *w = qobject_cast<QWidget *>(o);
        if (w && w->isWindow() && !qobject_cast<QMenu *>(w))
            return w;
    }
    return nullptr;
}

QAction *ov_find_action(const QWidget *window, const QString &name) {
    return window->findChild<QAction *>(name);
}

bool ov_validate_action(QAction *action) {
    bool checked = false;
    const bool enabled = OVAppDelegate::shared()->validate(action, &checked);
    action->setEnabled(enabled);
    if (action->isCheckable())
        action->setChecked(checked);
    return enabled;
}
