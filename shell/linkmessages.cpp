#include "shell/linkmessages.h"

#include <string_view>

namespace velocimo {

namespace {

constexpr std::u16string_view kConfigureFailed = u"Could not configure port!";
constexpr std::u16string_view kTimeoutsFailed = u"Could not set port timeouts!";

MessageRequest stop(std::u16string_view text, bool topmost,
                    std::u16string_view caption = u"Velocimo") {
    MessageRequest request;
    request.text = text;
    request.caption = caption;
    request.icon = MessageIcon::Stop;
    request.buttons = MessageButtons::Ok;
    request.topmost = topmost;
    return request;
}

} // namespace

std::vector<MessageRequest> openMessages(OpenResult result) {
    switch (result) {
    case OpenResult::Opened:
        return {};
    case OpenResult::OpenFailed:
        return {stop(u"Could not open port!\n\nPort may already be open", true)};
    case OpenResult::GetStateFailed:
        return {stop(u"GetCommState Error", false), stop(kConfigureFailed, true)};
    case OpenResult::SetStateFailed:
        return {stop(u"SetCommState Error", false, u"Error"), stop(kConfigureFailed, true)};
    case OpenResult::GetTimeoutsFailed:
        return {stop(kTimeoutsFailed, true)};
    case OpenResult::SetTimeoutsFailed:
        return {stop(u"SetCommTimeouts function failed", false), stop(kTimeoutsFailed, true)};
    case OpenResult::ReaderFailed:
        return {stop(u"Could not start the GPS reader!", true)};
    }
    return {};
}

MessageRequest dataFlowMessage() {
    MessageRequest request;
    request.text = u"Data flow interrupted!\n\nGPS may have disconnected, please check connection.";
    request.icon = MessageIcon::Exclamation;
    request.topmost = true;
    return request;
}

MessageRequest baudSearchFailedMessage() {
    return stop(u"No GPS data found at any baud rate", true);
}

} // namespace velocimo
