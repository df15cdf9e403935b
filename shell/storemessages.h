#pragma once

// What the user is told about the settings file: lines that were skipped, a file set
// aside or left alone, and saves that did not reach the disk.

#include "settings/settingsstore.h"
#include "shell/core/platform.h"

namespace velocimo {

MessageRequest storeMessage(const StoreNotice& notice);

} // namespace velocimo
