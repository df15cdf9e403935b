#pragma once

// The desktop services of shell/platform.h on Qt Widgets.

#include "shell/core/platform.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace velocimo {

// Modal boxes owned by a parent window (none: free-standing). post() may be called from
// any thread: the box is queued to the thread that owns this object, the main thread.
class QtMessageBoxService : public QObject, public MessageBoxService {
    Q_OBJECT
public:
    explicit QtMessageBoxService(QObject* parent = nullptr);
    void setParentWindow(QWidget* window) { m_window = window; }

    MessageResult show(const MessageRequest& request) override;
    void post(const MessageRequest& request) override;

private:
    QPointer<QWidget> m_window;
};

// QFileDialog's own (non-native) dialogs, so they look and behave alike everywhere.
class QtFilePicker : public FilePicker {
public:
    explicit QtFilePicker(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParentWindow(QWidget* window) { m_parent = window; }
    std::u16string openFile(const FileRequest& request) override;
    std::u16string saveFile(const FileRequest& request) override;

private:
    QPointer<QWidget> m_parent;
};

// The local wall clock of the process's time zone.
class LocalClock : public Clock {
public:
    SystemTime localNow() override;
};

QString toQString(std::u16string_view text);
std::u16string toU16(const QString& text);

} // namespace velocimo
