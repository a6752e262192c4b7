// The script runner's pure parts: reading numbers, clip texts and search options, the paths a
// write may touch, and the key strokes sent for combinations and typed characters.
#include "keys.h"
#include "words.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

TEST(ScriptWords, NumbersAreDigitsUpTo32Bits) {
    const struct {
        const char *word;
        bool ok;
        uint32_t value;
    } cases[] = {
        {"0", true, 0},          {"42", true, 42},         {"4294967295", true, 4294967295u},
        {"4294967296", false, 0}, {"99999999999999999999", false, 0}, {"", false, 0},
        {"-1", false, 0},        {"+1", false, 0},         {"1.5", false, 0},
        {" 1", false, 0},        {"1x", false, 0},         {"٣", false, 0},
    };
    for (const auto &c : cases) {
        uint32_t value = 7;
        EXPECT_EQ(ov_script_number(QString::fromUtf8(c.word), &value), c.ok) << c.word;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.word;
        }
    }
}

TEST(ScriptWords, LinesSplitTrimAndKeepTheirRest) {
    EXPECT_EQ(ov_script_words(QStringLiteral("open \t a  b\t")), (QStringList{"open", "a", "b"}));
    EXPECT_EQ(ov_script_trim(QStringLiteral(" \t key up\r")), QStringLiteral("key up"));
    // Only spaces, tabs and carriage returns are trimmed: a form feed is part of the line.
    EXPECT_EQ(ov_script_trim(QStringLiteral("\fx")), QStringLiteral("\fx"));
    EXPECT_EQ(ov_script_rest(QStringLiteral("type  two spaces ")), QStringLiteral(" two spaces "));
    EXPECT_EQ(ov_script_rest(QStringLiteral("quit")), QString());
}

