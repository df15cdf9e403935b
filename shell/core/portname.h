#pragma once

#include "shell/core/fixedtext.h"

#include <cstdint>

namespace velocimo {

using PortNameText = FixedText<10>;

// "COM" + the port number + ":", so comPort 1 gives "COM1:".
inline void buildPortName(PortNameText& portName, int32_t comPort) {
    portName.format("COM%d:", comPort);
}

} // namespace velocimo
