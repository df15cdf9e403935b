#include "logging/loggingdialog.h"

#include "ui_loggingdialog.h"

namespace velocimo {

namespace {

QCheckBox* boxOf(QDialog& dialog, const LogFieldInfo& field) {
    return dialog.findChild<QCheckBox*>(QStringLiteral("check%1").arg(field.controlId));
}

} // namespace

LoggingDialog::LoggingDialog(LogFieldSet& fields, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::LoggingDialog>()), m_fields(fields) {
    m_ui->setupUi(this);
    m_ui->checkTrackLog->hide();
    m_ui->checkRawLog->hide();
    for (const LogFieldInfo& field : logFields()) {
        QCheckBox* box = boxOf(*this, field);
        box->setText(QString::fromUtf16(field.checkBoxText.data(),
                                        static_cast<qsizetype>(field.checkBoxText.size())));
        box->setChecked(m_fields.*field.flag);
    }
    connect(m_ui->button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->button2, &QPushButton::clicked, this, &QDialog::reject);
}

LoggingDialog::LoggingDialog(LogFieldSet& fields, Settings& settings, QWidget* parent)
    : LoggingDialog(fields, parent) {
    m_settings = &settings;
    m_ui->checkTrackLog->setChecked(settings.trackLog);
    m_ui->checkRawLog->setChecked(settings.rawLog);
    m_ui->checkTrackLog->show();
    m_ui->checkRawLog->show();
}

LoggingDialog::~LoggingDialog() = default;

void LoggingDialog::accept() {
    for (const LogFieldInfo& field : logFields()) {
        m_fields.*field.flag = boxOf(*this, field)->isChecked();
    }
    if (m_settings != nullptr) {
        m_settings->trackLog = m_ui->checkTrackLog->isChecked();
        m_settings->rawLog = m_ui->checkRawLog->isChecked();
    }
    emit saveRequested();
    QDialog::accept();
}

} // namespace velocimo
