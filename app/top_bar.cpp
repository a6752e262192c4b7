#include "top_bar.h"

#include "crumb_bar.h"
#include "label.h"
#include "theme.h"
#include "top_bar_owner.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QToolButton>

#include <algorithm>
#include <cmath>

static constexpr int CONTROL_HEIGHT = 22;
static constexpr int STEP_SIZE = 22;
static constexpr int MIN_TOGGLE_WIDTH = 28;
static constexpr int SEARCH_WIDTH = 210;
static constexpr int MIN_SEARCH_WIDTH = 90;
// What the crumbs keep before the search field shrinks (100) and the gap before the controls (12).
static constexpr int CRUMB_ROOM = 112;
static constexpr int CRUMB_GAP = 12;
static constexpr int BAD_ROLE = 16;

namespace {

// Step buttons draw their chevrons themselves: there is no symbol font to take them from, and a
// drawn stroke follows the theme's text colours where a fixed icon would not.
class ChevronButton : public QToolButton {
public:
    ChevronButton(bool left, QWidget *parent) : QToolButton(parent), m_left(left) {}

protected:
    void paintEvent(QPaintEvent *) override {
        QStylePainter p(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        p.drawComplexControl(QStyle::CC_ToolButton, option);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(OVTheme::color(isEnabled() ? 4 : 6), 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const QPointF c = QRectF(rect()).center();
        const double tip = m_left ? -2.25 : 2.25;
        QPainterPath chevron(QPointF(c.x() - tip, c.y() - 4.5));
        chevron.lineTo(c.x() + tip, c.y());
        chevron.lineTo(c.x() - tip, c.y() + 4.5);
        p.drawPath(chevron);
    }

private:
    bool m_left;
};

// The two halves of the Tree/Text switch, drawn as one control: Fusion's checked tool button
// differs from an unchecked one by a shade that the dark theme all but hides.
class SegmentButton : public QToolButton {
public:
    SegmentButton(bool first, QWidget *parent) : QToolButton(parent), m_first(first) {}

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        // Rounded on the outer side only: the inner side runs past the edge and is clipped.
        QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        if (m_first)
            box.setRight(box.right() + 8);
        else
            box.setLeft(box.left() - 8);
        p.setClipRect(rect());
        p.setPen(OVTheme::color(2));
        p.setBrush(isDown() ? OVTheme::color(3) : isChecked() ? OVTheme::color(2) : OVTheme::color(0));
        p.drawRoundedRect(box, 4, 4);
        if (!m_first) p.drawLine(QPointF(0.5, 0), QPointF(0.5, height()));
        p.setPen(OVTheme::color(isChecked() ? 4 : 5));
        OVLabel::drawLine(p, rect(), text(), font(), OVLabel::Centre);
    }

private:
    bool m_first;
};

} // namespace

static QFont weighted(QFont font, int size, QFont::Weight weight) {
    font.setPixelSize(size);
    font.setWeight(weight);
    return font;
}

static QFont mono_font(int size, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    return weighted(font, size, weight);
}

static void make_button(QToolButton *button, const QString &tip) {
    button->setToolTip(tip);
    button->setFocusPolicy(Qt::NoFocus);
}

static QToolButton *make_toggle(const QString &text, const QFont &font, const QString &tip, QWidget *parent) {
    auto *toggle = new QToolButton(parent);
    make_button(toggle, tip);
    toggle->setText(text);
    toggle->setFont(font);
    toggle->setCheckable(true);
    toggle->setAutoRaise(true);
    return toggle;
}

static int toggle_width(const QToolButton *toggle) {
    return std::max(toggle->sizeHint().width(), MIN_TOGGLE_WIDTH);
}

static bool is_field_key(const QKeyEvent *key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape;
}

OVTopBar::OVTopBar(OVTopBarOwner *owner, QWidget *parent) : OVBar(parent), m_owner(owner) {
    setFill(1);
    setEdge(BottomEdge);
    buildViewSwitch();
    m_crumbs = new OVCrumbBar(owner, this);
    m_pathField = new QLineEdit(this);
    m_pathField->setFont(mono_font(12, QFont::Normal));
    m_pathField->setPlaceholderText(
        QStringLiteral("Go to path: $.a.b[3], .a.b[3], a.b[3], [\"a\"][\"b\"][3] or /a/b/3"));
    m_pathField->hide();
    buildSearchControls();
    // A file dropped on a field would be typed into it as its URL; the window takes drops.
    for (QLineEdit *field : {m_pathField, m_searchField}) {
        field->setAcceptDrops(false);
        field->installEventFilter(this);
    }
    connectControls();
    resize(800, HEIGHT);
    layOut();
}

// The fields may still lose the focus while Qt deletes them, after this bar is gone.
OVTopBar::~OVTopBar() {
    m_pathField->removeEventFilter(this);
    m_searchField->removeEventFilter(this);
    m_owner = nullptr;
}

void OVTopBar::setOwner(OVTopBarOwner *owner) {
    m_owner = owner;
    m_crumbs->setOwner(owner);
}

void OVTopBar::buildViewSwitch() {
    m_switchBox = new QWidget(this);
    m_viewSwitch = new QButtonGroup(this);
    m_viewSwitch->setExclusive(true);
    const QString titles[2] = {QStringLiteral("Tree"), QStringLiteral("Text")};
    const QString tips[2] = {QStringLiteral("Tree (Ctrl+1)"),
                             QStringLiteral("Text (Ctrl+2; again: Pretty or As in file)")};
    int segment = 0;
    for (int i = 0; i < 2; i++) {
        auto *button = new SegmentButton(i == 0, m_switchBox);
        make_button(button, tips[i]);
        button->setText(titles[i]);
        button->setFont(OVTheme::uiFont(11));
        button->setCheckable(true);
        m_viewSwitch->addButton(button, i);
        segment = std::max(segment, button->sizeHint().width());
    }
    // Equal segments side by side, as one control.
    for (int i = 0; i < 2; i++) m_viewSwitch->button(i)->setGeometry(i * segment, 0, segment, CONTROL_HEIGHT);
    m_switchBox->resize(2 * segment, CONTROL_HEIGHT);
    m_viewSwitch->button(0)->setChecked(true);
}

void OVTopBar::buildSearchControls() {
    m_caseButton = make_toggle(QStringLiteral("Aa"), weighted(OVTheme::uiFont(11), 11, QFont::Medium),
                               QStringLiteral("Match case"), this);
    m_regexButton = make_toggle(QStringLiteral(".*"), mono_font(11, QFont::Medium),
                                QStringLiteral("Regular expression"), this);
    m_scope = new QComboBox(this);
    m_scope->addItems({QStringLiteral("Keys and values"), QStringLiteral("Keys"), QStringLiteral("Values")});
    m_scope->setFont(OVTheme::uiFont(11));
    m_scope->setFrame(false);
    m_scope->setToolTip(QStringLiteral("Search in"));
    m_scope->setFocusPolicy(Qt::NoFocus);
    m_searchField = new QLineEdit(this);
    m_searchField->setFont(OVTheme::uiFont(12));
    m_searchField->setPlaceholderText(QStringLiteral("Search keys and values"));
    m_searchField->resize(SEARCH_WIDTH, CONTROL_HEIGHT);
    // Qt's own clear button reports nothing but textEdited(""), which backspacing over the last
    // character reports too; this one is told apart.
    m_clear = m_searchField->addAction(style()->standardIcon(QStyle::SP_LineEditClearButton),
                                       QLineEdit::TrailingPosition);
    m_clear->setVisible(false);
    m_count = new OVLabel(this);
    m_count->setTone(5);
    m_count->setFont(OVTheme::uiFont(11));
    m_count->setAlignment(OVLabel::Right);
    const QString widest = QStringLiteral("10,000,000+ matches");
    m_countW = int(std::ceil(QFontMetricsF(m_count->font()).horizontalAdvance(widest))) + 4;
    m_prev = new ChevronButton(true, this);
    m_next = new ChevronButton(false, this);
    make_button(m_prev, QStringLiteral("Previous match (Ctrl+Shift+G)"));
    make_button(m_next, QStringLiteral("Next match (Ctrl+G)"));
    for (QToolButton *step : {m_prev, m_next}) {
        step->setAutoRaise(true);
        step->resize(STEP_SIZE, STEP_SIZE);
        step->setEnabled(false);
    }
}

// Only what the user does reaches the owner: clicked, activated and textEdited are not sent for
// changes made from code.
void OVTopBar::connectControls() {
    connect(m_viewSwitch, &QButtonGroup::idClicked, this, [this](int segment) {
        if (m_owner) m_owner->viewSwitched(segment);
    });
    auto optionsChanged = [this] {
        if (m_owner) m_owner->searchOptionsChanged();
    };
    connect(m_caseButton, &QToolButton::clicked, this, optionsChanged);
    connect(m_regexButton, &QToolButton::clicked, this, optionsChanged);
    connect(m_scope, &QComboBox::activated, this, optionsChanged);
    connect(m_prev, &QToolButton::clicked, this, [this] {
        if (m_owner) m_owner->searchStep(true);
    });
    connect(m_next, &QToolButton::clicked, this, [this] {
        if (m_owner) m_owner->searchStep(false);
    });
    connect(m_pathField, &QLineEdit::textEdited, this, [this] {
        if (m_owner) m_owner->pathEdited();
    });
    connect(m_searchField, &QLineEdit::textEdited, this, [this] {
        if (m_owner) m_owner->searchTextChanged();
    });
    connect(m_searchField, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_clear->setVisible(!text.isEmpty()); });
    connect(m_clear, &QAction::triggered, this, [this] {
        m_searchField->clear();
        if (m_owner) m_owner->searchCancelled();
    });
}

