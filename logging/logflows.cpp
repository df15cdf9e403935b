#include "logging/logflows.h"

#include "logging/logformat.h"

namespace velocimo {

namespace {

void showNoLogFile(MessageBoxService& messages) {
    MessageRequest request;
    request.text = kNoLogFileMessage;
    request.icon = MessageIcon::Information;
    request.buttons = MessageButtons::Ok;
    request.topmost = true;
    messages.show(request);
}

} // namespace

bool chooseLogFile(Settings& settings, FilePicker& picker, Clock& clock) {
    FileRequest request;
    request.title = u"Log";
    request.filterName = u"CSV Files (*.csv)";
    request.filterPattern = u"*.csv";
    request.proposedName = proposedLogName(clock.localNow());
    request.existingFileNote = u"Records are added to the end of an existing file.";
    if (settings.logFileChosen) {
        request.initialFolder = logFolderOf(settings.logFilePath.view());
    }

    const std::u16string chosen = picker.saveFile(request);
    // A path cut to fit the settings text would name some other file.
    if (chosen.empty() || chosen.size() > PathText::kCapacity) {
        return false;
    }
    settings.logFilePath.assign(chosen);
    settings.logFileChosen = true;
    return true;
}

void toggleLogging(Settings& settings, FilePicker& picker, Clock& clock,
                   MessageBoxService& messages) {
    if (settings.loggingOn) {
        settings.loggingOn = false;
        return;
    }
    settings.loggingOn = true;
    if (settings.logFileChosen || chooseLogFile(settings, picker, clock)) {
        return;
    }
    showNoLogFile(messages);
    settings.loggingOn = false;
}

void ensureLogFile(Settings& settings, FilePicker& picker, Clock& clock,
                   MessageBoxService& messages) {
    if (!settings.loggingOn || settings.logFileChosen) {
        return;
    }
    if (!chooseLogFile(settings, picker, clock)) {
        showNoLogFile(messages);
        settings.loggingOn = false;
    }
}

} // namespace velocimo
