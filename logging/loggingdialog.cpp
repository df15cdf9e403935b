#include "logging/loggingdialog.h"

#include "ui_loggingdialog.h"

#include <array>

namespace velocimo {

namespace {

using Flag = bool LogFieldSet::*;

// The boxes in column order, each with its flag.
std::array<std::pair<QCheckBox*, Flag>, 9> bindings(Ui::LoggingDialog& ui) {
    return {{{ui.check1026, &LogFieldSet::logPositionDec},
             {ui.check1027, &LogFieldSet::logPositionDmm},
             {ui.check1028, &LogFieldSet::logElevation},
             {ui.check1029, &LogFieldSet::logSpeedCurrent},
             {ui.check1030, &LogFieldSet::logSpeedAverage},
             {ui.check1032, &LogFieldSet::logDistanceTrip},
             {ui.check1033, &LogFieldSet::logDistanceTotal},
             {ui.check1034, &LogFieldSet::logSatellites},
             {ui.check1035, &LogFieldSet::logHdop}}};
}

} // namespace

LoggingDialog::LoggingDialog(LogFieldSet& fields, std::function<void()> save, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::LoggingDialog>()), m_fields(fields),
      m_save(std::move(save)) {
    m_ui->setupUi(this);
    for (const auto& [box, flag] : bindings(*m_ui)) {
        box->setChecked(m_fields.*flag);
    }
    connect(m_ui->button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->button2, &QPushButton::clicked, this, &QDialog::reject);
}

LoggingDialog::~LoggingDialog() = default;

void LoggingDialog::accept() {
    for (const auto& [box, flag] : bindings(*m_ui)) {
        m_fields.*flag = box->isChecked();
    }
    if (m_save) {
        m_save();
    }
    QDialog::accept();
}

} // namespace velocimo
