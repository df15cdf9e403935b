#pragma once

// What the user is told about the serial link: the boxes a failed open shows and the one
// posted when the data flow stops.

#include "gpslink/seriallink.h"
#include "shell/core/platform.h"

#include <vector>

namespace velocimo {

// The boxes for an open that ended with result, in the order they are shown; none when
// the port opened. A failed step gets its own box before the summary.
std::vector<MessageRequest> openMessages(OpenResult result);

// Posted from the reader thread once the watchdog has dropped the connection.
MessageRequest dataFlowMessage();

// Posted from the reader thread when the automatic baud rate found nothing.
MessageRequest baudSearchFailedMessage();

} // namespace velocimo
