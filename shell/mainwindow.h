#pragma once

// The program's one window: the dashboard picture with the menu strip below it, the
// one-second tick, and the dialogs of the menus.

#include "dashboard/layout.h"
#include "shell/app.h"

#include <QImage>
#include <QWidget>

class QLabel;
class QMenu;
class QTimer;
class QToolButton;

namespace velocimo {

inline constexpr int kMenuStripHeight = 26;

// What the dashboard shows, asked for at every paint.
class DashboardSource {
public:
    virtual ~DashboardSource() = default;
    // The finished picture. afterTick: this paint follows a tick, so the graphs advance.
    virtual const QImage& render(bool afterTick) = 0;
};

// Paints a finished back buffer in one piece; a stylus (mouse) release is a tap.
class DashboardWidget : public QWidget {
    Q_OBJECT
public:
    DashboardWidget(DashboardSource& source, App& app, QWidget* parent = nullptr);

signals:
    // In client pixels.
    void tapped(int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    DashboardSource& m_source;
    App& m_app;
};

class MainWindow : public QWidget, public WindowHost {
    Q_OBJECT
public:
    MainWindow(App& app, DashboardSource& source, QWidget* parent = nullptr);
    ~MainWindow() override;

    // WindowHost
    bool createWindow() override;
    void showAndPaint() override;
    void requestRepaint() override;
    void startTick() override;
    void stopTick() override;
    void bringToFront() override;
    void quit(int code) override;
    void closeWindow() override;
    void runOptionsDialog() override;
    void runAboutDialog() override;
    void runLoggingDialog() override;

    QTimer* tickTimer() const { return m_timer; }
    DashboardWidget* dashboard() const { return m_dashboard; }
    // The four drop-down buttons, in strip order.
    QToolButton* menuButton(int index) const { return m_buttons[index]; }
    // The link's status line at the end of the menu strip (empty most of the time).
    QLabel* linkStatus() const { return m_linkStatus; }
    // Reads the link's status line again: each tick, and four times a second from an open
    // until the line is empty.
    void refreshLinkStatus();
    // Whether the quick refresh is running (only while a status may be showing).
    bool followingLinkStatus() const;
signals:
    // After each tick of the timer.
    void ticked();
    // The menus ask for their dialogs through these. A receiver runs its dialog modally
    // and returns when it is closed, so it must be connected directly.
    void optionsDialogRequested();
    void aboutDialogRequested();
    void loggingDialogRequested();
    void receiverDialogRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QToolButton* addMenu(QWidget* strip, int labelId, const char* label, QMenu* menu);
    QAction* addItem(QMenu* menu, int id, const char* label);

    App& m_app;
    DashboardWidget* m_dashboard = nullptr;
    QTimer* m_timer = nullptr;
    QAction* m_logOn = nullptr;
    QToolButton* m_buttons[4] = {};
    QLabel* m_linkStatus = nullptr;
    QTimer* m_statusTimer = nullptr;
    bool m_closing = false;
};

} // namespace velocimo