int OVTopBar::selectedSegment() const { return m_viewSwitch->checkedId(); }

void OVTopBar::setSelectedSegment(int segment) {
    m_viewSwitch->button(segment == 1 ? 1 : 0)->setChecked(true);
}

bool OVTopBar::eventFilter(QObject *watched, QEvent *event) {
    if (watched != m_pathField && watched != m_searchField) return OVBar::eventFilter(watched, event);
    auto *field = static_cast<QLineEdit *>(watched);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Return and Escape belong to the field even when a window shortcut uses them.
        if (!is_field_key(static_cast<QKeyEvent *>(event))) return false;
        event->accept();
        return true;
    case QEvent::KeyPress:
        // returnPressed carries no modifiers, and Escape has no signal at all.
        return fieldKey(field, static_cast<QKeyEvent *>(event));
    case QEvent::FocusOut:
        // Not focusOutEvent's editingFinished: Qt also sends that on Return.
        if (field == m_pathField) pathFocusLost(static_cast<QFocusEvent *>(event)->reason());
        return false;
    default:
        return false;
    }
}

bool OVTopBar::fieldKey(QLineEdit *field, QKeyEvent *key) {
    if (!is_field_key(key)) return false;
    if (!m_owner) return true;
    const bool escape = key->key() == Qt::Key_Escape;
    if (field == m_searchField) {
        if (escape)
            m_owner->searchCancelled();
        else
            m_owner->searchEntered(key->modifiers().testFlag(Qt::ShiftModifier));
    } else if (escape) {
        m_owner->pathCancelled();
    } else {
        m_owner->pathEntered(field->text());
    }
    return true;
}

