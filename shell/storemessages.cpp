#include "shell/storemessages.h"

#include "shell/core/utf.h"

namespace velocimo {

namespace {

std::u16string lineList(const std::vector<int>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            text += ", ";
        }
        text += std::to_string(lines[i]);
    }
    return fromUtf8(text);
}

} // namespace

MessageRequest storeMessage(const StoreNotice& notice) {
    MessageRequest box;
    box.icon = MessageIcon::Exclamation;
    box.topmost = true;
    const std::u16string path = fromUtf8(notice.path);
    const std::u16string reason = fromUtf8(notice.reason);
    switch (notice.kind) {
    case StoreNotice::Kind::IgnoredLines:
        box.text = u"Some lines of the settings file " + path +
                   u" could not be read and were ignored (" +
                   (notice.lines.size() == 1 ? u"line " : u"lines ") + lineList(notice.lines) +
                   u").\n\nAll other settings were loaded. The lines stay in the file as "
                   u"they are.";
        break;
    case StoreNotice::Kind::SetAside:
        box.text = u"The settings file " + path + u" could not be read (" + reason +
                   u").\n\nIt was kept as " + fromUtf8(notice.backupPath) +
                   u" and the default settings are used.";
        break;
    case StoreNotice::Kind::Unreadable:
        box.text = u"The settings file " + path + u" could not be read (" + reason +
                   u").\n\nThe default settings are used; the file is left as it is and "
                   u"changes are not saved.";
        break;
    case StoreNotice::Kind::SaveFailed:
        box.text = u"Settings could not be saved to " + path + u": " + reason;
        break;
    }
    return box;
}

} // namespace velocimo
