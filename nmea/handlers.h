#pragma once

// The three sentence handlers and the coordinate formats they fill.

#include "shell/core/fixsound.h"
#include "shell/core/liverecord.h"
#include "shell/core/navstate.h"
#include "trip/timeofday.h"

#include <cstdint>
#include <string_view>

namespace velocimo {

// What a handler needs besides the record. Both pointers may be null.
struct DecodeEnv {
    DecodeOptions options;
    FixSoundSink* sounds = nullptr;
    TimeZoneSource* zone = nullptr;
};

double toDecimalDegrees(double x);
Coordinate decodeCoordinate(double x);
void applyHemisphere(Coordinate& c, std::u16string_view letterText, char16_t negativeLetter,
                     const char* dmmFormat);

// Numbers as NMEA writes them: optional sign, digits, optional point and digits. Anything else
// reads as its valid leading part, or 0.
double readNumber(std::u16string_view field);
int32_t readInteger(std::u16string_view field);

// Cuts a sentence at every comma; field 0 is the sentence name. Returns the number of fields
// found (at most maxFields; the rest of the text stays in the last one).
std::size_t splitFields(std::u16string_view sentence, std::u16string_view* fields,
                        std::size_t maxFields);

void handleRmc(NavState& nav, const DecodeEnv& env, std::u16string_view sentence);
void handleGga(NavState& nav, const DecodeEnv& env, std::u16string_view sentence);
void handleGsa(NavState& nav, const DecodeEnv& env, std::u16string_view sentence);
void updateElevation(NavState& nav, const DecodeOptions& options, double altitude);

// The reader's view of the decoder: one call per dispatched line.
class SentenceHandlers {
public:
    virtual ~SentenceHandlers() = default;
    virtual void handleRmc(std::u16string_view sentence) = 0;
    virtual void handleGga(std::u16string_view sentence) = 0;
    virtual void handleGsa(std::u16string_view sentence) = 0;
};

// Which lines reach the handlers. The defaults take "$GPRMC", "$GPGGA" and "$GPGSA" by their
// first six code units, checksum or not.
struct DispatchOptions {
    // Also the other satellite systems' talkers (GL, GA, GB, GI, GQ, GN, BD, QZ).
    bool anyTalker = false;
    // Only lines that end in a checksum matching their text.
    bool verifyChecksum = false;
};

// True for a line that ends (before any CR/LF) in '*' and two hex digits equal to the XOR
// of the code units between its leading '$' and that '*'.
bool checksumMatches(std::u16string_view text);

// Calls the handler the line's tag names, if the options let the line through.
void dispatchSentence(SentenceHandlers& handlers, std::u16string_view text,
                      DispatchOptions options = {});

// Decodes into a live record, one locked update per sentence.
class LiveDecoder : public SentenceHandlers {
public:
    LiveDecoder(LiveRecord& record, FixSoundSink* sounds, TimeZoneSource* zone)
        : m_record(record), m_sounds(sounds), m_zone(zone) {}
    void handleRmc(std::u16string_view sentence) override;
    void handleGga(std::u16string_view sentence) override;
    void handleGsa(std::u16string_view sentence) override;

private:
    DecodeEnv env() const { return {m_record.decodeOptions(), m_sounds, m_zone}; }
    LiveRecord& m_record;
    FixSoundSink* m_sounds;
    TimeZoneSource* m_zone;
};

} // namespace velocimo
