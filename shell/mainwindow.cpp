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
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <cstdint>
#include <optional>

namespace velocimo {

namespace {

const QSize kDefaultWindowSize(kDashboardWidth, kDashboardHeight + kMenuStripHeight);

} // namespace

DashboardWidget::DashboardWidget(DashboardSource& source, App& app, QWidget* parent)
    : QWidget(parent), m_source(source), m_app(app) {
    setMinimumSize(kDashboardWidth, kDashboardHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Every pixel comes from the back buffer or the backdrop: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize DashboardWidget::sizeHint() const {
    return QSize(kDashboardWidth, kDashboardHeight);
}

DashboardViewport DashboardWidget::viewport() const {
    const qreal ratio = devicePixelRatioF();
    return fitDashboard(static_cast<int32_t>(std::lround(width() * ratio)),
                        static_cast<int32_t>(std::lround(height() * ratio)),
                        m_app.settings().mirror);
}

void DashboardWidget::paintEvent(QPaintEvent*) {
    const DashboardViewport view = viewport();
    const QImage& picture = m_source.render(m_app.takeTickRepaint(), view.scale);
    const qreal ratio = devicePixelRatioF();
    const QRectF target(view.left / ratio, view.top / ratio, view.width / ratio,
                        view.height / ratio);
    QPainter painter(this);
    if (target != QRectF(rect())) {
        painter.fillRect(rect(), m_source.backdrop());
    }
    // Pixel for pixel: the picture was drawn at the size it is shown.
    const QRectF source(0, 0, picture.width(), picture.height());
    if (view.mirrored) {
        painter.drawImage(target, picture.mirrored(true, false), source);
    } else {
        painter.drawImage(target, picture, source);
    }
}

void DashboardWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QPointF at = event->position() * devicePixelRatioF();
    const std::optional<Point> p =
        dashboardPixel(viewport(), static_cast<int32_t>(std::floor(at.x())),
                       static_cast<int32_t>(std::floor(at.y())));
    if (p) {
        emit tapped(p->x, p->y);
    }
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
    // Five menus and the link's status share 240 pixels: the buttons are only as wide as
    // their names, without the drop-down arrow.
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(button->text()) + 8);
    return button;
}

QMenu* MainWindow::makeViewMenu() {
    auto* view = new QMenu(this);
    m_fullScreen = view->addAction(QStringLiteral("Full Screen"));
    m_fullScreen->setCheckable(true);
    m_fullScreen->setShortcut(QKeySequence(Qt::Key_F11));
    // Also on the window, so F11 works while the menu is closed.
    addAction(m_fullScreen);
    connect(m_fullScreen, &QAction::triggered, this, [this] { setFullScreen(!isFullScreen()); });
    m_mirror = addItem(view, command::kViewMirror, "Mirror for Windscreen");
    m_mirror->setCheckable(true);
    m_autoNight = addItem(view, command::kViewAutoNight, "Automatic Night");
    m_autoNight->setCheckable(true);
    connect(view, &QMenu::aboutToShow, this, [this] {
        m_fullScreen->setChecked(isFullScreen());
        m_mirror->setChecked(m_app.settings().mirror);
        m_autoNight->setChecked(m_app.settings().autoNight);
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { setFullScreen(false); });
    return view;
}

bool MainWindow::createWindow() {
    auto* strip = new QWidget(this);
    m_strip = strip;
    strip->setObjectName(QStringLiteral("menuStrip"));
    strip->setFixedHeight(kMenuStripHeight);
    strip->setMinimumWidth(kDashboardWidth);
    strip->installEventFilter(this);
    strip->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
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
    m_buttons[4] = addMenu(strip, command::kViewMenu, "View", makeViewMenu());
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
    m_linkStatus->installEventFilter(this);
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
    layout->addWidget(m_dashboard, 1);
    layout->addWidget(strip);
    setMinimumSize(kDefaultWindowSize);
    resize(kDefaultWindowSize);

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
    const Settings& s = m_app.settings();
    if (s.windowWidth > 0 || s.windowHeight > 0) {
        QSize size(s.windowWidth > 0 ? s.windowWidth : kDefaultWindowSize.width(),
                   s.windowHeight > 0 ? s.windowHeight : kDefaultWindowSize.height());
        // A size kept from a larger screen.
        if (const QScreen* shown = screen()) {
            size = size.boundedTo(shown->availableGeometry().size());
        }
        resize(size.expandedTo(kDefaultWindowSize));
    }
    if (s.fullScreen) {
        showFullScreen();
    } else {
        show();
    }
    m_dashboard->repaint();
}

void MainWindow::setFullScreen(bool on) {
    m_app.settings().fullScreen = on;
    if (on == isFullScreen()) {
        return;
    }
    if (on) {
        showFullScreen();
    } else {
        showNormal();
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    rememberSize();
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isVisible()) {
        // The window manager may change it too.
        m_app.settings().fullScreen = isFullScreen();
        rememberSize();
    }
}

void MainWindow::rememberSize() {
    if (!isVisible() ||
        (windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized | Qt::WindowMinimized)) != 0) {
        return;
    }
    // The dashboard's own size stays 0, as if never resized.
    const bool standard = size() == kDefaultWindowSize;
    m_app.settings().windowWidth = standard ? 0 : width();
    m_app.settings().windowHeight = standard ? 0 : height();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && isFullScreen() &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        setFullScreen(false);
    }
    return QWidget::eventFilter(watched, event);
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
