#include "resources/art/artnames.h"

namespace velocimo {

const char* artResourcePath(int32_t resource) {
    switch (resource) {
    case 112:
        return ":/art/icon-112-program.png";
    case 115:
        return ":/art/icon-115-sun.png";
    case 116:
        return ":/art/icon-116-moon.png";
    case 127:
        return ":/art/icon-127-nofix.png";
    case 129:
        return ":/art/icon-129-speedgraph.png";
    case 130:
        return ":/art/icon-130-odometer.png";
    case 132:
        return ":/art/icon-132-mountain.png";
    case 135:
        return ":/art/icon-135-compass.png";
    case 137:
        return ":/art/bitmap-137-night.png";
    case 138:
        return ":/art/bitmap-138-day.png";
    case 142:
        return ":/art/icon-142-fix3.png";
    case 143:
        return ":/art/icon-143-fix0.png";
    case 144:
        return ":/art/icon-144-fix1.png";
    case 145:
        return ":/art/icon-145-fix2.png";
    default:
        return nullptr;
    }
}

} // namespace velocimo
