// menus.h: the main menu, built from one table.
//
// Every window with a menu bar gets its own copy; every item is a QAction whose object name is
// its action ("openDocument", "ovCopyPath", ...; items of a numbered family add the number:
// "ovExpandLevel3", "ovPathStyle0"), the name the delegate routes on and scripts and tests find
// it by. Menus are named "menu" and their title without spaces or dots ("menuOpenRecent").
//
// Validation: an item's enabled and checked state is asked of the delegate when its menu is
// about to show. While no menu is open every item stays enabled, so that its shortcut reaches
// the trigger, which asks the delegate again before doing anything: a shortcut never acts on
// a state the menu last showed.
#ifndef OV_MENUS_H
#define OV_MENUS_H

#include <QKeySequence>
#include <QList>
#include <QString>
#include <QStringList>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

// The menu bar for window (which owns it); its actions act for that window.
QMenuBar *ov_build_menu_bar(QWidget *window);

// For a window without a menu bar (the start window): adds the application-wide actions that
// need a shortcut there (Open, Open from Clipboard, Quit) to window.
void ov_add_app_actions(QWidget *window);

// Refills the Open Recent menu: one item per path (named "ovOpenRecent" and its index, the path
// as data), a separator when there is one, then "Clear Menu" ("ovClearRecent").
void ov_fill_recent_menu(QMenu *menu, const QStringList &paths);

// The action's name without its number ("ovExpandLevel3" gives "ovExpandLevel"), and the number
// (its tag; -1 without one).
QString ov_action_name(const QAction *action);
int ov_action_tag(const QAction *action);

// The window whose menu bar or action set holds action, or null.
QWidget *ov_action_window(const QAction *action);

// The item named name anywhere below window, or null.
QAction *ov_find_action(const QWidget *window, const QString &name);

// Runs action's menu validation now (as opening its menu does) and answers whether it is enabled.
bool ov_validate_action(QAction *action);

#endif
