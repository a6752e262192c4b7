// top_bar.h: the bar across the top of a document window: the Tree/Text switch, the breadcrumbs
// (or, while the user goes to a path, the path field in their place), and the search controls.
//
// The bar reports what the user does to its owner (OVTopBarOwner) and keeps no document state;
// setting a control from code (setSearchText, setSearchOptions, setSelectedSegment) never calls
// the owner. None of its buttons takes the keyboard focus: only the two fields do. Main thread only.
#ifndef OV_TOP_BAR_H
#define OV_TOP_BAR_H

#include "bar.h"

#include <cstdint>

class OVCrumbBar;
class OVLabel;
class OVTopBarOwner;
class QAction;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QToolButton;

class OVTopBar : public OVBar {
public:
    static constexpr int HEIGHT = 36;
    // Packed search options (as the settings keep them): match case, regular expression, and the
    // scope (0 keys and values, 1 keys, 2 values) in bits 16 to 23.
    static constexpr uint32_t MATCH_CASE = 1u << 0;
    static constexpr uint32_t REGEX = 1u << 8;
    static constexpr int SCOPE_SHIFT = 16;
    static constexpr int SCOPES = 3;

    // owner may be null (nothing is reported). The owner is usually the bar's window: Qt deletes
    // the bar after the window's own destructor has run, so the bar reports nothing while its
    // window closes or goes (the path field losing the focus then is no cancel).
    explicit OVTopBar(OVTopBarOwner *owner, QWidget *parent = nullptr);
    ~OVTopBar() override;

    // Null detaches the bar and its crumbs from the owner.
    void setOwner(OVTopBarOwner *owner);

    QButtonGroup *viewSwitch() const { return m_viewSwitch; }
    // 0 Tree, 1 Text.
    int selectedSegment() const;
    void setSelectedSegment(int segment);
    OVCrumbBar *crumbs() const { return m_crumbs; }
    QLineEdit *pathField() const { return m_pathField; }
    QLineEdit *searchField() const { return m_searchField; }
    QToolButton *caseButton() const { return m_caseButton; }
    QToolButton *regexButton() const { return m_regexButton; }
    QComboBox *scope() const { return m_scope; }
    OVLabel *count() const { return m_count; }
    QToolButton *prevButton() const { return m_prev; }
    QToolButton *nextButton() const { return m_next; }
    // The search field's clear button (shown while the field has text).
    QAction *clearAction() const { return m_clear; }
    // The width of "10,000,000+ matches" in the count font, rounded up, plus 4: the count never
    // moves the search field.
    int countWidth() const { return m_countW; }

    // Go to path: the path field takes the crumbs' place and the focus, with text selected; when
    // it already has the focus, only its text is replaced. Ending hides the field (the focus moves
    // on, as Qt moves it from a hidden widget: the owner puts it where it belongs) and shows the
    // crumbs again, reloaded. Neither reports pathCancelled.
    void beginPathEditing(const QString &text);
    void endPathEditing();
    bool editingPath() const { return m_editingPath; }
    bool endingEdit() const { return m_endingEdit; }

    uint32_t searchOptions() const;
    // Bits outside the three options are ignored; a scope above 2 reads as 0 (keys and values).
    void setSearchOptions(uint32_t options);
    QString searchText() const;
    void setSearchText(const QString &text);
    void setSearchCount(const QString &text);
    // The search text in the error colour while the search cannot run.
    void setSearchBad(bool bad);
    bool searchBad() const { return m_searchBad; }
    void setSearchStepsEnabled(bool enabled);
    bool searchStepsEnabled() const { return m_searchStepsEnabled; }
    bool searchFieldHasFocus() const;
    // The crumbs are measured again (the list font changed, and may the application's).
    void fontChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *) override;
    void changeEvent(QEvent *event) override;

private:
    void buildViewSwitch();
    void buildSearchControls();
    void connectControls();
    bool fieldKey(QLineEdit *field, QKeyEvent *key);
    void pathFocusLost(Qt::FocusReason reason);
    void paintSearchText();
    void layOut();

    bool m_endingEdit = false;
    QToolButton *m_caseButton = nullptr;
    QToolButton *m_regexButton = nullptr;
    QComboBox *m_scope = nullptr;
    OVLabel *m_count = nullptr;
    QToolButton *m_prev = nullptr;
    QToolButton *m_next = nullptr;
    int m_countW = 0;
    bool m_editingPath = false;
    bool m_searchBad = false;
    bool m_searchStepsEnabled = false;
    OVTopBarOwner *m_owner;
    QWidget *m_switchBox = nullptr;
    QButtonGroup *m_viewSwitch = nullptr;
    OVCrumbBar *m_crumbs = nullptr;
    QLineEdit *m_pathField = nullptr;
    QLineEdit *m_searchField = nullptr;
    QAction *m_clear = nullptr;
};

#endif
