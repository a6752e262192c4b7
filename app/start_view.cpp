#include "start_view.h"

#include "application.h"
#include "drop_outline.h"
#include "label.h"
#include "menus.h"
#include "recent_row.h"
#include "theme.h"

#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {
constexpr int MARGIN = 20;  // the prompt's, left and right
constexpr int PROMPT_HEIGHT = 34;
constexpr int BUTTONS_BELOW = 52;  // from the prompt's top to the buttons'
constexpr int BUTTON_GAP = 12;
constexpr int TITLE_BELOW = 34;  // from the buttons' bottom to the title
constexpr int TITLE_HEIGHT = 20;
constexpr int LIST_BASE = TITLE_BELOW + TITLE_HEIGHT;
constexpr int LIFT_WITHOUT_ROWS = 20;
constexpr int MIN_TOP = 24;
constexpr int LIST_MARGIN = 40;  // the list's, left and right
constexpr int MAX_LIST_WIDTH = 460;
}  // namespace

static int halfDown(int n) { return int(std::floor(n / 2.0)); }

// The button runs the start window's own action for the item, so that validation and routing
// are the menus' even without a menu bar.
static QPushButton *makeButton(const QString &text, const QString &action, QWidget *view) {
    auto *button = new QPushButton(text, view);
    button->setObjectName(action + QStringLiteral("Button"));
    QObject::connect(button, &QPushButton::clicked, view, [view, action] {
        if (QAction *item = ov_find_action(view->window(), action)) item->trigger();
    });
    return button;
}

OVStartView::OVStartView(QWidget *parent) : OVBar(parent) {
    setObjectName(QStringLiteral("startView"));
    setFill(0);
    setEdge(NoEdge);
    setAcceptDrops(true);

    drop = new OVLabel(this);
    drop->setText(QStringLiteral("Drop a JSON file here"));
    QFont font = OVTheme::uiFont(24);
    font.setWeight(QFont::Light);
    drop->setFont(font);
    drop->setTone(5);
    drop->setAlignment(OVLabel::Centre);
    open = makeButton(QStringLiteral("Open…"), QStringLiteral("openDocument"), this);
    clipboard = makeButton(QStringLiteral("Open from Clipboard"), QStringLiteral("ovOpenClipboard"), this);
    title = new OVLabel(this);
    title->setText(QStringLiteral("Recent"));
    title->setFont(OVTheme::uiFont(11));
    title->setTone(6);
    title->hide();
    dropOutline = new OVDropOutline(this);
    layoutContent();
}

void OVStartView::setRecent(const QStringList &paths) {
    // A row may be rebuilt from its own click (an open that shows this window again): it goes
    // once the click is over.
    for (OVRecentRow *row : std::as_const(rows)) {
        row->hide();
        row->deleteLater();
    }
    rows.clear();
    for (const QString &path : paths) {
        auto *row = new OVRecentRow(path, this);
        row->action = [path] { OVAppDelegate::shared()->openPath(path); };
        row->show();
        rows.append(row);
    }
    dropOutline->raise();
    title->setVisible(!rows.isEmpty());
    layoutContent();
}

void OVStartView::layoutContent() {
    const int w = width(), h = height();
    const QSize openSize = open->sizeHint(), clipboardSize = clipboard->sizeHint();
    const int b = openSize.height();
    const int n = int(rows.size());
    const int list = n ? LIST_BASE + OVRecentRow::HEIGHT * n : 0;
    int top = halfDown(h - (b + BUTTONS_BELOW + list));
    if (n == 0) top -= LIFT_WITHOUT_ROWS;
    top = std::max(top, MIN_TOP);
    drop->setGeometry(MARGIN, top, std::max(w - 2 * MARGIN, 0), PROMPT_HEIGHT);

    const int buttonsY = top + BUTTONS_BELOW;
    const int openX = halfDown(w - openSize.width() - BUTTON_GAP - clipboardSize.width());
    open->setGeometry(openX, buttonsY, openSize.width(), b);
    clipboard->setGeometry(openX + openSize.width() + BUTTON_GAP, buttonsY, clipboardSize.width(),
                           clipboardSize.height());

    const int listWidth = std::max(std::min(w - 2 * LIST_MARGIN, MAX_LIST_WIDTH), 0);
    const int listX = halfDown(w - listWidth);
    const int titleY = buttonsY + b + TITLE_BELOW;
    title->setGeometry(listX, titleY, listWidth, TITLE_HEIGHT);
    for (int i = 0; i < n; i++)
        rows[i]->setGeometry(listX, titleY + TITLE_HEIGHT + i * OVRecentRow::HEIGHT, listWidth,
                             OVRecentRow::HEIGHT);
    dropOutline->setGeometry(rect());
}

void OVStartView::resizeEvent(QResizeEvent *) { layoutContent(); }

bool OVStartView::event(QEvent *event) {
    const auto openFiles = [](const QStringList &files) {
        for (const QString &file : files) OVAppDelegate::shared()->openPath(file);
    };
    // Events arrive while the constructor still builds the outline.
    return (dropOutline && dropOutline->follow(event, openFiles)) || OVBar::event(event);
}
