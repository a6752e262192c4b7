#include "pasteboard.h"

#include "options.h"

#include <QClipboard>
#include <QGuiApplication>

OVPasteboard::OVPasteboard(bool isPrivate, QObject *parent) : QObject(parent), priv(isPrivate) {}

QString OVPasteboard::text() const { return priv ? held : QGuiApplication::clipboard()->text(); }

void OVPasteboard::setText(const QString &text) {
    if (priv)
        held = text;
    else
        QGuiApplication::clipboard()->setText(text);
}

void OVPasteboard::clear() {
    if (priv)
        held.clear();
    else
        QGuiApplication::clipboard()->clear();
}

OVPasteboard *ov_pasteboard() {
    static OVPasteboard board(ov_test_mode());
    return &board;
}
