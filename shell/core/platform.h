#pragma once

// Narrow interfaces over the desktop services the logic needs. Each has one real
// implementation in the GUI and, where tests need it, a recording fake.

#include "shell/core/systemtime.h"

#include <string>

namespace velocimo {

enum class MessageIcon { Information, Question, Stop, Exclamation };
enum class MessageButtons { Ok, YesNo };
enum class MessageResult { Ok, Yes, No };

struct MessageRequest {
    std::u16string text;
    std::u16string caption = u"Velocimo";
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;
    bool topmost = false;
};

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Shows a modal box and waits for the answer. Main thread only.
    virtual MessageResult show(const MessageRequest& request) = 0;
    // Asks for a box from any thread and returns at once; the box appears on the main thread.
    virtual void post(const MessageRequest& request) = 0;
};

struct FileRequest {
    std::u16string title;         // "Sound", "Log"
    std::u16string filterName;    // "WAV Files (*.wav)"
    std::u16string filterPattern; // "*.wav"
    std::u16string initialFolder; // empty: the picker's own choice
    std::u16string proposedName;  // save dialogs only
    // Save dialogs: when set, an existing file is not questioned (it is added to) and
    // the dialog says this instead.
    std::u16string existingFileNote;
};

class FilePicker {
public:
    virtual ~FilePicker() = default;
    // A full path, or empty when the user cancelled.
    virtual std::u16string openFile(const FileRequest& request) = 0;
    virtual std::u16string saveFile(const FileRequest& request) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual SystemTime localNow() = 0;
};

} // namespace velocimo
