#pragma once

// The program's one window: the dashboard picture with the menu strip below it, the
// one-second tick, and the dialogs of the menus.

#include "dashboard/layout.h"
#include "dashboard/viewport.h"
#include "shell/app.h"

#include <QColor>
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
    // The finished picture at scale device pixels per dashboard pixel. afterTick: this paint
    // follows a tick, so the graphs advance.
    virtual const QImage& render(bool afterTick, double scale) = 0;
    // Shown around the dashboard where the widget is not its shape.
    virtual QColor backdrop() const = 0;
};

// Paints a finished back buffer in one piece, as large as fits and centred; a stylus (mouse)
// release is a tap.
class DashboardWidget : public QWidget {
    Q_OBJECT
public:
    DashboardWidget(DashboardSource& source, App& app, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    // Where the dashboard is drawn, in device pixels.
    DashboardViewport viewport() const;

signals:
    // In dashboard pixels.
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
    // The five drop-down buttons, in strip order.
    QToolButton* menuButton(int index) const { return m_buttons[index]; }
    QWidget* menuStrip() const { return m_strip; }
    // Full screen or back to the window, as F11 does; the setting follows.
    void setFullScreen(bool on);
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
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    // A tap on the strip beside the menus leaves full screen.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMenu* makeViewMenu();
    // The window's size in the settings, while it is neither full screen nor maximised.
    void rememberSize();

    QToolButton* addMenu(QWidget* strip, int labelId, const char* label, QMenu* menu);
    QAction* addItem(QMenu* menu, int id, const char* label);

    App& m_app;
    DashboardWidget* m_dashboard = nullptr;
    QTimer* m_timer = nullptr;
    QAction* m_logOn = nullptr;
    QAction* m_fullScreen = nullptr;
    QAction* m_mirror = nullptr;
    QAction* m_autoNight = nullptr;
    QWidget* m_strip = nullptr;
    QToolButton* m_buttons[5] = {};
    QLabel* m_linkStatus = nullptr;
    QTimer* m_statusTimer = nullptr;
    bool m_closing = false;
};

} // namespace velocimo
