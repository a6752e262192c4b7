// start_window.h: the window shown while no document is open: a prompt, Open and Open from
// Clipboard buttons, and the recent files.
#ifndef OV_START_WINDOW_H
#define OV_START_WINDOW_H

#include <QWidget>

class QLabel;
class QVBoxLayout;

class OVStartWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int WIDTH = 640;
    static constexpr int HEIGHT = 460;

    OVStartWindow();
    // Rebuilds the recent rows from the delegate's recent list.
    void reload();
    // Closes the window as part of an open: the application goes on.
    void closeQuietly();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *recentTitle = nullptr;
    QVBoxLayout *rows = nullptr;
    bool quiet = false;
};

#endif
