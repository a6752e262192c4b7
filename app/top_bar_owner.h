// top_bar_owner.h: what the top bar and its crumb bar ask of the window that owns them.
//
// The bars know nothing of documents: they ask for the crumbs and report what the user did. The
// bars call these on the main thread only, from inside their event handlers, so an owner may lay
// the bars out again or reload the crumbs from any of them.
#ifndef OV_TOP_BAR_OWNER_H
#define OV_TOP_BAR_OWNER_H

#include <QString>

#include <cstdint>

class OVTopBarOwner {
public:
    virtual ~OVTopBarOwner() = default;

    // The number of crumbs, from the root (0) to the selected node (count − 1); 0 for none.
    virtual uint32_t crumbCount() = 0;
    // The text of crumb index, as the core writes it (the bar shortens it for display).
    virtual QString crumbLabel(uint32_t index) = 0;
    // A press on crumb index, the selected node's own crumb included.
    virtual void crumbClicked(uint32_t index) = 0;
    // A click on a segment of the view switch: 0 Tree, 1 Text; also when it was selected already
    // (Text again switches between pretty and as in the file).
    virtual void viewSwitched(int segment) = 0;
    // Return in the path field, with the field's text.
    virtual void pathEntered(const QString &text) = 0;
    // Escape in the path field, or the field lost the focus to something the user chose.
    virtual void pathCancelled() = 0;
    // The user changed the path field's text.
    virtual void pathEdited() = 0;
    // The user changed the search field's text (typing, pasting, undo); never for setSearchText.
    virtual void searchTextChanged() = 0;
    // Return in the search field; backward when Shift was held.
    virtual void searchEntered(bool backward) = 0;
    // Escape in the search field, or its clear button.
    virtual void searchCancelled() = 0;
    // The user changed match case, regular expression or the scope.
    virtual void searchOptionsChanged() = 0;
    // A click on a step button: backward for the previous match.
    virtual void searchStep(bool backward) = 0;
};

#endif
