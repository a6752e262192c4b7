// Helpers for the tests of the document window's working parts (search runner, copier, Text view
// builder), run without a window: a QObject stands in for it, holding the view and the parts.
#ifndef OV_PARTS_FIXTURE_H
#define OV_PARTS_FIXTURE_H

#include "copier.h"
#include "doc_fixture.h"
#include "search_runner.h"
#include "text_builder.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <utility>

#include <jx/view.h>

// A view over text with the root selected; null when it does not parse.
inline JxView *viewOf(const QByteArray &text) {
    JxDoc *doc = parseText(text);
    JxView *view = jx_view_new(doc);
    jx_doc_release(doc);
    return view;
}

// Selects the node path names (JSONPath); false when it names none.
inline bool selectPath(JxView *view, const char *path) {
    char err[256];
    return jx_view_goto(view, path, strlen(path), err, sizeof err) == 1;
}

// An array of count strings of width bytes each: big enough that searches, copies and Text view
// builds take a while.
inline QByteArray bigArray(int count, int width = 40) {
    QByteArray item = '"' + QByteArray(width, 'q') + "\",";
    QByteArray text = "[";
    text.reserve(qsizetype(count) * item.size() + 8);
    for (int i = 0; i < count; i++) text += item;
    text += "0]";
    return text;
}

// Lets every worker finish and every result, progress report and view handed back arrive.
inline void drainWorkers() {
    for (int i = 0; i < 3; i++) {
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    }
}

// Stands in for the document window: owns the view and the parts, and on destruction goes
// through the window's close steps: cancel the builds and copies, hand the view over.
struct PartsOwner : QObject {
    JxView *view = nullptr;
    OVSearchRunner *search = new OVSearchRunner(this);
    OVCopier *copier = new OVCopier(this);
    OVTextBuilder *text = new OVTextBuilder(this);

    explicit PartsOwner(JxView *v) {
        setView(v);
        text->whenModelFree = [c = copier](const JxText *model, std::function<void()> block) {
            c->whenModelFree(model, std::move(block));
        };
    }
    ~PartsOwner() override {
        text->cancel();
        copier->cancel();
        replaceView(nullptr);
    }
    void setView(JxView *v) {
        view = v;
        search->setView(v);
        copier->setView(v);
        text->setView(v);
    }
    // A reload: the old view goes to whichever part still reads it.
    void replaceView(JxView *v) {
        const OVViewHold old = ov_hold_view(std::exchange(view, nullptr));
        search->retireView(old);
        copier->retireView(old);
        setView(v);
    }
};

#endif
