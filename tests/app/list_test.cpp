// The document list: geometry against worked numbers, the styled line as text, keys, mouse
// actions, scrolling at the ends of a list beyond what a scroll bar holds, what it paints, and
// the list in a document window over real files.
#include "delegate_fixture.h"
#include "file_fixture.h"
#include "line_text.h"
#include "list_geometry.h"
#include "list_keys.h"
#include "list_model.h"
#include "list_view.h"
#include "status_bar.h"
#include "theme.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <functional>

#include <jx/keys.h>
#include <jx/search.h>
#include <jx/text.h>
#include <jx/view.h>

namespace {

constexpr uint32_t NONE = 0xFFFFFFFFu;
constexpr uint32_t HUGE_COUNT = 4294967294u; // every row of it valid, far past INT_MAX

// A view of any size that records what the list asks of it; rows read "row N" unless fill says.
class FakeView : public OVListModel {
public:
    uint32_t rows = 0, viewMode = JX_MODE_TREE, sel = NONE, anc = NONE;
    bool guides = true, takesKeys = false;
    uint8_t chevron = 0;
    std::function<uint32_t(uint32_t)> depthOf = [](uint32_t) { return 0u; };
    std::function<void(uint32_t, JxLine *)> fill;
    mutable std::vector<uint32_t> built; // rows built with text, in order
    QStringList calls;

    uint32_t count() const override { return rows; }
    uint32_t mode() const override { return viewMode; }
    void line(uint32_t row, uint32_t width, JxLine *l) const override {
        jx_line_clear(l);
        const bool tree = viewMode == JX_MODE_TREE;
        l->depth = tree ? depthOf(row) : 0;
        l->chevron = tree ? chevron : 0;
        l->number = tree ? 0 : row + 1;
        if (!width) return;
        built.push_back(row);
        if (fill) return fill(row, l);
        const QByteArray text = "row " + QByteArray::number(row);
        jx_line_add(l, text.constData(), uint32_t(text.size()), JX_STYLE_KEY);
    }
    uint32_t selected() const override { return sel; }
    uint32_t anchor() const override { return anc; }
    void click(uint32_t row, bool chev, uint32_t mods) override { calls << QStringLiteral("click %1 %2 %3").arg(row).arg(chev).arg(mods); }
    void doubleClick(uint32_t row) override { calls << QStringLiteral("double %1").arg(row); }
    bool key(uint32_t key, uint32_t mods, uint32_t page) override {
        calls << QStringLiteral("key %1 %2 %3").arg(key).arg(mods).arg(page);
        return takesKeys;
    }
    bool type(uint32_t cp, uint64_t) override {
        calls << QStringLiteral("type %1").arg(cp);
        return true;
    }
    bool indentGuides() const override { return guides; }
};

// A shown list over a fake, rowsHigh rows tall, recording what it asks of its owner.
struct Harness {
    FakeView view;
    OVListView list{&view};
    QList<uint32_t> commands;
    int refreshes = 0, menus = 0;

    Harness(uint32_t rows, int width, double rowsHigh, uint32_t mode = JX_MODE_TREE) {
        view.rows = rows;
        view.viewMode = mode;
        list.onRefresh = [this] { refreshes++, list.reloadRows(); };
        list.onCommand = [this](uint32_t c) { commands << c; };
        list.onContextMenu = [this](const QPoint &) { menus++; };
        list.resize(width, int(rowsHigh * OVTheme::rowHeight()));
        list.show();
        QApplication::setActiveWindow(&list);
        if (!QTest::qWaitForWindowExposed(&list)) qFatal("the list never showed");
        list.reloadRows();
    }
    QWidget *viewport() { return list.viewport(); }
    QImage image() { return list.viewport()->grab().toImage(); }
    // The middle of a row shown, counted from the top one.
    static QPoint at(int shown, int x) { return QPoint(x, shown * OVTheme::rowHeight() + OVTheme::rowHeight() / 2); }
};

QRgb role(int r) { return OVTheme::color(r).rgb(); }

// Pixels of box within tolerance of colour (the sum of the channels' differences).
int pixels(const QImage &image, const QRect &box, QRgb colour, int tolerance = 0) {
    int n = 0;
    for (int y = box.top(); y <= box.bottom(); y++)
        for (int x = box.left(); x <= box.right(); x++) {
            const QRgb p = image.pixel(x, y);
            n += qAbs(qRed(p) - qRed(colour)) + qAbs(qGreen(p) - qGreen(colour)) + qAbs(qBlue(p) - qBlue(colour)) <= tolerance;
        }
    return n;
}
bool only(const QImage &image, const QRect &box, QRgb colour) { return pixels(image, box, colour) == box.width() * box.height(); }

void dragTo(QWidget *viewport, const QPoint &pos) {
    QMouseEvent move(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &move);
}

void addRuns(JxLine *l, std::initializer_list<std::tuple<const char *, int, int>> runs) {
    for (const auto &[text, style, hit] : runs) {
        const uint32_t start = l->len, n = uint32_t(strlen(text));
        jx_line_add(l, text, n, style);
        if (hit) jx_line_mark(l, start, n, hit);
    }
}

// A list over a real view, as the window shows it.
struct DocList {
    JxView *view = nullptr;
    OVViewListModel model{&view};
    OVListView list{&model};

