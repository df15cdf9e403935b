#include "shell/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstdint>

namespace velocimo {

DashboardWidget::DashboardWidget(DashboardSource& source, App& app, QWidget* parent)
    : QWidget(parent), m_source(source), m_app(app) {
    setFixedSize(kDashboardWidth, kDashboardHeight);
    // Every pixel comes from the back buffer: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void DashboardWidget::paintEvent(QPaintEvent*) {
    const QImage& picture = m_source.render(m_app.takeTickRepaint());
    QPainter painter(this);
    painter.drawImage(0, 0, picture);
}

void DashboardWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // The position is read as two unsigned 16-bit halves, as a stylus message carries it.
    const QPoint at = event->position().toPoint();
    emit tapped(static_cast<uint16_t>(at.x()), static_cast<uint16_t>(at.y()));
}

MainWindow::MainWindow(App& app, DashboardSource& source, QWidget* parent)
    : QWidget(parent), m_app(app) {
    setWindowTitle(QStringLiteral("Velocimo"));
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_app.tick();
        refreshLinkStatus();
        emit ticked();
    });

    m_dashboard = new DashboardWidget(source, app, this);
    connect(m_dashboard, &DashboardWidget::tapped, this, [this](int x, int y) { m_app.tap(x, y); });
}

MainWindow::~MainWindow() = default;

QAction* MainWindow::addItem(QMenu* menu, int id, const char* label) {
    QAction* action = menu->addAction(QString::fromUtf8(label));
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { m_app.command(id); });
    return action;
}

QToolButton* MainWindow::addMenu(QWidget* strip, int labelId, const char* label, QMenu* menu) {
    auto* button = new QToolButton(strip);
    button->setText(QString::fromUtf8(label));
    button->setProperty("commandId", labelId);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setMenu(menu);
    button->setFixedHeight(kMenuStripHeight - 2);
    return button;
}

bool MainWindow::createWindow() {
    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("menuStrip"));
    strip->setFixedSize(kDashboardWidth, kMenuStripHeight);
    auto* stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(1, 1, 1, 1);
    stripLayout->setSpacing(0);

    auto* file = new QMenu(this);
    addItem(file, command::kOptions, "Options");
    file->addSeparator();
    addItem(file, command::kAbout, "About");
    addItem(file, command::kExit, "Exit");

    auto* gps = new QMenu(this);
    addItem(gps, command::kGpsOpen, "Open");
    addItem(gps, command::kGpsClose, "Close");
    gps->addSeparator();
    connect(gps->addAction(QStringLiteral("Receiver...")), &QAction::triggered, this,
            &MainWindow::receiverDialogRequested);

    auto* reset = new QMenu(this);
    addItem(reset, command::kResetTotal, "Total Distance");
    addItem(reset, command::kResetTrip, "Trip Distance");
    addItem(reset, command::kResetTop, "Top Speed");

    auto* log = new QMenu(this);
    m_logOn = addItem(log, command::kLogOn, "On");
    m_logOn->setCheckable(true);
    addItem(log, command::kLogNew, "New");
    log->addSeparator();
    addItem(log, command::kLogSetup, "Setup");
    // The check mark follows the setting each time the pop-up opens.
    connect(log, &QMenu::aboutToShow, this,
            [this] { m_logOn->setChecked(m_app.loggingChecked()); });

    m_buttons[0] = addMenu(strip, command::kFileMenu, "File", file);
    m_buttons[1] = addMenu(strip, command::kGpsMenu, "GPS", gps);
    m_buttons[2] = addMenu(strip, command::kResetMenu, "Reset", reset);
    m_buttons[3] = addMenu(strip, command::kLogMenu, "Log", log);
    for (QToolButton* button : m_buttons) {
        stripLayout->addWidget(button);
    }
    // The rest of the strip; two short lines in a small type fit beside the menus.
    m_linkStatus = new QLabel(strip);
    m_linkStatus->setObjectName(QStringLiteral("linkStatus"));
    m_linkStatus->setAlignment(Qt::AlignCenter);
    m_linkStatus->setWordWrap(true);
    QFont small = m_linkStatus->font();
    small.setPixelSize(10);
    m_linkStatus->setFont(small);
    m_linkStatus->setContentsMargins(0, 0, 0, 0);
    stripLayout->addWidget(m_linkStatus, 1);
    // The search runs on the reader thread for several seconds: the strip follows it closely
    // while there is something to show, and costs no wake-ups the rest of the time. A search
    // only starts with an open, which starts the tick; the tick looks again each second.
    m_statusTimer = new QTimer(this);
    m_statusTimer->setInterval(250);
    connect(m_statusTimer, &QTimer::timeout, this, &MainWindow::refreshLinkStatus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_dashboard);
    layout->addWidget(strip);
    setFixedSize(kDashboardWidth, kDashboardHeight + kMenuStripHeight);

    auto* quitKey = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Q")), this);
    quitKey->setContext(Qt::ApplicationShortcut);
    connect(quitKey, &QShortcut::activated, this, [this] { m_app.command(command::kQuit); });
    return true;
}

void MainWindow::refreshLinkStatus() {
    if (!m_linkStatus) {
        return;
    }
    const std::u16string text = m_app.linkStatusText();
    const QString shown = QString::fromStdU16String(text);
    if (shown.isEmpty()) {
        m_statusTimer->stop();
    } else if (!m_statusTimer->isActive()) {
        m_statusTimer->start();
    }
    if (m_linkStatus->text() != shown) {
        m_linkStatus->setText(shown);
        m_linkStatus->setToolTip(shown);
        setWindowTitle(shown.isEmpty() ? QStringLiteral("Velocimo")
                                       : QStringLiteral("Velocimo - ") + shown);
    }
}

bool MainWindow::followingLinkStatus() const {
    return m_statusTimer && m_statusTimer->isActive();
}

void MainWindow::showAndPaint() {
    show();
    m_dashboard->repaint();
}

void MainWindow::requestRepaint() {
    m_dashboard->update();
}

void MainWindow::startTick() {
    m_timer->start();
    if (m_statusTimer) {
        m_statusTimer->start(); // a search may be starting
    }
}

void MainWindow::stopTick() {
    m_timer->stop();
}

void MainWindow::bringToFront() {
    if (isMinimized()) {
        showNormal();
    }
    raise();
    activateWindow();
}

void MainWindow::quit(int code) {
    QCoreApplication::exit(code);
}

void MainWindow::closeWindow() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_closing) {
        m_closing = true;
        m_app.windowClosed();
    }
    event->accept();
}

void MainWindow::runOptionsDialog() {
    emit optionsDialogRequested();
}

void MainWindow::runAboutDialog() {
    emit aboutDialogRequested();
}

void MainWindow::runLoggingDialog() {
    emit loggingDialogRequested();
}

} // namespace velocimo
