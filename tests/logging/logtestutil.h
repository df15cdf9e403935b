#pragma once

// A filled-in record and the platform fakes the log tests share.

#include "shell/core/navstate.h"
#include "shell/core/platform.h"

#include <vector>

namespace velocimo::testutil {

inline NavState sampleNav() {
    NavState nav;
    resetNavState(nav);
    nav.latitude.decText.assignUtf8("48.123456");
    nav.longitude.decText.assignUtf8("-11.654321");
    nav.latitude.dmmText.assignUtf8("4807.40736");
    nav.longitude.dmmText.assignUtf8("-1139.259260");
    nav.elevationText.assignUtf8("521.0m");
    nav.speedText.assignUtf8(" 12.5");
    nav.averageSpeedText.assignUtf8("9.8");
    nav.tripDistanceText.assignUtf8("3.141");
    nav.totalDistanceText.assignUtf8("001234");
    nav.satellitesText.assignUtf8("07");
    nav.hdopText.assignUtf8("1.2");
    return nav;
}

struct FakePicker : FilePicker {
    std::u16string answer;
    std::vector<FileRequest> requests;
    std::u16string openFile(const FileRequest& r) override { return requests.push_back(r), answer; }
    std::u16string saveFile(const FileRequest& r) override { return requests.push_back(r), answer; }
};
struct FakeClock : Clock {
    SystemTime localNow() override {
        SystemTime t;
        t.year = 2005, t.month = 6, t.day = 14, t.hour = 9, t.minute = 30, t.second = 5;
        return t;
    }
};
struct FakeMessages : MessageBoxService {
    std::vector<MessageRequest> shown;
    MessageResult show(const MessageRequest& r) override {
        shown.push_back(r);
        return MessageResult::Ok;
    }
    void post(const MessageRequest& r) override { shown.push_back(r); }
};

} // namespace velocimo::testutil
