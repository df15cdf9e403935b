#pragma once

// Log > Setup: which readings become CSV columns, and what is written beside the CSV file.

#include "logging/logfields.h"
#include "settings/settings.h"

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
    // Without settings the GPX and recording boxes are not shown.
    explicit LoggingDialog(LogFieldSet& fields, QWidget* parent = nullptr);
    LoggingDialog(LogFieldSet& fields, Settings& settings, QWidget* parent = nullptr);
    ~LoggingDialog() override;

    void accept() override;

signals:
    // At OK, after the flags (and TrackLog, RawLog) were taken from the boxes.
    void saveRequested();

private:
    std::unique_ptr<Ui::LoggingDialog> m_ui;
    LogFieldSet& m_fields;
    Settings* m_settings = nullptr;
};

} // namespace velocimo
