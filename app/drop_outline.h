// drop_outline.h: the dashed outline a window shows while files are dragged over it, and the
// drag-and-drop steps of the views that take dropped files (the start view, a document
// window's root view). Main thread only.
#ifndef OV_DROP_OUTLINE_H
#define OV_DROP_OUTLINE_H

#include <QStringList>
#include <QWidget>

#include <functional>

class QEvent;
class QMimeData;

// The local files among a drag's URLs, as absolute paths in order; empty for none (text, web
// addresses). Any file counts, whatever its extension; a file URL that names another host is
// not a local file and is left out.
QStringList ov_dragged_files(const QMimeData *data);

class OVDropOutline : public QWidget {
public:
    // Hidden, over the whole parent until the parent places it; it never takes a click.
    explicit OVDropOutline(QWidget *parent);

    // One drag-and-drop event that reached the view this outline covers: a drag that carries
    // files is offered the copy action and shows the outline, anything else is refused; leaving
    // and dropping hide it, and a drop hands its files to open. Answers false for every other
    // event, which the view handles as usual.
    bool follow(QEvent *event, const std::function<void(const QStringList &)> &open);

protected:
    void paintEvent(QPaintEvent *) override;
};

#endif
