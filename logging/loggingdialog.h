#pragma once

// Log > Setup: which readings become CSV columns.

#include "logging/logfields.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;

namespace Ui {
class LoggingDialog;
}

namespace velocimo {

class LoggingDialog : public QDialog {
    Q_OBJECT
public:
    // save runs at OK, after the flags were taken from the boxes.
    LoggingDialog(LogFieldSet& fields, std::function<void()> save, QWidget* parent = nullptr);
    ~LoggingDialog() override;

    void accept() override;

private:
    std::unique_ptr<Ui::LoggingDialog> m_ui;
    LogFieldSet& m_fields;
    std::function<void()> m_save;
};

} // namespace velocimo
