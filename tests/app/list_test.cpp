// The document list: its geometry, the styled line as drawn text, keys, mouse actions, scrolling
// at the ends of a list far beyond what a scroll bar holds, what it paints, and the list inside a
// document window over real files.
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
constexpr uint32_t HUGE_COUNT = 4294967294u; // one below the largest count: every row is valid

// A view of any size that records what the list asks of it. Rows say "row N" as keys unless
// fill writes them.
class FakeView : public OVListModel {
public:
    uint32_t rows = 0;
    uint32_t viewMode = JX_MODE_TREE;
    uint32_t sel = NONE, anc = NONE;
    bool guides = true;
    bool takesKeys = false;
    std::function<uint32_t(uint32_t)> depthOf = [](uint32_t) { return 0u; };
    uint8_t chevron = 0;
    std::function<void(uint32_t, JxLine *)> fill;
    mutable std::vector<uint32_t> built; // rows built with text, in order
    QStringList calls;

    uint32_t count() const override { return rows; }
    uint32_t mode() const override { return viewMode; }
    void line(uint32_t row, uint32_t width, JxLine *l) const override {
        jx_line_clear(l);
        l->node = row;
        l->depth = viewMode == JX_MODE_TREE ? depthOf(row) : 0;
        l->chevron = viewMode == JX_MODE_TREE ? chevron : 0;
        l->number = viewMode == JX_MODE_TEXT ? row + 1 : 0;
        if (!width) return;
        built.push_back(row);
        if (fill) return fill(row, l);
        const QByteArray text = "row " + QByteArray::number(row);
        jx_line_add(l, text.constData(), uint32_t(text.size()), JX_STYLE_KEY);
    }
    uint32_t selected() const override { return sel; }
    uint32_t anchor() const override { return anc; }
    void click(uint32_t row, bool onChevron, uint32_t mods) override {
        calls << QStringLiteral("click %1 %2 %3").arg(row).arg(int(onChevron)).arg(mods);
    }
    void doubleClick(uint32_t row) override { calls << QStringLiteral("double %1").arg(row); }
    bool key(uint32_t key, uint32_t mods, uint32_t pageRows) override {
        calls << QStringLiteral("key %1 %2 %3").arg(key).arg(mods).arg(pageRows);
        return takesKeys;
    }
    bool type(uint32_t cp, uint64_t) override {
        calls << QStringLiteral("type %1").arg(cp);
        return true;
    }
    bool indentGuides() const override { return guides; }
};

// A shown list over a fake, sized in rows; records the owner calls.
struct Harness {
    FakeView view;
    OVListView list{&view};
    QList<uint32_t> commands;
    QList<QPoint> menus;
    int refreshes = 0;

    Harness(uint32_t rows, int width, double rowsHigh, uint32_t mode = JX_MODE_TREE) {
        view.rows = rows;
        view.viewMode = mode;
        list.onRefresh = [this] {
            refreshes++;
            list.reloadRows();
        };
        list.onCommand = [this](uint32_t c) { commands << c; };
        list.onContextMenu = [this](const QPoint &p) { menus << p; };
        list.resize(width, int(rowsHigh * OVTheme::rowHeight()));
        list.show();
        list.activateWindow();
        QApplication::setActiveWindow(&list);
        if (!QTest::qWaitForWindowExposed(&list)) qFatal("the list never showed");
        list.reloadRows();
        list.setFocus();
    }
    QWidget *viewport() { return list.viewport(); }
    QImage image() { return list.viewport()->grab().toImage(); }
    // A point on row (counted from the top row shown) at x.
    QPoint at(int shownRow, int x) const { return QPoint(x, shownRow * OVTheme::rowHeight() + OVTheme::rowHeight() / 2); }
};

QRgb role(int r) { return OVTheme::color(r).rgb(); }

bool onlyColour(const QImage &image, const QRect &box, QRgb colour) {
    for (int y = box.top(); y <= box.bottom(); y++)
        for (int x = box.left(); x <= box.right(); x++)
            if (image.pixel(x, y) != colour) return false;
    return true;
}

bool hasNear(const QImage &image, const QRect &box, QRgb colour) {
    for (int y = box.top(); y <= box.bottom(); y++)
        for (int x = box.left(); x <= box.right(); x++) {
            const QRgb p = image.pixel(x, y);
            if (qAbs(qRed(p) - qRed(colour)) + qAbs(qGreen(p) - qGreen(colour)) + qAbs(qBlue(p) - qBlue(colour)) <= 24) return true;
        }
    return false;
}

bool hasColour(const QImage &image, const QRect &box, QRgb colour) {
    for (int y = box.top(); y <= box.bottom(); y++)
        for (int x = box.left(); x <= box.right(); x++)
            if (image.pixel(x, y) == colour) return true;
    return false;
}

void moveWithButton(QWidget *viewport, const QPoint &pos) {
    QMouseEvent move(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &move);
}

// A line built from (text, style, hit) runs.
void addRuns(JxLine *l, std::initializer_list<std::tuple<const char *, int, int>> runs) {
    for (const auto &[text, style, hit] : runs) {
        const uint32_t start = l->len, n = uint32_t(strlen(text));
        jx_line_add(l, text, n, style);
        if (hit) jx_line_mark(l, start, n, hit);
    }
}

