#pragma once

// File > About: the icon, the name with its version and the disclaimer.

#include <QDialog>

#include <memory>

namespace Ui {
class AboutDialog;
}

namespace velocimo {

// Three paragraphs: no accuracy guarantee; own risk, never for safety of life; no liability.
extern const char* const kDisclaimerText;

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    // icon: the program's icon (may be null, then the place stays empty).
    explicit AboutDialog(const QIcon& icon, QWidget* parent = nullptr);
    ~AboutDialog() override;

    // Only OK closes the box: Escape and the close button do nothing.
    void reject() override {}

private:
    std::unique_ptr<Ui::AboutDialog> m_ui;
};

} // namespace velocimo
