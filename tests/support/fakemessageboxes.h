#pragma once

// Message boxes for tests: every request is kept, and a yes/no question gets the answer
// the test set (an OK box can only answer OK).

#include "shell/core/platform.h"

#include <vector>

namespace velocimo {

class FakeMessageBoxes : public MessageBoxService {
public:
    MessageResult show(const MessageRequest& request) override {
        shown.push_back(request);
        return request.buttons == MessageButtons::YesNo ? answer : MessageResult::Ok;
    }
    void post(const MessageRequest& request) override { posted.push_back(request); }

    MessageResult answer = MessageResult::Yes;
    std::vector<MessageRequest> shown;
    std::vector<MessageRequest> posted;
};

} // namespace velocimo