// A list over a real view of json: what the window shows, without the window.
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
    void search(const char *query) {
        JxSearchOptions options{};
        JxSearch *search = jx_search_new(jx_view_doc(view), query, strlen(query), &options, nullptr, 0);
        jx_search_run(search, nullptr);
        jx_view_set_search(view, search);
        jx_view_search_update(view);
    }
    void showText(int textMode) {
        jx_view_set_text(view, jx_text_new(jx_view_doc(view), textMode, nullptr, nullptr));
        jx_view_set_mode(view, JX_MODE_TEXT);
        list.resetText();
        refresh();
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
        const QString path = dir.filePath(name);
        if (!write_file(path, json)) return nullptr;
        OVDocWindow *window = delegate->openPath(path);
        if (!QTest::qWaitFor([&] { return !window->busy(); }, 20000)) return nullptr;
        return window;
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

    // ---- geometry, against worked numbers (character width 8 unless said) ----

    void indentCap_data() {
        QTest::addColumn<double>("width");
        QTest::addColumn<uint32_t>("cap");
        QTest::newRow("300 wide: (180 - 8) / 16") << 300.0 << 10u;
        QTest::newRow("120 wide: exactly 4") << 120.0 << 4u;
        QTest::newRow("narrower still draws 4") << 100.0 << 4u;
        QTest::newRow("no width at all") << 0.0 << 4u;
        QTest::newRow("1000 wide") << 1000.0 << 37u;
        QTest::newRow("2000 wide stops at 40") << 2000.0 << 40u;
    }
    void indentCap() {
        QFETCH(double, width);
        QFETCH(uint32_t, cap);
        QCOMPARE(ov_indent_cap(width), cap);
    }

    void rowGeometry_data() {
        QTest::addColumn<uint32_t>("depth");
        QTest::addColumn<bool>("tree");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("cw");
        QTest::addColumn<uint32_t>("levels");
        QTest::addColumn<double>("depthX");
        QTest::addColumn<double>("chevronX");
        QTest::addColumn<double>("textX");
        QTest::addColumn<uint32_t>("chars");
        QTest::newRow("root") << 0u << true << 300.0 << 8.0 << 0u << -1.0 << 8.0 << 24.0 << 33u;
        QTest::newRow("depth 3") << 3u << true << 300.0 << 8.0 << 3u << -1.0 << 56.0 << 72.0 << 27u;
        QTest::newRow("at the cap") << 10u << true << 300.0 << 8.0 << 10u << -1.0 << 168.0 << 184.0 << 13u;
        QTest::newRow("12 past a cap of 10: number, then chevron")
            << 12u << true << 300.0 << 8.0 << 10u << 168.0 << 186.0 << 202.0 << 11u;
        QTest::newRow("99990 deep, five digits") << 99990u << true << 300.0 << 7.8 << 10u << 168.0 << 204.0 << 220.0 << 9u;
        QTest::newRow("narrow: 4 levels, no room, 1 character") << 6u << true << 100.0 << 8.0 << 4u << 72.0 << 84.0 << 100.0 << 1u;
        QTest::newRow("Text view indents nothing") << 7u << false << 300.0 << 8.0 << 0u << -1.0 << 8.0 << 8.0 << 35u;
    }
    void rowGeometry() {
        QFETCH(uint32_t, depth);
        QFETCH(bool, tree);
        QFETCH(double, width);
        QFETCH(double, cw);
        QFETCH(uint32_t, levels);
        QFETCH(double, depthX);
        QFETCH(double, chevronX);
        QFETCH(double, textX);
        QFETCH(uint32_t, chars);
        const OVRowGeometry g = ov_row_geometry(depth, tree, width, cw);
        QCOMPARE(g.levels, levels);
        QCOMPARE(g.depthX, depthX);
        QCOMPARE(g.chevronX, chevronX);
        QCOMPARE(g.textX, textX);
        QCOMPARE(ov_row_chars(g.textX, width, cw), chars);
    }

    void scrollGeometry() {
        // The gutter holds at least two digits, then 8 and 14 points.
        QCOMPARE(ov_gutter_width(9, 8), 38.0);
        QCOMPARE(ov_gutter_width(100, 8), 46.0);
        QCOMPARE(ov_gutter_width(4294967295u, 8), 102.0);
        // A clip showing 20.5 rows of 20 pages by 19; anything under two rows by 1.
        QCOMPARE(ov_page_rows(410, 20), 19u);
        QCOMPARE(ov_page_rows(39, 20), 1u);
        QCOMPARE(ov_page_rows(0, 20), 1u);
    }

    // Rows of 20 in a clip 200 high (10 whole rows) or 210 (a half row more), top row 100.
    void revealTop_data() {
        QTest::addColumn<uint32_t>("row");
        QTest::addColumn<uint32_t>("top");
        QTest::addColumn<uint32_t>("count");
        QTest::addColumn<double>("height");
        QTest::addColumn<uint32_t>("expected");
        QTest::newRow("in sight stays") << 109u << 100u << 1000u << 200.0 << 100u;
        QTest::newRow("just below: becomes the last whole row") << 110u << 100u << 1000u << 200.0 << 101u;
        QTest::newRow("half in sight below") << 110u << 100u << 1000u << 210.0 << 101u;
        QTest::newRow("starts less than a row below the edge") << 111u << 100u << 1000u << 210.0 << 102u;
        QTest::newRow("just above: becomes the first") << 99u << 100u << 1000u << 200.0 << 99u;
        QTest::newRow("far below: centred") << 500u << 100u << 1000u << 200.0 << 496u;
        QTest::newRow("two above: centred") << 98u << 100u << 1000u << 200.0 << 94u;
        QTest::newRow("centring stops at the first row") << 2u << 500u << 1000u << 200.0 << 0u;
        QTest::newRow("centring stops at the last") << 999u << 0u << 1000u << 200.0 << 990u;
        QTest::newRow("the last of 4,294,967,294") << HUGE_COUNT - 1 << 0u << HUGE_COUNT << 200.0 << HUGE_COUNT - 10;
        QTest::newRow("the first, from the end") << 0u << HUGE_COUNT - 10 << HUGE_COUNT << 200.0 << 0u;
        QTest::newRow("past the count: nothing") << 1000u << 100u << 1000u << 200.0 << 100u;
    }
    void revealTop() {
        QFETCH(uint32_t, row);
        QFETCH(uint32_t, top);
        QFETCH(uint32_t, count);
        QFETCH(double, height);
        QFETCH(uint32_t, expected);
        QCOMPARE(ov_reveal_top(row, top, count, height, 20), expected);
    }

    // ---- the styled line as text ----

    void lineText_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("a byte that starts nothing") << QByteArray("A\xFF" "B") << QStringLiteral("A\uFFFDB");
        QTest::newRow("a stray continuation byte") << QByteArray("\x80x") << QStringLiteral("\uFFFDx");
        QTest::newRow("an encoded surrogate") << QByteArray("\xED\xA0\x80") << QStringLiteral("\uFFFD\uFFFD\uFFFD");
        QTest::newRow("an overlong form") << QByteArray("\xC0\x80") << QStringLiteral("\uFFFD\uFFFD");
        QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFD");
        QTest::newRow("cut short at the end") << QByteArray("a\xE2\x82") << QStringLiteral("a\uFFFD\uFFFD");
        QTest::newRow("a pair from four bytes") << QByteArray("\xF0\x9F\x98\x80!") << QString::fromUtf8("\xF0\x9F\x98\x80!");
        QTest::newRow("two and three bytes") << QByteArray("\xC3\xA9\xE2\x82\xAC") << QStringLiteral("\u00E9\u20AC");
    }
    void lineText() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        JxLine line;
        jx_line_init(&line);
        jx_line_add(&line, bytes.constData(), uint32_t(bytes.size()), JX_STYLE_STRING);
        OVLineText converted;
        converted.set(&line);
        QCOMPARE(converted.text(), text);
        QCOMPARE(converted.offsetOfByte(line.len), int(text.size()));
        QCOMPARE(converted.spans().size(), size_t(1));
        QCOMPARE(converted.spans()[0].length, int(text.size()));
        jx_line_free(&line);
    }

    // Runs in bytes become spans in UTF-16 units with their colour and hit roles; text that no
    // run covers, or that a bad run would claim, stays default text.
    void lineSpans() {
        JxLine line;
        jx_line_init(&line);
        addRuns(&line, {{"\"\xC3\xA9\"", JX_STYLE_KEY, 0}, {": ", JX_STYLE_PUNCT, 0}, {"\xF0\x9F\x98\x80x", JX_STYLE_STRING, 1},
                        {" 7", JX_STYLE_NUMBER, 2}});
        line.runs[line.nruns - 1].length = 99; // runs past the text
        OVLineText t;
        t.set(&line);
        using S = OVLineText::Span;
        const std::vector<std::tuple<int, int, int, int>> expected = {{0, 3, 7, -1}, {3, 2, 12, -1}, {5, 3, 8, 14}, {8, 2, 4, -1}};
        QCOMPARE(t.spans().size(), expected.size());
        for (size_t i = 0; i < expected.size(); i++) {
            const S &s = t.spans()[i];
            QCOMPARE(std::make_tuple(s.start, s.length, s.role, s.hitRole), expected[i]);
        }
        QCOMPARE(t.offsetOfByte(6), 5); // the first byte of the emoji
        QCOMPARE(t.offsetOfByte(8), 5); // one of its continuation bytes
        t.set(nullptr);
        QVERIFY(t.text().isEmpty() && t.spans().empty());
        jx_line_free(&line);
    }

    // ---- keys ----

    void keyMap_data() {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<quint32>("scanCode");
        QTest::addColumn<int>("key"); // -1: not mapped
        QTest::addColumn<int>("mods");
        const int shift = Qt::ShiftModifier, alt = Qt::AltModifier, ctrl = Qt::ControlModifier, meta = Qt::MetaModifier;
        QTest::newRow("up") << int(Qt::Key_Up) << 0 << 0u << 256 << 0;
        QTest::newRow("shift+page down") << int(Qt::Key_PageDown) << shift << 0u << 261 << 1;
        QTest::newRow("end") << int(Qt::Key_End) << 0 << 0u << 263 << 0;
        QTest::newRow("space") << int(Qt::Key_Space) << 0 << 0u << 264 << 0;
        QTest::newRow("keypad enter is return") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << 0u << 265 << 0;
        QTest::newRow("escape") << int(Qt::Key_Escape) << 0 << 0u << 266 << 0;
        QTest::newRow("shift+F3") << int(Qt::Key_F3) << shift << 0u << 267 << 1;
        QTest::newRow("F5") << int(Qt::Key_F5) << 0 << 0u << 268 << 0;
        QTest::newRow("a") << int(Qt::Key_A) << 0 << 0u << 65 << 0;
        QTest::newRow("ctrl+shift+g") << int(Qt::Key_G) << (ctrl | shift) << 0u << 71 << 5;
        QTest::newRow("alt+7") << int(Qt::Key_7) << alt << 0u << 55 << 2;
        QTest::newRow("plus is =") << int(Qt::Key_Plus) << (ctrl | shift) << 0u << 61 << 5;
        QTest::newRow("underscore is -") << int(Qt::Key_Underscore) << shift << 0u << 45 << 1;
        QTest::newRow("brace left is [") << int(Qt::Key_BraceLeft) << (ctrl | shift) << 0u << 91 << 5;
        QTest::newRow("brace right is ]") << int(Qt::Key_BraceRight) << (ctrl | shift) << 0u << 93 << 5;
        QTest::newRow("meta (Control on a Mac) has no bit") << int(Qt::Key_A) << meta << 0u << 65 << 0;
        QTest::newRow("ctrl+shift+1 types !: still 1") << int(Qt::Key_Exclam) << (ctrl | shift) << 0u << 49 << 5;
        QTest::newRow("alt+shift+6 types ^: still 6") << int(Qt::Key_AsciiCircum) << (alt | shift) << 0u << 54 << 3;
        QTest::newRow("shift+1 alone is not a digit") << int(Qt::Key_Exclam) << shift << 0u << -1 << 0;
        QTest::newRow("AZERTY ctrl+& is 1") << int(Qt::Key_Ampersand) << ctrl << 10u << 49 << 4;
        QTest::newRow("AZERTY alt+\u00e9 is 2") << int(Qt::Key_Eacute) << alt << 11u << 50 << 2;
        QTest::newRow("AZERTY alt+\u00e0 is 0") << int(Qt::Key_Agrave) << alt << 19u << 48 << 2;
        QTest::newRow("AZERTY \u00e9 alone is typed") << int(Qt::Key_Eacute) << 0 << 11u << -1 << 0;
        QTest::newRow("tab") << int(Qt::Key_Tab) << 0 << 0u << -1 << 0;
        QTest::newRow("slash") << int(Qt::Key_Slash) << ctrl << 61u << -1 << 0;
    }
    void keyMap() {
        QFETCH(int, qtKey);
        QFETCH(int, modifiers);
        QFETCH(quint32, scanCode);
        QFETCH(int, key);
        QFETCH(int, mods);
        QKeyEvent event(QEvent::KeyPress, qtKey, Qt::KeyboardModifiers(modifiers), scanCode, 0, 0);
        uint32_t code = 7, set = 7;
        QCOMPARE(ov_key_of_event(&event, &code, &set), key >= 0);
        QCOMPARE(int(code), key >= 0 ? key : 7);
        QCOMPARE(int(set), key >= 0 ? mods : 7);
    }

    void typed_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QList<uint32_t>>("typed");
        QTest::newRow("a letter") << "a" << 0 << QList<uint32_t>{97};
        QTest::newRow("shifted") << "A" << int(Qt::ShiftModifier) << QList<uint32_t>{65};
        QTest::newRow("with ctrl: never") << "a" << int(Qt::ControlModifier) << QList<uint32_t>{};
        QTest::newRow("with alt: never") << "\u00e5" << int(Qt::AltModifier) << QList<uint32_t>{};
        QTest::newRow("with meta: never") << "a" << int(Qt::MetaModifier) << QList<uint32_t>{};
        QTest::newRow("a pair joined") << QString::fromUtf8("\xF0\x9F\x98\x80") << 0 << QList<uint32_t>{0x1F600};
        QTest::newRow("controls left out") << "\t\x7f" "b\x01" << 0 << QList<uint32_t>{98};
        QTest::newRow("function keys left out") << "\uF700" << 0 << QList<uint32_t>{};
    }
    void typed() {
        QFETCH(QString, text);
        QFETCH(int, modifiers);
        QFETCH(QList<uint32_t>, typed);
        QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, Qt::KeyboardModifiers(modifiers), text);
        const std::vector<uint32_t> got = ov_typed_characters(&event);
        QCOMPARE(QList<uint32_t>(got.begin(), got.end()), typed);
    }

    // A key the view takes refreshes; one it does not may name a command; typing comes last, and
    // never with ctrl or alt. Page keys get one row fewer than the 20.5 that show.
    void keysReachTheView() {
        Harness h(100, 300, 20.5);
        h.view.takesKeys = true;
        QTest::keyClick(&h.list, Qt::Key_PageDown);
        QCOMPARE(h.view.calls, QStringList{"key 261 0 19"});
        QCOMPARE(h.refreshes, 1);
        h.view.takesKeys = false;
        h.view.calls.clear();
        QTest::keyClick(&h.list, Qt::Key_G, Qt::ControlModifier);
        QTest::keyClick(&h.list, Qt::Key_2, Qt::AltModifier);
        QTest::keyClick(&h.list, Qt::Key_F5);
        QCOMPARE(h.commands, (QList<uint32_t>{JX_CMD_FIND_NEXT, JX_CMD_LEVEL_1 + 1, JX_CMD_RELOAD}));
        QTest::keyClick(&h.list, Qt::Key_Q, Qt::ControlModifier);
        QTest::keyClick(&h.list, Qt::Key_X);
        QCOMPARE(h.view.calls, QStringList({"key 71 4 19", "key 50 2 19", "key 268 0 19", "key 81 4 19", "key 88 0 19", "type 120"}));
        QCOMPARE(h.refreshes, 2);
    }

    void tabMovesTheFocus() {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *before = new QLineEdit;
        FakeView view;
        auto *list = new OVListView(&view);
        auto *after = new QLineEdit;
        layout->addWidget(before);
        layout->addWidget(list);
        layout->addWidget(after);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), after);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), before);
    }

    // ---- mouse ----

    void clicks_data() {
        QTest::addColumn<int>("action"); // 0 click, 1 double click, 2 right click, 3 back, 4 forward
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("onChevron");
        QTest::addColumn<int>("shownRow");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QList<uint32_t>>("commands");
        const int alt = Qt::AltModifier, shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
        QTest::newRow("click") << 0 << 0 << false << 2 << QStringList{"click 8 0 0"} << QList<uint32_t>{};
        QTest::newRow("shift and alt pass, ctrl does not") << 0 << (shift | alt | ctrl) << false << 2 << QStringList{"click 8 0 3"}
                                                          << QList<uint32_t>{};
        QTest::newRow("alt+click on a chevron") << 0 << alt << true << 1 << QStringList{"click 7 1 2"} << QList<uint32_t>{};
        QTest::newRow("double click") << 1 << 0 << false << 3 << QStringList{"click 9 0 0", "double 9"} << QList<uint32_t>{};
        QTest::newRow("double click on a chevron is two clicks")
            << 1 << 0 << true << 3 << QStringList{"click 9 1 0", "click 9 1 0"} << QList<uint32_t>{};
        QTest::newRow("below the rows: nothing") << 0 << 0 << false << 12 << QStringList{} << QList<uint32_t>{};
        QTest::newRow("right click selects, then the menu") << 2 << 0 << false << 4 << QStringList{"click 10 0 0"}
                                                           << QList<uint32_t>{};
        QTest::newRow("back button") << 3 << 0 << false << 4 << QStringList{} << QList<uint32_t>{JX_CMD_BACK};
        QTest::newRow("forward button") << 4 << 0 << false << 4 << QStringList{} << QList<uint32_t>{JX_CMD_FORWARD};
    }
    void clicks() {
        QFETCH(int, action);
        QFETCH(int, modifiers);
        QFETCH(bool, onChevron);
        QFETCH(int, shownRow);
        QFETCH(QStringList, calls);
        QFETCH(QList<uint32_t>, commands);
        Harness h(18, 400, 12.5); // rows 6 to 17 and a half row of nothing
        h.view.chevron = 1;
        h.view.depthOf = [](uint32_t row) { return row % 3; };
        h.list.scrollRowToTop(17);
        QCOMPARE(h.list.topRow(), 6u);
        const uint32_t row = 6 + uint32_t(shownRow);
        const QRect chevron = h.list.chevronRectOfRow(row);
        const QPoint point = onChevron ? chevron.center() : QPoint(chevron.right() + 40, chevron.center().y());
        QCOMPARE(h.list.rowAt(point), row < 18 ? row : NONE);
        const auto mods = Qt::KeyboardModifiers(modifiers);
        const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::LeftButton, Qt::RightButton, Qt::BackButton, Qt::ForwardButton};
        h.list.clearFocus();
        // A double click arrives as a click, then a second press that is the double click.
        QTest::mouseClick(h.viewport(), buttons[action], mods, point);
        if (action == 1) QTest::mouseDClick(h.viewport(), Qt::LeftButton, mods, point);
        QCOMPARE(h.view.calls, calls);
        QCOMPARE(h.commands, commands);
        QCOMPARE(h.menus.size(), action == 2 ? 1 : 0);
        if (action <= 2) QVERIFY(h.list.hasFocus());
    }

    // Text view: a drag extends the selection with shift clicks, row by row; above the first
    // line it reaches line 0, and held beyond the edge it scrolls.
    void dragSelection() {
        Harness h(1000, 400, 10, JX_MODE_TEXT);
        QTest::mousePress(h.viewport(), Qt::LeftButton, {}, h.at(2, 80));
        moveWithButton(h.viewport(), h.at(5, 80));
        moveWithButton(h.viewport(), h.at(5, 900)); // same row, x beyond the list
        moveWithButton(h.viewport(), QPoint(80, -30));
        QCOMPARE(h.view.calls, QStringList({"click 2 0 0", "click 5 0 1", "click 0 0 1"}));
        QTest::mouseRelease(h.viewport(), Qt::LeftButton, {}, QPoint(80, -30));
        moveWithButton(h.viewport(), h.at(7, 80));
        QCOMPARE(h.view.calls.size(), 3); // released: no more

        h.view.calls.clear();
        h.list.scrollRowToTop(100);
        QTest::mousePress(h.viewport(), Qt::LeftButton, {}, h.at(4, 80));
        moveWithButton(h.viewport(), QPoint(80, h.viewport()->height() + 3 * OVTheme::rowHeight()));
        QTRY_VERIFY(h.list.topRow() >= 103);
        QTest::mouseRelease(h.viewport(), Qt::LeftButton, {}, h.at(4, 80));
        const uint32_t stopped = h.list.topRow();
        QTest::qWait(150);
        QCOMPARE(h.list.topRow(), stopped);
        QVERIFY(h.view.calls.size() >= 3);
        QCOMPARE(h.view.calls.last(), QStringLiteral("click %1 0 1").arg(stopped + 13));
    }

    // In the Tree view a drag selects nothing more.
    void noDragInTheTree() {
        Harness h(100, 400, 10);
        QTest::mousePress(h.viewport(), Qt::LeftButton, {}, h.at(2, 80));
        moveWithButton(h.viewport(), h.at(6, 80));
        QTest::mouseRelease(h.viewport(), Qt::LeftButton, {}, h.at(6, 80));
        QCOMPARE(h.view.calls, QStringList{"click 2 0 0"});
    }

    // ---- scrolling in rows, beyond what a scroll bar holds ----

    void scrollAtTheEnds() {
        Harness h(HUGE_COUNT, 400, 20.5);
        const uint32_t last = HUGE_COUNT - 1, maxTop = HUGE_COUNT - 20;
        QScrollBar *bar = h.list.verticalScrollBar();
        QCOMPARE(h.list.pageRows(), 19u);
        h.list.scrollRowToTop(last);
        QCOMPARE(h.list.topRow(), maxTop);
        QCOMPARE(bar->value(), bar->maximum());
        h.list.scrollRowToTop(HUGE_COUNT); // not a row
        QCOMPARE(h.list.topRow(), maxTop);
        h.list.revealRow(0);
        QCOMPARE(h.list.topRow(), 0u);
        QCOMPARE(bar->value(), 0);
        h.list.revealRow(last);
        QCOMPARE(h.list.topRow(), maxTop);
        QCOMPARE(h.list.rowAt(h.at(19, 10)), last);
        QCOMPARE(h.list.rowAt(h.at(20, 10)), NONE); // the half row below the last

        // The knob, dragged, reaches both ends exactly and the middle roughly.
        bar->setValue(bar->maximum() / 2);
        QVERIFY(qAbs(double(h.list.topRow()) - maxTop / 2.0) < 16);
        bar->setValue(bar->maximum());
        QCOMPARE(h.list.topRow(), maxTop);
        bar->setValue(0);
        QCOMPARE(h.list.topRow(), 0u);
        // Steps are rows however many a bar unit stands for.
        h.list.scrollRowToTop(1000000);
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(h.list.topRow(), 1000019u);
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(h.list.topRow(), 1000018u);
        QWheelEvent wheel(h.at(3, 10), h.viewport()->mapToGlobal(h.at(3, 10)), {}, QPoint(0, -120), Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(h.viewport(), &wheel);
        QCOMPARE(h.list.topRow(), 1000018u + uint32_t(QApplication::wheelScrollLines()));
    }

    // A paint builds the rows in sight, each once (and asks its depth first), never one past the
    // end: the cost of a paint does not grow with the list.
    void paintsOnlyTheRowsInSight() {
        Harness h(HUGE_COUNT, 400, 20.5);
        h.list.scrollRowToTop(HUGE_COUNT - 1);
        h.view.built.clear();
        h.list.viewport()->repaint();
        std::vector<uint32_t> expected;
        for (uint32_t row = HUGE_COUNT - 20; row < HUGE_COUNT; row++) expected.push_back(row);
        QCOMPARE(h.view.built, expected);
        h.list.scrollRowToTop(5);
        h.view.built.clear();
        h.list.viewport()->repaint();
        QCOMPARE(h.view.built.size(), size_t(21)); // 20 whole rows and the half one
        QCOMPARE(h.view.built.front(), 5u);
    }

    // ---- what is painted ----

    void rowsPastTheCountStayEmpty() {
        Harness h(3, 300, 8);
        const QImage image = h.image();
        const int rh = OVTheme::rowHeight();
        for (int row = 0; row < 3; row++) QVERIFY(hasColour(image, QRect(24, row * rh, 60, rh), role(7)));
        QVERIFY(onlyColour(image, QRect(0, 3 * rh, image.width(), image.height() - 3 * rh), role(0)));
    }

    // A list 300 wide caps indentation at 10 levels: a row 12 deep draws 10 guides, its depth and
    // its chevron after them; without the setting, no guides.
    void treeDecorations() {
        Harness h(2, 300, 4);
        QCOMPARE(h.list.visibleWidth(), 300);
        h.view.depthOf = [](uint32_t row) { return row ? 1u : 12u; };
        h.view.chevron = 1;
        h.list.reloadRows();
        const int rh = OVTheme::rowHeight(), mid = rh / 2;
        QImage image = h.image();
        for (int i = 0; i < 10; i++) QCOMPARE(image.pixel(16 * i + 16, 0), role(3));
        QVERIFY(onlyColour(image, QRect(161, 0, 7, rh), role(0))); // nothing between the last guide and the number
        const double cw = OVTheme::charWidth();
        const int chevron = 168 + int(std::ceil(cw * 2 * 0.75)) + 6;
        QVERIFY(!onlyColour(image, QRect(168, 0, chevron - 168, rh), role(0))); // the number "12"
        QCOMPARE(image.pixel(chevron + 7, mid), role(5)); // the collapsed chevron's middle
        QCOMPARE(image.pixel(16, rh), role(3));           // the depth-1 row's single guide
        QCOMPARE(image.pixel(32, rh), role(0));
        QCOMPARE(image.pixel(24 + 7, rh + mid), role(5));
        h.view.chevron = 2; // expanded: pointing down, its middle lower than the collapsed one's tip row
        h.list.reloadRows();
        image = h.image();
        QCOMPARE(image.pixel(24 + 8, rh + mid - 1), role(5));
        h.view.guides = false;
        h.list.reloadRows();
        image = h.image();
        QCOMPARE(image.pixel(16, 0), role(0));
        QCOMPARE(image.pixel(160, rh - 1), role(0));
    }

    // Tree: the selected row; Text: anchor to cursor in either order, or the cursor alone.
    void selectionPainting_data() {
        QTest::addColumn<uint32_t>("mode");
        QTest::addColumn<uint32_t>("selected");
        QTest::addColumn<uint32_t>("anchor");
        QTest::addColumn<QString>("rows"); // one character per row: x selected
        QTest::newRow("tree") << uint32_t(JX_MODE_TREE) << 2u << 4u << "..x...";
        QTest::newRow("tree, nothing") << uint32_t(JX_MODE_TREE) << NONE << NONE << "......";
        QTest::newRow("text, anchor above") << uint32_t(JX_MODE_TEXT) << 3u << 1u << ".xxx..";
        QTest::newRow("text, anchor below") << uint32_t(JX_MODE_TEXT) << 1u << 4u << ".xxxx.";
        QTest::newRow("text, no anchor") << uint32_t(JX_MODE_TEXT) << 5u << NONE << ".....x";
    }
    void selectionPainting() {
        QFETCH(uint32_t, mode);
        QFETCH(uint32_t, selected);
        QFETCH(uint32_t, anchor);
        QFETCH(QString, rows);
        Harness h(6, 300, 7, mode);
        h.view.sel = selected;
        h.view.anc = anchor;
        h.list.reloadRows();
        const QImage image = h.image();
        QString painted;
        for (int row = 0; row < 6; row++) {
            const bool fill = image.pixel(image.width() - 2, row * OVTheme::rowHeight() + 1) == role(13);
            painted += fill ? QLatin1Char('x') : QLatin1Char('.');
            QCOMPARE(h.list.rowIsSelected(uint32_t(row)), fill);
        }
        QCOMPARE(painted, rows);
    }

    // Runs draw in their styles' colours over their hits' backgrounds; the Text view puts the
    // line number before the gutter's gap and widens its column for a long line.
    void runsAndTheTextView() {
        Harness h(3, 400, 4);
        h.view.fill = [](uint32_t, JxLine *l) {
            addRuns(l, {{"\"key\"", JX_STYLE_KEY, 0}, {": ", JX_STYLE_PUNCT, 0}, {"\"match\"", JX_STYLE_STRING, 1},
                        {" ", JX_STYLE_PLAIN, 0}, {"truecurrent", JX_STYLE_BOOLEAN, 2}});
        };
        h.list.reloadRows();
        QImage image = h.image();
        const int rh = OVTheme::rowHeight();
        const QRect row(0, 0, 400, rh);
        QVERIFY(hasColour(image, row, role(14)) && hasColour(image, row, role(15)));
        // Glyph edges blend into the background; their darkest pixels are the text colour.
        for (int r : {7, 8, 10}) QVERIFY2(hasNear(image, row, role(r)), qPrintable(QString::number(r)));

        h.view.viewMode = JX_MODE_TEXT;
        h.view.fill = [](uint32_t row, JxLine *l) {
            const QByteArray text = row == 1 ? QByteArray(300, 'w') : QByteArray("[");
            jx_line_add(l, text.constData(), uint32_t(text.size()), JX_STYLE_PUNCT);
        };
        h.list.resetText();
        h.list.reloadRows();
        const double cw = OVTheme::charWidth();
        QCOMPARE(h.list.gutterWidth(), 2 * cw + 22);
        image = h.image();
        const int numberEnd = int(h.list.gutterWidth()) - 14;
        QVERIFY(!onlyColour(image, QRect(numberEnd - int(cw), 0, int(cw), rh), role(0)));
        QVERIFY(onlyColour(image, QRect(numberEnd + 1, 0, 12, rh), role(0)));
        QTRY_COMPARE(h.list.horizontalScrollBar()->maximum(), int(std::ceil(h.list.gutterWidth() + 300 * cw + 16)) - h.list.visibleWidth());
        QVERIFY(h.list.horizontalScrollBar()->isVisible());
    }

    // A change of appearance repaints in the other palette.
    void followsTheAppearance() {
        Harness h(2, 200, 4);
        QCOMPARE(h.image().pixel(150, 3 * OVTheme::rowHeight()), OVTheme::color(0, false).rgb());
        OVTheme::applyTheme(1);
        QCOMPARE(h.image().pixel(150, 3 * OVTheme::rowHeight()), OVTheme::color(0, true).rgb());
        OVTheme::applyTheme(2);
    }

    // ---- inside a document window ----

    // A reload keeps the rows that were in sight; keys and clicks reach the view through the
    // window, which reveals the selection and runs the commands keys name.
    void inTheWindow() {
        QByteArray json = "[";
        for (int i = 0; i < 400; i++) json += QByteArray::number(i) + ",";
        json += "400]";
        OVDocWindow *window = openLoaded(QStringLiteral("numbers.json"), json);
        QVERIFY(window && window->view());
        OVListView *list = window->list();
        QVERIFY(list->isVisible() && list->hasFocus());
        QCOMPARE(list->rowsPainted() > 0 || QTest::qWaitFor([&] { return list->rowsPainted() > 0; }), true);
        list->scrollRowToTop(200);
        QCOMPARE(window->topRow(), 200u);
        json.replace("[0,", "[-1,");
        QVERIFY(write_file(window->path(), json));
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QStringLiteral("reloaded ") + window->path()), 10000);
        QCOMPARE(list->topRow(), 200u);

        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(jx_view_selected(window->view()), 401u);
        QCOMPARE(list->topRow(), 402u - ov_full_rows(list->viewport()->height(), list->rowHeight()));
        QTest::keyClick(list, Qt::Key_Home);
        QCOMPARE(list->topRow(), 0u);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(100, 3 * list->rowHeight() + 2));
        QCOMPARE(jx_view_selected(window->view()), 3u);
        QCOMPARE(window->statusLine()->right(), QStringLiteral("number")); // the status bar follows
        // Alt+left on the root collapses it: one row; F5 (no menu item) reloads.
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(jx_view_count(window->view()), 1u);
        QTest::keyClick(list, Qt::Key_2, Qt::AltModifier);
        QCOMPARE(jx_view_count(window->view()), 402u);
        QTest::keyClick(list, Qt::Key_F5);
        QVERIFY(window->busy());
        QTRY_VERIFY(!window->busy());
        closeEverything(*delegate);
    }

    // ---- screenshots ----

    // The Tree and Text views of a nested document with search hits and a selection, a tree
    // deeper than its indent cap, and a window over a file with problems.
    void screenshots() {
        QDir().mkpath(QStringLiteral(ORVEL_SCREENS));
        QByteArray deep;
        for (int i = 0; i < 18; i++) deep += "{\"level" + QByteArray::number(i + 1) + "\": ";
        deep += "\"bottom\"" + QByteArray(18, '}');
        for (int theme : {2, 1}) {
            OVTheme::applyTheme(theme);
            const QString suffix = theme == 1 ? QStringLiteral("-dark.png") : QStringLiteral("-light.png");
            const QString base = QStringLiteral(ORVEL_SCREENS "/linux-list-");
            {
                DocList tree(NESTED, 560, 26);
                jx_view_command(tree.view, JX_CMD_EXPAND_ALL);
                tree.search("name"); // selects the first hit: the current one
                tree.refresh();
                QVERIFY(tree.list.grab().save(base + QStringLiteral("tree") + suffix));
            }
            for (int textMode : {JX_TEXT_PRETTY, JX_TEXT_FILE}) {
                DocList text(NESTED, 560, 18);
                text.search("name");
                text.showText(textMode);
                const uint32_t first = textMode == JX_TEXT_PRETTY ? 4 : 1;
                jx_view_click(text.view, first, 0, 0);
                jx_view_click(text.view, first + 2, 0, JX_MOD_SHIFT);
                text.refresh();
                text.list.grab();
                QCoreApplication::processEvents(); // the column widened by the lines drawn
                const QString name = textMode == JX_TEXT_PRETTY ? QStringLiteral("text-pretty") : QStringLiteral("text-file");
                QVERIFY(text.list.grab().save(base + name + suffix));
            }
            {
                DocList tree(deep, 360, 20); // an indent cap of 13
                jx_view_command(tree.view, JX_CMD_EXPAND_ALL);
                jx_view_key(tree.view, JX_KEY_END, 0, 1);
                tree.refresh();
                QVERIFY(tree.list.grab().save(base + QStringLiteral("deep") + suffix));
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
