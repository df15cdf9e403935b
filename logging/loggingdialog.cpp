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
    for (const LogFieldInfo& field : logFields()) {
        QCheckBox* box = boxOf(*this, field);
        box->setText(QString::fromUtf16(field.checkBoxText.data(),
                                        static_cast<qsizetype>(field.checkBoxText.size())));
        box->setChecked(m_fields.*field.flag);
    }
    connect(m_ui->button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->button2, &QPushButton::clicked, this, &QDialog::reject);
}

LoggingDialog::~LoggingDialog() = default;

void LoggingDialog::accept() {
    for (const LogFieldInfo& field : logFields()) {
        m_fields.*field.flag = boxOf(*this, field)->isChecked();
    }
    emit saveRequested();
    QDialog::accept();
}

} // namespace velocimo
