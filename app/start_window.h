// start_window.h: the window shown while no document is open (see start_view.h). It has no
// menu bar: it carries the application's Open, Open from Clipboard and Quit actions itself.
#ifndef OV_START_WINDOW_H
#define OV_START_WINDOW_H

#include <QWidget>

class OVStartView;

class OVStartWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int WIDTH = 640;
    static constexpr int HEIGHT = 460;
    static constexpr int MIN_WIDTH = 420;
    static constexpr int MIN_HEIGHT = 320;

    OVStartWindow();
    // Rebuilds the recent rows from the delegate's recent list.
    void reload();
    // Closes the window as part of an open: the application goes on.
    void closeQuietly();
    OVStartView *startView() const { return view; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *) override;

private:
    OVStartView *view = nullptr;
    bool quiet = false;
};

#endif
