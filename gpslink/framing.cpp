#include "gpslink/framing.h"

namespace velocimo {

namespace {

// next(byte) is one read: true with a byte, false for none.
template <typename Next>
bool framePass(Next&& next, SentenceHandlers& handlers, DispatchOptions options) {
    uint8_t line[kLineBufferSize] = {};
    std::size_t length = 0;
    bool overlong = false;

    uint8_t byte = 0;
    const bool firstArrived = next(byte);
    bool got = firstArrived;
    if (!(got && byte == 0x0D)) {
        while (got && byte != 0x0A) {
            if (length < kMaxLineBytes) {
                line[length++] = byte;
            } else {
                overlong = true;
            }
            got = next(byte);
            if (got && byte == 0x0D) {
                break;
            }
        }
    }
    if (overlong) {
        return firstArrived;
    }
    line[length] = 0x0D;
    line[length + 1] = 0x0A;
    line[length + 2] = 0;

    std::size_t start = 0;
    while (start < kLineBufferSize && line[start] != '$') {
        ++start;
    }
    if (start == kLineBufferSize) {
        return firstArrived;
    }
    char16_t text[kLineBufferSize] = {};
    std::size_t n = 0;
    for (std::size_t i = start; i < kLineBufferSize && line[i] != 0; ++i) {
        text[n++] = static_cast<char16_t>(line[i]);
    }
    dispatchSentence(handlers, std::u16string_view(text, n), options);
    return firstArrived;
}

} // namespace

bool readLinePass(ByteSource& source, SentenceHandlers& handlers, DispatchOptions options) {
    return framePass([&](uint8_t& byte) { return source.readPortByte(byte); }, handlers, options);
}

bool readLinePass(ReadBuffer& buffer, SentenceHandlers& handlers, DispatchOptions options) {
    return framePass([&](uint8_t& byte) { return buffer.next(byte); }, handlers, options);
}

} // namespace velocimo
