#pragma once

// The program's one window: the dashboard picture with the menu strip below it, the
// one-second tick, and the dialogs of the menus.

#include "dashboard/layout.h"
#include "shell/app.h"

#include <QImage>
#include <QWidget>

#include <functional>

class QMenu;
class QTimer;
class QToolButton;

namespace velocimo {

inline constexpr int kMenuStripHeight = 26;

// Paints a finished back buffer in one piece; a stylus (mouse) release is a tap.
class DashboardWidget : public QWidget {
    Q_OBJECT
public:
    using Render = std::function<const QImage&(bool afterTick)>;
    using Tap = std::function<void(int32_t x, int32_t y)>;
    DashboardWidget(Render render, Tap tap, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Render m_render;
    Tap m_tap;

public:
    // Set by the window for the paint that follows a tick.
    std::function<bool()> takeTickRepaint;
};

// Dialogs the window opens; each runs modally and returns when closed.
struct WindowDialogs {
    std::function<void(QWidget* parent)> options;
    std::function<void(QWidget* parent)> about;
    std::function<void(QWidget* parent)> logging;
};

class MainWindow : public QWidget, public WindowHost {
    Q_OBJECT
public:
    MainWindow(App& app, DashboardWidget::Render render, WindowDialogs dialogs,
               QWidget* parent = nullptr);
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
    // Called after each tick (the status hook).
    std::function<void()> afterTick;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QToolButton* addMenu(QWidget* strip, int labelId, const char* label, QMenu* menu);
    QAction* addItem(QMenu* menu, int id, const char* label);

    App& m_app;
    WindowDialogs m_dialogs;
    DashboardWidget* m_dashboard = nullptr;
    QTimer* m_timer = nullptr;
    QAction* m_logOn = nullptr;
    QToolButton* m_buttons[4] = {};
    bool m_closing = false;
};

} // namespace velocimo