// Clicking or tabbing elsewhere cancels Go to path. The window going to the background (or closing)
// and the field's own context menu opening do not: the field is still where the user left it.
void OVTopBar::pathFocusLost(Qt::FocusReason reason) {
    if (!m_editingPath || m_endingEdit) return;
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
    if (m_owner) m_owner->pathCancelled();
}

void OVTopBar::beginPathEditing(const QString &text) {
    m_endingEdit = true;
    if (m_editingPath && m_pathField->hasFocus()) {
        m_pathField->setText(text);
    } else {
        m_editingPath = true;
        m_crumbs->hide();
        m_pathField->setText(text);
        m_pathField->show();
        m_pathField->setFocus(Qt::OtherFocusReason);
    }
    m_pathField->selectAll();
    m_endingEdit = false;
}

void OVTopBar::endPathEditing() {
    m_endingEdit = true;
    m_editingPath = false;
    m_pathField->hide();
    m_crumbs->show();
    m_crumbs->reload();
    m_endingEdit = false;
}

uint32_t OVTopBar::searchOptions() const {
    uint32_t options = uint32_t(std::max(m_scope->currentIndex(), 0)) << SCOPE_SHIFT;
    if (m_caseButton->isChecked()) options |= MATCH_CASE;
    if (m_regexButton->isChecked()) options |= REGEX;
    return options;
}

