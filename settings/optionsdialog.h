#pragma once

// File > Options: the limits, scales, offset, port, units, sounds and switches.

#include "settings/settings.h"
#include "shell/core/platform.h"

#include <QDialog>

#include <memory>
#include <string>
#include <string_view>

namespace Ui {
class OptionsDialog;
}

namespace velocimo {

// Index of the sound list.
enum SoundSlot { SoundFix = 0, SoundLostFix = 1, SoundWarn = 2, SoundOver = 3 };

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    OptionsDialog(Settings& settings, FilePicker& picker, QWidget* parent = nullptr);
    ~OptionsDialog() override;

    void accept() override;
    // The sound list's selection, -1 for none.
    int selectedSlot() const;
    // "..." for a slot: the open dialog, and on a chosen file the slot's path at once.
    void chooseSoundFile(int slot);

signals:
    // What OK and the sound buttons set in motion elsewhere; connect them directly, since
    // OK reads the settings again right after each one.
    void soundPlayRequested(const std::u16string& path); // ">": stop the sound, start path
    void unitsChanged();                                 // after OK set the units
    void portChanged();                                  // after OK set the port number
    void saveRequested();                                // last step of OK

private:
    PathText* soundField(int slot);
    void showSelectedPath();

    std::unique_ptr<Ui::OptionsDialog> m_ui;
    Settings& m_settings;
    FilePicker& m_picker;
};

} // namespace velocimo