    DocList(const QByteArray &json, int width, int rowsHigh) {
        JxDoc *doc = parseText(json);
        view = jx_view_new(doc);
        jx_doc_release(doc);
        list.onRefresh = [this] { refresh(); };
        list.resize(width, rowsHigh * OVTheme::rowHeight());
        list.show();
        refresh();
    }
    ~DocList() { jx_view_free(view); }
    void refresh() {
        list.reloadRows();
        if (const uint32_t row = jx_view_take_reveal(view); row != NONE) list.revealRow(row);
    }
};

const QByteArray NESTED = R"({"name": "Orvel", "version": 3, "released": true, "license": null,
  "authors": [{"name": "Ada", "email": "ada@example.org"}, {"name": "Linus", "roles": ["review", "build"]}],
  "settings": {"theme": "dark", "font": {"family": "Mono", "size": 13.5}, "tabs": [2, 4, 8]},
  "notes": "line one\nline two, \u2713 and \ud83d\ude00", "empty": {}, "list": []})";

} // namespace

class ListTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<OVAppDelegate> delegate;

    OVDocWindow *openLoaded(const QString &name, const QByteArray &json) {
        OVDocWindow *window = write_file(dir.filePath(name), json) ? delegate->openPath(dir.filePath(name)) : nullptr;
        return window && QTest::qWaitFor([&] { return !window->busy(); }, 20000) ? window : nullptr;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        delegate = std::make_unique<OVAppDelegate>();
        delegate->applicationWillFinishLaunching();
        OVTheme::applyTheme(2);
    }
    void cleanupTestCase() {
        closeEverything(*delegate);
        delegate.reset();
    }

    // ---- geometry, by hand from the rules (character width 8 unless said) ----

    void geometry() {
        const struct {
            double width;
            uint32_t cap;
        } caps[] = {{300, 10}, {120, 4}, {100, 4}, {0, 4}, {1000, 37}, {2000, 40}};
        for (const auto &c : caps) QCOMPARE(ov_indent_cap(c.width), c.cap);
        const struct {
            uint32_t depth;
            bool tree;
            double width, cw;
            OVRowGeometry g;
            uint32_t chars;
        } rows[] = {
            {0, true, 300, 8, {0, -1, 8, 24}, 33},
            {3, true, 300, 8, {3, -1, 56, 72}, 27},
            {10, true, 300, 8, {10, -1, 168, 184}, 13},
            {12, true, 300, 8, {10, 168, 186, 202}, 11}, // 10 guides, "12", then the chevron
            {99990, true, 300, 7.8, {10, 168, 204, 220}, 9},
            {6, true, 100, 8, {4, 72, 84, 100}, 1}, // narrow: still 4 levels, and 1 character
            {7, false, 300, 8, {0, -1, 8, 8}, 35},
        };
        for (const auto &r : rows) {
            const OVRowGeometry g = ov_row_geometry(r.depth, r.tree, r.width, r.cw);
            QCOMPARE(std::make_tuple(g.levels, g.depthX, g.chevronX, g.textX), std::make_tuple(r.g.levels, r.g.depthX, r.g.chevronX, r.g.textX));
            QCOMPARE(ov_row_chars(g.textX, r.width, r.cw), r.chars);
        }
        QCOMPARE(ov_gutter_width(9, 8), 38.0); // two digits at least, then 8 and 14
        QCOMPARE(ov_gutter_width(4294967295u, 8), 102.0);
        QCOMPARE(ov_page_rows(410, 20), 19u); // 20.5 rows in sight page by 19
        QCOMPARE(ov_page_rows(39, 20), 1u);
    }

    // Rows of 20 in a clip 200 high (10 whole rows) or 210 (and a half row).
    void revealTop() {
        const struct {
            uint32_t row, top, count;
            double height;
            uint32_t expected;
        } cases[] = {
            {109, 100, 1000, 200, 100},     // in sight: stays
            {110, 100, 1000, 200, 101},     // just below: becomes the last whole row
            {111, 100, 1000, 210, 102},     // starts less than a row below the edge
            {99, 100, 1000, 200, 99},       // just above: becomes the first
            {500, 100, 1000, 200, 496},     // far: centred
            {98, 100, 1000, 200, 94},       // two above: centred
            {2, 500, 1000, 200, 0},         // centring stops at the first row
            {999, 0, 1000, 200, 990},       // and at the last
            {HUGE_COUNT - 1, 0, HUGE_COUNT, 200, HUGE_COUNT - 10},
            {0, HUGE_COUNT - 10, HUGE_COUNT, 200, 0},
            {1000, 100, 1000, 200, 100},    // not a row
        };
        for (const auto &c : cases) QCOMPARE(ov_reveal_top(c.row, c.top, c.count, c.height, 20), c.expected);
    }

    // ---- the styled line as text: every byte that starts no character is one U+FFFD ----

    void lineText() {
        const struct {
            QByteArray bytes;
            QString text;
        } cases[] = {
            {"A\xFF" "B", QStringLiteral("A\uFFFDB")},
            {"\x80x", QStringLiteral("\uFFFDx")},                                   // a stray continuation byte
            {"\xED\xA0\x80", QStringLiteral("\uFFFD\uFFFD\uFFFD")},                 // an encoded surrogate
            {"\xC0\x80", QStringLiteral("\uFFFD\uFFFD")},                           // an overlong form
            {"\xF4\x90\x80\x80", QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFD")},       // above U+10FFFF
            {"a\xE2\x82", QStringLiteral("a\uFFFD\uFFFD")},                         // cut short
            {"\xF0\x9F\x98\x80\xC3\xA9\xE2\x82\xAC", QStringLiteral("\U0001F600\u00E9\u20AC")},
        };
        JxLine line;
        jx_line_init(&line);
        OVLineText t;
        for (const auto &c : cases) {
            jx_line_clear(&line);
            jx_line_add(&line, c.bytes.constData(), uint32_t(c.bytes.size()), JX_STYLE_STRING);
            t.set(&line);
            QCOMPARE(t.text(), c.text);
            QCOMPARE(t.spans().size(), size_t(1));
            QCOMPARE(t.spans()[0].length, int(c.text.size()));
        }
        // Runs in bytes become spans in UTF-16 units with their colours and hit backgrounds;
        // what a broken run would claim stays default text.
        jx_line_clear(&line);
        addRuns(&line, {{"\"\xC3\xA9\"", JX_STYLE_KEY, 0}, {": ", JX_STYLE_PUNCT, 0}, {"\xF0\x9F\x98\x80x", JX_STYLE_STRING, 1},
                        {" 7", JX_STYLE_NUMBER, 2}});
        line.runs[line.nruns - 1].length = 99;
        t.set(&line);
        QList<std::tuple<int, int, int, int>> spans;
        for (const OVLineText::Span &s : t.spans()) spans << std::make_tuple(s.start, s.length, s.role, s.hitRole);
        QCOMPARE(spans, (QList<std::tuple<int, int, int, int>>{{0, 3, 7, -1}, {3, 2, 12, -1}, {5, 3, 8, 14}, {8, 2, 4, -1}}));
        QCOMPARE(t.offsetOfByte(8), 5); // inside the emoji: its start
        jx_line_free(&line);
    }

    // ---- keys ----

    void keyMap() {
        const int S = Qt::ShiftModifier, A = Qt::AltModifier, C = Qt::ControlModifier;
        const struct {
            int qt, modifiers;
            quint32 scan;
            int key, mods; // key -1: not mapped
        } cases[] = {
            {Qt::Key_Up, 0, 0, 256, 0},           {Qt::Key_PageDown, S, 0, 261, 1},    {Qt::Key_Enter, Qt::KeypadModifier, 0, 265, 0},
            {Qt::Key_Escape, 0, 0, 266, 0},       {Qt::Key_F3, S, 0, 267, 1},          {Qt::Key_F5, 0, 0, 268, 0},
            {Qt::Key_A, 0, 0, 65, 0},             {Qt::Key_G, C | S, 0, 71, 5},        {Qt::Key_7, A, 0, 55, 2},
            {Qt::Key_Plus, C | S, 0, 61, 5},      {Qt::Key_Underscore, S, 0, 45, 1},   {Qt::Key_BraceRight, C | S, 0, 93, 5},
            {Qt::Key_A, Qt::MetaModifier, 0, 65, 0}, // the Mac's Control has no bit
            {Qt::Key_Exclam, C | S, 0, 49, 5},    {Qt::Key_AsciiCircum, A | S, 0, 54, 3}, {Qt::Key_Exclam, S, 0, -1, 0},
            {Qt::Key_Ampersand, C, 10, 49, 4},    {Qt::Key_Eacute, A, 11, 50, 2},      {Qt::Key_Agrave, A, 19, 48, 2}, // AZERTY
            {Qt::Key_Eacute, 0, 11, -1, 0},       {Qt::Key_Tab, 0, 0, -1, 0},          {Qt::Key_Slash, C, 61, -1, 0},
        };
        for (const auto &c : cases) {
            QKeyEvent event(QEvent::KeyPress, c.qt, Qt::KeyboardModifiers(c.modifiers), c.scan, 0, 0);
            uint32_t key = 7, mods = 7;
            QCOMPARE(ov_key_of_event(&event, &key, &mods), c.key >= 0);
            QCOMPARE(std::make_pair(int(key), int(mods)), c.key >= 0 ? std::make_pair(c.key, c.mods) : std::make_pair(7, 7));
        }
        const struct {
            QString text;
            int modifiers;
            std::vector<uint32_t> typed;
        } typing[] = {
            {"A", S, {65}}, {"a", C, {}}, {"\u00e5", A, {}}, {"a", Qt::MetaModifier, {}},
            {"\U0001F600", 0, {0x1F600}}, {"\t\x7f" "b\x01\uF700", 0, {98}},
        };
        for (const auto &t : typing) {
            QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, Qt::KeyboardModifiers(t.modifiers), t.text);
            QCOMPARE(ov_typed_characters(&event), t.typed);
        }
    }

    // A key the view takes refreshes; one it does not may name a command; typing comes last and
    // never with ctrl. Page keys get one row fewer than the 20.5 in sight.
    void keysReachTheView() {
        Harness h(100, 300, 20.5);
        h.view.takesKeys = true;
        QTest::keyClick(&h.list, Qt::Key_PageDown);
        QCOMPARE(h.refreshes, 1);
        h.view.takesKeys = false;
        for (const auto &[key, mods] : {std::pair{Qt::Key_G, Qt::ControlModifier}, {Qt::Key_2, Qt::AltModifier}, {Qt::Key_F5, Qt::NoModifier},
                                        {Qt::Key_Q, Qt::ControlModifier}, {Qt::Key_X, Qt::NoModifier}})
            QTest::keyClick(&h.list, key, mods);
        QCOMPARE(h.commands, (QList<uint32_t>{JX_CMD_FIND_NEXT, JX_CMD_LEVEL_1 + 1, JX_CMD_RELOAD}));
        QCOMPARE(h.view.calls, QStringList({"key 261 0 19", "key 71 4 19", "key 50 2 19", "key 268 0 19", "key 81 4 19", "key 88 0 19", "type 120"}));
        QCOMPARE(h.refreshes, 2);

        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *before = new QLineEdit, *after = new QLineEdit;
        for (QWidget *w : std::initializer_list<QWidget *>{before, &h.list, after}) layout->addWidget(w);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        h.list.setFocus();
        QTest::keyClick(&h.list, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), after);
        h.list.setFocus();
        QTest::keyClick(&h.list, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), before);
        layout->removeWidget(&h.list);
        h.list.setParent(nullptr);
    }

    // ---- mouse ----

    // Rows 6 to 17 of 18 in sight, then half a row of nothing.
    void clicks() {
        const int S = Qt::ShiftModifier, A = Qt::AltModifier, C = Qt::ControlModifier;
        const struct {
            int action; // 0 click, 1 double click, 2 right click, 3 back, 4 forward
            int modifiers;
            bool chevron;
            int shown;
            QStringList calls;
            QList<uint32_t> commands;
        } cases[] = {
            {0, 0, false, 2, {"click 8 0 0"}, {}},
            {0, S | A | C, false, 2, {"click 8 0 3"}, {}}, // shift and alt pass, ctrl does not
            {0, A, true, 1, {"click 7 1 2"}, {}},
            {1, 0, false, 3, {"click 9 0 0", "double 9"}, {}},
            {1, 0, true, 3, {"click 9 1 0", "click 9 1 0"}, {}}, // on a chevron: two clicks
            {0, 0, false, 12, {}, {}},                           // below the rows
            {2, 0, false, 4, {"click 10 0 0"}, {}},              // then the menu
            {3, 0, false, 4, {}, {JX_CMD_BACK}},
            {4, 0, false, 4, {}, {JX_CMD_FORWARD}},
        };
        const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::LeftButton, Qt::RightButton, Qt::BackButton, Qt::ForwardButton};
        for (const auto &c : cases) {
            Harness h(18, 400, 12.5);
            h.view.chevron = 1;
            h.view.depthOf = [](uint32_t row) { return row % 3; };
            h.list.scrollRowToTop(17);
            QCOMPARE(h.list.topRow(), 6u);
            const uint32_t row = 6 + uint32_t(c.shown);
            const QRect box = h.list.chevronRectOfRow(row);
            const QPoint point = c.chevron ? box.center() : QPoint(box.right() + 40, box.center().y());
            QCOMPARE(h.list.rowAt(point), row < 18 ? row : NONE);
            h.list.clearFocus();
            // A double click comes as a click, then a second press that is the double click.
            QTest::mouseClick(h.viewport(), buttons[c.action], Qt::KeyboardModifiers(c.modifiers), point);
            if (c.action == 1) QTest::mouseDClick(h.viewport(), Qt::LeftButton, {}, point);
            QCOMPARE(h.view.calls, c.calls);
            QCOMPARE(h.commands, c.commands);
            QCOMPARE(h.menus, c.action == 2 ? 1 : 0);
            QVERIFY(h.list.hasFocus());
        }
    }

    // Text view: a drag extends the selection with shift clicks, row by row; above the first line
    // it reaches line 0, and held past the edge it scrolls. In the Tree view a drag does nothing.
    void dragSelection() {
        Harness h(1000, 400, 10, JX_MODE_TEXT);
        QTest::mousePress(h.viewport(), Qt::LeftButton, {}, h.at(2, 80));
        for (QPoint p : {h.at(5, 80), h.at(5, 900), QPoint(80, -30)}) dragTo(h.viewport(), p);
        QTest::mouseRelease(h.viewport(), Qt::LeftButton, {}, QPoint(80, -30));
        dragTo(h.viewport(), h.at(7, 80));
        QCOMPARE(h.view.calls, QStringList({"click 2 0 0", "click 5 0 1", "click 0 0 1"}));

        h.view.calls.clear();
        h.list.scrollRowToTop(100);
        QTest::mousePress(h.viewport(), Qt::LeftButton, {}, h.at(4, 80));
        dragTo(h.viewport(), h.at(13, 80)); // three rows below the list
        QTRY_VERIFY(h.list.topRow() >= 103);
        QTest::mouseRelease(h.viewport(), Qt::LeftButton, {}, h.at(4, 80));
        const uint32_t stopped = h.list.topRow();
        QTest::qWait(150);
        QCOMPARE(h.list.topRow(), stopped);
        QCOMPARE(h.view.calls.last(), QStringLiteral("click %1 0 1").arg(stopped + 13));

        // A right click inside the selection keeps it for the menu; outside, it selects the row.
        h.view.calls.clear();
        h.view.sel = 104, h.view.anc = 101;
        h.list.scrollRowToTop(100);
        for (int shown : {2, 5}) QTest::mouseClick(h.viewport(), Qt::RightButton, {}, h.at(shown, 80));
        QCOMPARE(h.view.calls, QStringList{"click 105 0 0"});
        QCOMPARE(h.menus, 2);

        h.view.viewMode = JX_MODE_TREE;
        h.list.reloadRows();
        h.view.calls.clear();
        QTest::mousePress(h.viewport(), Qt::LeftButton, {}, h.at(2, 80));
        dragTo(h.viewport(), h.at(6, 80));
        QCOMPARE(h.view.calls.size(), 1);
    }

    // ---- scrolling in rows, beyond what a scroll bar holds ----

    void scrollAtTheEnds() {
        Harness h(HUGE_COUNT, 400, 20.5);
        const uint32_t last = HUGE_COUNT - 1, maxTop = HUGE_COUNT - 20;
        QScrollBar *bar = h.list.verticalScrollBar();
        h.list.scrollRowToTop(last);
        QCOMPARE(std::make_pair(h.list.topRow(), bar->value()), std::make_pair(maxTop, bar->maximum()));
        h.list.scrollRowToTop(HUGE_COUNT); // not a row
        QCOMPARE(h.list.topRow(), maxTop);
        h.list.revealRow(0);
        QCOMPARE(std::make_pair(h.list.topRow(), bar->value()), std::make_pair(0u, 0));
        h.list.revealRow(last);
        QCOMPARE(h.list.topRow(), maxTop);
        QCOMPARE(h.list.rowAt(h.at(19, 10)), last);
        QCOMPARE(h.list.rowAt(h.at(20, 10)), NONE); // the half row below the last
        h.view.built.clear();
        h.list.viewport()->repaint();
        QCOMPARE(h.view.built.size(), size_t(20)); // the rows in sight, each once, none past the end
        QCOMPARE(std::make_pair(h.view.built.front(), h.view.built.back()), std::make_pair(maxTop, last));

        // The knob reaches both ends exactly and the middle nearly; steps and the wheel are rows.
        bar->setValue(bar->maximum() / 2);
        QVERIFY(qAbs(double(h.list.topRow()) - maxTop / 2.0) < 16);
        bar->setValue(bar->maximum());
        QCOMPARE(h.list.topRow(), maxTop);
        h.list.scrollRowToTop(1000000);
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(h.list.topRow(), 1000019u);
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(h.list.topRow(), 1000018u);
        QWheelEvent wheel(h.at(3, 10), h.at(3, 10), {}, QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(h.viewport(), &wheel);
        QCOMPARE(h.list.topRow(), 1000018u + uint32_t(QApplication::wheelScrollLines()));
        h.view.built.clear();
        h.list.viewport()->repaint();
        QCOMPARE(h.view.built.size(), size_t(21)); // and the half row
    }

    // ---- painting ----

    // A list 300 wide caps indentation at 10 levels: a row 12 deep draws 10 guides, its depth and
    // its chevron after them; rows past the count stay empty.
    void treeRows() {
        Harness h(2, 300, 6);
        QCOMPARE(h.list.visibleWidth(), 300);
        h.view.depthOf = [](uint32_t row) { return row ? 1u : 12u; };
        h.view.chevron = 1;
        h.list.reloadRows();
        const int rh = OVTheme::rowHeight(), mid = rh / 2;
        const int chevron = 168 + int(std::ceil(OVTheme::charWidth() * 2 * 0.75)) + 6;
        QImage image = h.image();
        for (int i = 0; i < 10; i++) QCOMPARE(image.pixel(16 * i + 16, 0), role(3));
        QVERIFY(only(image, QRect(161, 0, 7, rh), role(0)));       // nothing between the guides and the number
        QVERIFY(!only(image, QRect(168, 0, chevron - 168, rh), role(0))); // "12"
        QCOMPARE(image.pixel(chevron + 7, mid), role(5));          // the collapsed chevron
        QCOMPARE(std::make_pair(image.pixel(16, rh), image.pixel(32, rh)), std::make_pair(role(3), role(0)));
        QVERIFY(pixels(image, QRect(40, rh, 60, rh), role(7), 24) > 0); // the key's colour
        QVERIFY(only(image, QRect(0, 2 * rh, 300, image.height() - 2 * rh), role(0)));
        h.view.chevron = 2;
        h.view.guides = false;
        h.list.reloadRows();
        image = h.image();
        QCOMPARE(image.pixel(24 + 8, rh + mid - 1), role(5)); // expanded: below the middle too
        QCOMPARE(std::make_pair(image.pixel(16, 0), image.pixel(160, rh - 1)), std::make_pair(role(0), role(0)));
    }

    // Tree: the selected row; Text: anchor to cursor in either order, or the cursor alone.
    void selection() {
        const struct {
            uint32_t mode, selected, anchor;
            QString rows;
        } cases[] = {{JX_MODE_TREE, 2, 4, "..x..."}, {JX_MODE_TREE, NONE, NONE, "......"}, {JX_MODE_TEXT, 3, 1, ".xxx.."},
                     {JX_MODE_TEXT, 1, 4, ".xxxx."}, {JX_MODE_TEXT, 5, NONE, ".....x"}};
        for (const auto &c : cases) {
            Harness h(6, 300, 7, c.mode);
            h.view.sel = c.selected;
            h.view.anc = c.anchor;
            h.list.reloadRows();
            const QImage image = h.image();
            QString painted;
            for (uint32_t row = 0; row < 6; row++) {
                const bool fill = image.pixel(image.width() - 2, int(row) * OVTheme::rowHeight() + 1) == role(13);
                QCOMPARE(h.list.rowIsSelected(row), fill);
                painted += fill ? 'x' : '.';
            }
            QCOMPARE(painted, c.rows);
        }
    }

    // Hits have their backgrounds; the Text view numbers its lines before the gutter's gap and
    // widens its column for a long line; the appearance repaints.
    void runsAndTextLines() {
        Harness h(3, 400, 4);
        h.view.fill = [](uint32_t row, JxLine *l) {
            if (row == 1) return (void)jx_line_add(l, QByteArray(300, 'w').constData(), 300, JX_STYLE_PUNCT);
            addRuns(l, {{"\"key\"", JX_STYLE_KEY, 0}, {": ", JX_STYLE_PUNCT, 0}, {"\"match\"", JX_STYLE_STRING, 1}, {" current", JX_STYLE_BOOLEAN, 2}});
        };
        h.list.reloadRows();
        const int rh = OVTheme::rowHeight();
        QImage image = h.image();
        for (int r : {14, 15}) QVERIFY(pixels(image, QRect(0, 0, 400, rh), role(r)) > 0);
        for (int r : {8, 10}) QVERIFY(pixels(image, QRect(0, 0, 400, rh), role(r), 24) > 0);

        h.view.viewMode = JX_MODE_TEXT;
        h.list.reloadRows();
        QCOMPARE(h.list.gutterWidth(), 2 * OVTheme::charWidth() + 22);
        image = h.image();
        const int numberEnd = int(h.list.gutterWidth()) - 14;
        QVERIFY(!only(image, QRect(numberEnd - 6, 0, 6, rh), role(0)) && only(image, QRect(numberEnd + 1, 0, 12, rh), role(0)));
        QTRY_COMPARE(h.list.horizontalScrollBar()->maximum(),
                     int(std::ceil(h.list.gutterWidth() + 300 * OVTheme::charWidth() + 16)) - h.list.visibleWidth());

        const uint64_t painted = h.list.rowsPainted();
        OVTheme::applyTheme(1);
        QTRY_VERIFY(h.list.rowsPainted() > painted);
        QCOMPARE(h.image().pixel(200, 3 * rh), OVTheme::color(0, true).rgb());
        OVTheme::applyTheme(2);
    }

    // ---- in a document window ----

    // A reload keeps the rows in sight; keys and clicks reach the view, which reveals the
    // selection; keys name commands; settings and text size changes reach the list.
    void inTheWindow() {
        QByteArray json = "[";
        for (int i = 0; i < 400; i++) json += QByteArray::number(i) + ",";
        OVDocWindow *window = openLoaded(QStringLiteral("numbers.json"), json + "400]");
        QVERIFY(window && window->view());
        OVListView *list = window->list();
        QVERIFY(list->hasFocus());
        QTRY_VERIFY(list->rowsPainted() > 0);
        list->scrollRowToTop(200);
        QCOMPARE(window->topRow(), 200u);
        QVERIFY(write_file(window->path(), json + "401]"));
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QStringLiteral("reloaded ") + window->path()), 10000);
        QCOMPARE(list->topRow(), 200u);

        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(jx_view_selected(window->view()), 401u);
        QCOMPARE(list->topRow(), 402u - ov_full_rows(list->viewport()->height(), list->rowHeight()));
        QTest::keyClick(list, Qt::Key_Home);
        QCOMPARE(list->topRow(), 0u);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(100, 3 * list->rowHeight() + 2));
        QCOMPARE(jx_view_selected(window->view()), 3u);
        QCOMPARE(window->statusLine()->right(), QStringLiteral("number"));
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_Left, Qt::AltModifier); // collapses the root
        QCOMPARE(jx_view_count(window->view()), 1u);
        QTest::keyClick(list, Qt::Key_2, Qt::AltModifier);    // a view command
        QCOMPARE(jx_view_count(window->view()), 402u);
        QTest::keyClick(list, Qt::Key_F5);                    // a window command, no menu key
        QVERIFY(window->busy());
        QTRY_VERIFY(!window->busy());

        const int rh = list->rowHeight();
        QCOMPARE(list->viewport()->grab().toImage().pixel(16, rh), role(3));
        const uint64_t painted = list->rowsPainted();
        OVSettings::shared()->values().indent_guides = 0;
        delegate->settingsChanged();
        QTRY_VERIFY(list->rowsPainted() > painted);
        QCOMPARE(list->viewport()->grab().toImage().pixel(16, rh), role(0));
        OVSettings::shared()->values().indent_guides = 1;
        delegate->zoom(4);
        QCOMPARE(list->rowHeight(), OVTheme::rowHeight());
        QVERIFY(list->rowHeight() > rh);
        delegate->zoom(0);
        closeEverything(*delegate);
    }

    // ---- screenshots ----

    // A nested document's Tree view and both Text views with search hits and a selection, a tree
    // deeper than its indent cap, and a window over a file with problems.
    void screenshots() {
        QDir().mkpath(QStringLiteral(ORVEL_SCREENS));
        QByteArray deep;
        for (int i = 1; i <= 18; i++) deep += "{\"level" + QByteArray::number(i) + "\": ";
        deep += "\"bottom\"" + QByteArray(18, '}');
        JxSearchOptions options{};
        for (int theme : {2, 1}) {
            OVTheme::applyTheme(theme);
            const QString suffix = theme == 1 ? QStringLiteral("-dark.png") : QStringLiteral("-light.png");
            const QString base = QStringLiteral(ORVEL_SCREENS "/linux-list-");
            for (int shot = 0; shot < 4; shot++) {
                DocList d(shot == 3 ? deep : NESTED, shot == 3 ? 360 : 560, shot == 0 ? 26 : 18);
                if (shot != 3) {
                    JxSearch *search = jx_search_new(jx_view_doc(d.view), "name", 4, &options, nullptr, 0);
                    jx_search_run(search, nullptr);
                    jx_view_set_search(d.view, search); // selects the first hit: the current one
                    jx_view_search_update(d.view);
                }
                if (shot == 0 || shot == 3) jx_view_command(d.view, JX_CMD_EXPAND_ALL);
                if (shot == 3) jx_view_key(d.view, JX_KEY_END, 0, 1);
                if (shot == 1 || shot == 2) {
                    jx_view_set_text(d.view, jx_text_new(jx_view_doc(d.view), shot == 1 ? JX_TEXT_PRETTY : JX_TEXT_FILE, nullptr, nullptr));
                    jx_view_set_mode(d.view, JX_MODE_TEXT);
                    jx_view_click(d.view, shot == 1 ? 4 : 1, 0, 0);
                    jx_view_click(d.view, shot == 1 ? 6 : 3, 0, JX_MOD_SHIFT);
                }
                d.refresh();
                d.list.grab();
                QCoreApplication::processEvents(); // the column the lines widened
                const char *names[] = {"tree", "text-pretty", "text-file", "deep"};
                QVERIFY(d.list.grab().save(base + QLatin1String(names[shot]) + suffix));
            }
            JxSettings &values = OVSettings::shared()->values();
            values.win_x = 0, values.win_y = 0, values.win_w = 640, values.win_h = 300;
            OVDocWindow *window = openLoaded(QStringLiteral("problems.json"), "{\"name\": \"Orvel\",\n \"sizes\": [1, 2,, 3],\n \"ok\": tru}\n");
            QVERIFY(window);
            QVERIFY(window->grab().save(base + QStringLiteral("problems") + suffix));
            closeEverything(*delegate);
        }
        OVTheme::applyTheme(2);
    }
};

QTEST_MAIN(ListTest)
#include "list_test.moc"