void OVTopBar::setSearchOptions(uint32_t options) {
    m_caseButton->setChecked(options & MATCH_CASE);
    m_regexButton->setChecked(options & REGEX);
    // An unknown scope would leave the pop-up with no item chosen and read back as scope 255.
    const int scope = int((options >> SCOPE_SHIFT) & 0xFF);
    m_scope->setCurrentIndex(scope < SCOPES ? scope : 0);
}

QString OVTopBar::searchText() const { return m_searchField->text(); }

void OVTopBar::setSearchText(const QString &text) { m_searchField->setText(text); }

void OVTopBar::setSearchCount(const QString &text) { m_count->setText(text); }

void OVTopBar::setSearchBad(bool bad) {
    m_searchBad = bad;
    paintSearchText();
}

// Only the text colour is set on the field, so that every other colour keeps following the theme;
// the error colour itself differs between the themes and is set again on each palette change.
void OVTopBar::paintSearchText() {
    QPalette palette;
    if (m_searchBad)
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            palette.setColor(group, QPalette::Text, OVTheme::color(BAD_ROLE));
    m_searchField->setPalette(palette);
}

void OVTopBar::setSearchStepsEnabled(bool enabled) {
    m_searchStepsEnabled = enabled;
    m_prev->setEnabled(enabled);
    m_next->setEnabled(enabled);
}

bool OVTopBar::searchFieldHasFocus() const { return m_searchField->hasFocus(); }

void OVTopBar::fontChanged() { m_crumbs->reload(); }

void OVTopBar::changeEvent(QEvent *event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::PaletteChange || type == QEvent::ApplicationPaletteChange) && m_searchBad)
        paintSearchText();
    OVBar::changeEvent(event);
}

void OVTopBar::resizeEvent(QResizeEvent *) { layOut(); }

// From the right edge leftwards: the step buttons, the count, the search field, then the scope and
// the toggles while there is room for them; the crumbs (or the path field) take what is left.
// The search field gives up width first, down to 90, so that the crumbs keep 100 points.
void OVTopBar::layOut() {
    const int h = height() - 1;
    auto top = [h](int height) { return int(std::floor((h - height) / 2.0)); };
    m_switchBox->move(10, top(m_switchBox->height()));
    const int left = m_switchBox->geometry().right() + 1 + 14, right = width() - 8;
    const int avail = std::max(right - left, 0);
    const int caseW = toggle_width(m_caseButton), regexW = toggle_width(m_regexButton);
    const int scopeW = m_scope->sizeHint().width();
    const int c = STEP_SIZE + STEP_SIZE + 4 + m_countW + 6, o = caseW + 2 + regexW + 6, s = scopeW + 4;
    auto fieldWidth = [avail](int others) {
        return std::min(std::max(avail - others - CRUMB_ROOM, MIN_SEARCH_WIDTH), SEARCH_WIDTH);
    };
    int field = fieldWidth(o + s + c);
    const bool showScope = o + s + c + field + CRUMB_GAP <= avail;
    bool showToggles = true;
    if (!showScope) {
        field = fieldWidth(o + c);
        showToggles = o + c + field + CRUMB_GAP <= avail;
        if (!showToggles) field = fieldWidth(c);
    }
    int x = right;
    auto place = [&](QWidget *w, int gap, int width, int height) {
        x -= gap + width;
        w->setGeometry(x, top(height), width, height);
    };
    place(m_next, 0, STEP_SIZE, STEP_SIZE);
    place(m_prev, 0, STEP_SIZE, STEP_SIZE);
    x -= 4 + m_countW;
    m_count->setGeometry(x, 0, m_countW, h);
    place(m_searchField, 6, field, CONTROL_HEIGHT);
    if (showScope) place(m_scope, 4, scopeW, CONTROL_HEIGHT);
    if (showToggles) {
        place(m_regexButton, 6, regexW, CONTROL_HEIGHT);
        place(m_caseButton, 2, caseW, CONTROL_HEIGHT);
    }
    m_scope->setVisible(showScope);
    m_caseButton->setVisible(showToggles);
    m_regexButton->setVisible(showToggles);
    const int crumbW = std::max(x - CRUMB_GAP - left, 0);
    m_crumbs->setGeometry(left, 0, crumbW, h);
    m_pathField->setGeometry(left - 2, top(CONTROL_HEIGHT), crumbW + 2, CONTROL_HEIGHT);
}