TEST(ScriptWords, ClipUnescapesOnlyNewlinesAndBackslashes) {
    const struct {
        const char *in, *out;
    } cases[] = {
        {R"(a\nb)", "a\nb"},   {R"(a\\nb)", R"(a\nb)"}, {R"(\\\n)", "\\\n"}, {R"(\t\")", R"(\t\")"},
        {R"(end\)", R"(end\)"}, {"", ""},                {R"({"a": 1})", R"({"a": 1})"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ov_clip_unescape(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
}

TEST(ScriptWords, SearchOptionsPeelOffTheEnd) {
    const uint32_t KEYS = 1u << OV_SEARCH_SCOPE_SHIFT, VALUES = 2u << OV_SEARCH_SCOPE_SHIFT;
    const struct {
        const char *rest, *query;
        uint32_t options;
    } cases[] = {
        {"word /regex /case", "word", OV_SEARCH_CASE | OV_SEARCH_REGEX},
        {"/case", "", OV_SEARCH_CASE},
        {"two words  /keys  ", "two words", KEYS},
        {"a /values", "a", VALUES},
        {"a /keys /values", "a", 0},
        {"/case in the middle", "/case in the middle", 0},
        {"x/case", "x/case", 0},
        {"a /Case", "a /Case", 0},
        {"", "", 0},
    };
    for (const auto &c : cases) {
        uint32_t options = 99;
        EXPECT_EQ(ov_peel_search(QString::fromUtf8(c.rest), &options), QString::fromUtf8(c.query)) << c.rest;
        EXPECT_EQ(options, c.options) << c.rest;
    }
}

class ScriptPaths : public ::testing::Test {
protected:
    QTemporaryDir top;
    QString root;
    void SetUp() override {
        ASSERT_TRUE(top.isValid());
        root = top.filePath(QStringLiteral("tree"));
        ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/tests/samples")));
        ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/build")));
        ASSERT_TRUE(QDir().mkpath(top.filePath(QStringLiteral("outside"))));
        link(top.filePath(QStringLiteral("outside")), root + QStringLiteral("/tests/samples/out"));
        link(root + QStringLiteral("/tests/samples"), root + QStringLiteral("/tests/samples/in"));
        link(top.filePath(QStringLiteral("missing")), root + QStringLiteral("/tests/samples/dangling"));
    }
    static void link(const QString &target, const QString &at) {
        ASSERT_EQ(symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()), 0);
    }
};

TEST_F(ScriptPaths, OnlyTheTwoFoldersAndNeverThroughALinkOut) {
    const struct {
        const char *word;
        bool ok;
    } cases[] = {
        {"build/tmp/a.json", true},          // build/tmp need not exist yet
        {"build/tmp/new/deeper/a.json", true},
        {"tests/samples/a.json", true},
        {"tests/samples/in/a.json", true},   // a link that stays inside
        {"tests/samples/out/a.json", false}, // a link that leads out
        {"tests/samples/out", false},
        {"tests/samples/dangling", false},   // writing would follow it wherever it points
        {"tests/samples/../x", false},
        {"build/tmp/..x", false},
        {"build/tmp/", false},
        {"tests/samples", false},
        {"/etc/passwd", false},
        {"build/other/a", false},
        {"tests/sample/a", false},
        {"", false},
    };
    for (const auto &c : cases) {
        QString absolute;
        EXPECT_EQ(ov_script_path_allowed(root, QString::fromUtf8(c.word), &absolute), c.ok) << c.word;
        if (c.ok) {
            EXPECT_EQ(absolute, root + QLatin1Char('/') + QString::fromUtf8(c.word));
        }
    }
}

TEST_F(ScriptPaths, ABuildTmpThatIsALinkOutIsRefused) {
    ASSERT_TRUE(QDir().mkpath(top.filePath(QStringLiteral("outside"))));
    link(top.filePath(QStringLiteral("outside")), root + QStringLiteral("/build/tmp"));
    QString absolute;
    EXPECT_FALSE(ov_script_path_allowed(root, QStringLiteral("build/tmp/a.json"), &absolute));
}

TEST(ScriptKeys, CombinationsGiveUsLayoutStrokes) {
    const struct {
        const char *combo;
        int key;
        Qt::KeyboardModifiers modifiers;
        const char *text;
        uint32_t scan;
    } cases[] = {
        {"down", Qt::Key_Down, {}, "", 116},
        {"return", Qt::Key_Return, {}, "\r", 36},
        {"esc", Qt::Key_Escape, {}, "\x1b", 9},
        {"space", Qt::Key_Space, {}, " ", 65},
        {"shift+f3", Qt::Key_F3, Qt::ShiftModifier, "", 69},
        {"a", Qt::Key_A, {}, "a", 38},
        {"shift+a", Qt::Key_A, Qt::ShiftModifier, "A", 38},
        {"mod+g", Qt::Key_G, Qt::ControlModifier, "g", 42},
        {"mod+shift+]", Qt::Key_BraceRight, Qt::ControlModifier | Qt::ShiftModifier, "}", 35},
        {"mod+[", Qt::Key_BracketLeft, Qt::ControlModifier, "[", 34},
        {"shift+1", Qt::Key_Exclam, Qt::ShiftModifier, "!", 10},
        {"shift+0", Qt::Key_ParenRight, Qt::ShiftModifier, ")", 19},
        {"alt+3", Qt::Key_3, Qt::AltModifier, "£", 12},
        {"alt+0", Qt::Key_0, Qt::AltModifier, "º", 19},
        {"mod+alt+c", Qt::Key_C, Qt::ControlModifier | Qt::AltModifier, "c", 54},
        {"shift+=", Qt::Key_Plus, Qt::ShiftModifier, "+", 21},
        {"shift+-", Qt::Key_Underscore, Qt::ShiftModifier, "_", 20},
    };
    for (const auto &c : cases) {
        OVKeyStroke stroke;
        ASSERT_TRUE(ov_stroke_of_combo(QString::fromUtf8(c.combo), &stroke)) << c.combo;
        EXPECT_EQ(stroke.key, c.key) << c.combo;
        EXPECT_EQ(stroke.modifiers, c.modifiers) << c.combo;
        EXPECT_EQ(stroke.text, QString::fromUtf8(c.text)) << c.combo;
        EXPECT_EQ(stroke.scanCode, c.scan) << c.combo;
    }
    for (const char *bad : {"", "mod+", "banana", "mod+banana", "f4", "ctrl+a+b"}) {
        OVKeyStroke stroke;
        EXPECT_FALSE(ov_stroke_of_combo(QString::fromUtf8(bad), &stroke)) << bad;
    }
}

TEST(ScriptKeys, ShiftedKeysHaveATwinForShortcuts) {
    OVKeyStroke stroke;
    ASSERT_TRUE(ov_stroke_of_combo(QStringLiteral("mod+shift+]"), &stroke));
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    ASSERT_TRUE(ov_stroke_twin(stroke, &key, &modifiers));
    EXPECT_EQ(key, Qt::Key_BracketRight);
    EXPECT_EQ(modifiers, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(ov_stroke_of_combo(QStringLiteral("mod+g"), &stroke));
    EXPECT_FALSE(ov_stroke_twin(stroke, &key, &modifiers));
}

TEST(ScriptKeys, TypedCharactersUseTheirKeysAndShift) {
    const struct {
        char32_t c;
        int key;
        bool shift;
        uint32_t scan;
    } cases[] = {
        {U'q', Qt::Key_Q, false, 24}, {U'Q', Qt::Key_Q, true, 24},      {U'7', Qt::Key_7, false, 16},
        {U'&', Qt::Key_Ampersand, true, 16}, {U'"', Qt::Key_QuoteDbl, true, 48}, {U'\'', Qt::Key_Apostrophe, false, 48},
        {U'|', Qt::Key_Bar, true, 51}, {U'~', Qt::Key_AsciiTilde, true, 49}, {U' ', Qt::Key_Space, false, 65},
        {U'?', Qt::Key_Question, true, 61}, {U'é', Qt::Key_Eacute, false, 0}, {U'😀', Qt::Key_unknown, false, 0},
    };
    for (const auto &c : cases) {
        const OVKeyStroke stroke = ov_stroke_of_character(c.c);
        EXPECT_EQ(stroke.key, c.key) << uint32_t(c.c);
        EXPECT_EQ(bool(stroke.modifiers & Qt::ShiftModifier), c.shift) << uint32_t(c.c);
        EXPECT_EQ(stroke.scanCode, c.scan) << uint32_t(c.c);
        EXPECT_EQ(stroke.text.toUcs4(), QList<uint>{uint(c.c)}) << uint32_t(c.c);
    }
}

} // namespace
