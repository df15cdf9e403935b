#include "settings/aboutdialog.h"

#include "ui_aboutdialog.h"

#include <QIcon>

namespace velocimo {

const char* const kDisclaimerText =
    "GPS navigation information can contain errors. The makers of Velocimo therefore give "
    "no guarantee that the information Velocimo provides is accurate or valid.\r\n\r\n"
    "You use this information at your own risk. Under no circumstances may Velocimo be "
    "relied upon for safety-of-life applications.\r\n\r\n"
    "The makers of Velocimo accept no liability of any kind, including liability for "
    "consequential and incidental damages, arising from the use of Velocimo or from "
    "reliance on it.";

AboutDialog::AboutDialog(const QIcon& icon, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AboutDialog>()) {
    m_ui->setupUi(this);
    if (!icon.isNull()) {
        m_ui->icon112->setPixmap(icon.pixmap(m_ui->icon112->size()));
    }
    // The edit shows line breaks, so the CR of each CR LF goes.
    m_ui->edit1018->setPlainText(QString::fromUtf8(kDisclaimerText).remove(QLatin1Char('\r')));
    m_ui->edit1018->moveCursor(QTextCursor::Start);
    m_ui->labelName->setWordWrap(true);
    connect(m_ui->button1, &QPushButton::clicked, this, &QDialog::accept);
}

AboutDialog::~AboutDialog() = default;

} // namespace velocimo
