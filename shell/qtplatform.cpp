#include "shell/qtplatform.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>

#include <ctime>

namespace velocimo {

QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string toU16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

QtMessageBoxService::QtMessageBoxService(QObject* parent) : QObject(parent) {}

MessageResult QtMessageBoxService::show(const MessageRequest& request) {
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (request.icon) {
    case MessageIcon::Information:
        icon = QMessageBox::Information;
        break;
    case MessageIcon::Question:
        icon = QMessageBox::Question;
        break;
    case MessageIcon::Stop:
        icon = QMessageBox::Critical;
        break;
    case MessageIcon::Exclamation:
        icon = QMessageBox::Warning;
        break;
    }
    const bool yesNo = request.buttons == MessageButtons::YesNo;
    QMessageBox box(icon, toQString(request.caption), toQString(request.text),
                    yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                    m_window.data());
    if (request.topmost) {
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    }
    const int answer = box.exec();
    if (!yesNo) {
        return MessageResult::Ok;
    }
    return answer == QMessageBox::Yes ? MessageResult::Yes : MessageResult::No;
}

void QtMessageBoxService::post(const MessageRequest& request) {
    // The request is copied into the queued call; the caller's thread never waits.
    QMetaObject::invokeMethod(
        this, [this, request] { show(request); }, Qt::QueuedConnection);
}

namespace {

QString filterOf(const FileRequest& request) {
    if (request.filterName.empty()) {
        return {};
    }
    QString name = toQString(request.filterName);
    const QString pattern = toQString(request.filterPattern);
    // "WAV Files (*.wav)" already names its pattern; Qt reads the pattern from the brackets.
    if (!pattern.isEmpty() && !name.contains(QLatin1Char('('))) {
        name += QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return name;
}

} // namespace

std::u16string QtFilePicker::openFile(const FileRequest& request) {
    const QString path = QFileDialog::getOpenFileName(
        m_parent.data(), toQString(request.title), toQString(request.initialFolder),
        filterOf(request), nullptr, QFileDialog::DontUseNativeDialog);
    return toU16(path);
}

std::u16string QtFilePicker::saveFile(const FileRequest& request) {
    QString start = toQString(request.initialFolder);
    if (!request.proposedName.empty()) {
        if (!start.isEmpty() && !start.endsWith(QLatin1Char('/'))) {
            start += QLatin1Char('/');
        }
        start += toQString(request.proposedName);
    }
    QFileDialog dialog(m_parent.data(), toQString(request.title), start, filterOf(request));
    dialog.setObjectName(QStringLiteral("saveFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!request.existingFileNote.empty()) {
        // Asking to "replace" a file that is only added to would tell the user the
        // opposite of what happens.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        auto* note = new QLabel(toQString(request.existingFileNote), &dialog);
        note->setObjectName(QStringLiteral("existingFileNote"));
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return toU16(dialog.selectedFiles().constFirst());
}

SystemTime LocalClock::localNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    SystemTime t;
    t.year = static_cast<uint16_t>(local.tm_year + 1900);
    t.month = static_cast<uint16_t>(local.tm_mon + 1);
    t.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
    t.day = static_cast<uint16_t>(local.tm_mday);
    t.hour = static_cast<uint16_t>(local.tm_hour);
    t.minute = static_cast<uint16_t>(local.tm_min);
    t.second = static_cast<uint16_t>(local.tm_sec);
    t.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
    return t;
}

} // namespace velocimo
