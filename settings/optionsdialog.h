#pragma once

// File > Options: the limits, scales, offset, port, units, sounds and switches.

#include "settings/settings.h"
#include "shell/core/platform.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string_view>

namespace Ui {
class OptionsDialog;
}

namespace velocimo {

// Index of the sound list.
enum SoundSlot { SoundFix = 0, SoundLostFix = 1, SoundWarn = 2, SoundOver = 3 };

// What OK and the sound buttons set in motion elsewhere in the program.
struct OptionsActions {
    std::function<void(std::u16string_view path)> play; // ">": stop the sound, start path
    std::function<void()> unitsChanged;                 // after OK set the units
    std::function<void()> portChanged;                  // after OK set the port number
    std::function<void()> save;                         // last step of OK
};

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    OptionsDialog(Settings& settings, FilePicker& picker, OptionsActions actions,
                  QWidget* parent = nullptr);
    ~OptionsDialog() override;

    void accept() override;
    // The sound list's selection, -1 for none.
    int selectedSlot() const;
    // "..." for a slot: the open dialog, and on a chosen file the slot's path at once.
    void chooseSoundFile(int slot);

private:
    PathText* soundField(int slot);
    void showSelectedPath();

    std::unique_ptr<Ui::OptionsDialog> m_ui;
    Settings& m_settings;
    FilePicker& m_picker;
    OptionsActions m_actions;
};

} // namespace velocimo
