#pragma once

// Log > Setup: which readings become CSV columns.

#include "logging/logfields.h"

#include <QDialog>

#include <memory>

class QCheckBox;

namespace Ui {
class LoggingDialog;
}

namespace velocimo {

class LoggingDialog : public QDialog {
    Q_OBJECT
public:
    explicit LoggingDialog(LogFieldSet& fields, QWidget* parent = nullptr);
    ~LoggingDialog() override;

    void accept() override;

signals:
    // At OK, after the flags were taken from the boxes.
    void saveRequested();

private:
    std::unique_ptr<Ui::LoggingDialog> m_ui;
    LogFieldSet& m_fields;
};

} // namespace velocimo
