#pragma once

// Where each art resource number lives in the Qt resource.

#include <cstdint>

namespace velocimo {

// ":/art/..." for a known number, nullptr otherwise.
const char* artResourcePath(int32_t resource);

} // namespace velocimo
