#include "nmea/handlers.h"

#include "shell/core/units.h"
#include "trip/distance.h"
#include "trip/readouts.h"

#include <algorithm>

namespace velocimo {

namespace {

// Enough for every field any of the three sentences defines; the rest stays in the last one.
constexpr std::size_t kMaxFields = 24;

// The line end is not part of the data: without this a sentence cut short would leave a CR
// in the texts copied from its last field.
std::u16string_view withoutLineEnd(std::u16string_view sentence) {
    while (!sentence.empty() && (sentence.back() == u'\r' || sentence.back() == u'\n')) {
        sentence.remove_suffix(1);
    }
    return sentence;
}

struct Fields {
    explicit Fields(std::u16string_view sentence)
        : count(splitFields(withoutLineEnd(sentence), items, kMaxFields)) {}
    bool has(std::size_t i) const { return i < count; }
    std::u16string_view operator[](std::size_t i) const { return items[i]; }

    std::u16string_view items[kMaxFields];
    std::size_t count;
};

} // namespace

void handleRmc(NavState& nav, const DecodeEnv& env, std::u16string_view sentence) {
    const bool wasValid = nav.fixValid;
    const Fields f(sentence);
    bool latitudeDecoded = false;
    bool longitudeDecoded = false;

    if (f.has(1)) {
        nav.utcTime = readNumber(f[1]);
    }
    if (f.has(2)) {
        nav.dataStatusText.assign(f[2]);
    }
    if (f.has(3)) {
        nav.prevLatitude = nav.latitude;
        nav.latitude = decodeCoordinate(readNumber(f[3]));
        latitudeDecoded = true;
    }
    if (f.has(4)) {
        applyHemisphere(nav.latitude, f[4], u'S', "%5.5lf");
    }
    if (f.has(5)) {
        nav.prevLongitude = nav.longitude;
        nav.longitude = decodeCoordinate(readNumber(f[5]));
        longitudeDecoded = true;
    }
    if (f.has(6)) {
        applyHemisphere(nav.longitude, f[6], u'W', "%5.6lf");
    }
    if (f.has(7)) {
        nav.speedKnots = readNumber(f[7]);
    }
    if (f.has(8)) {
        nav.course = readNumber(f[8]);
    }
    if (f.has(9)) {
        nav.utcDate = readInteger(f[9]);
    }
    if (f.has(10)) {
        nav.magneticVariation = readNumber(f[10]);
        nav.variationText.format("%3.0lf\u00b0", nav.magneticVariation);
    }

    updateClock(nav, env.zone, nav.utcTime, nav.utcDate);

    if (nav.dataStatusText[0] == u'A') {
        nav.fixValid = true;
        nav.dataValidText.assignUtf8("Yes");
        updateSpeed(nav, env.options.units, nav.speedKnots);
        updateCompass(nav, nav.course);
        updateDistance(nav, env.options.units);
        // A position kept from an earlier sentence already carries its letter.
        if (longitudeDecoded) {
            nav.longitude.dmsText.append(nav.longitude.hemisphereText);
        }
        if (latitudeDecoded) {
            nav.latitude.dmsText.append(nav.latitude.hemisphereText);
        }
    } else {
        nav.dataValidText.assignUtf8("No");
        nav.fixValid = false;
    }

    if (env.sounds != nullptr && wasValid != nav.fixValid) {
        if (nav.fixValid) {
            env.sounds->fixGained();
        } else {
            env.sounds->fixLost();
        }
    }
}

void handleGga(NavState& nav, const DecodeEnv& env, std::u16string_view sentence) {
    const Fields f(sentence);
    if (f.has(6)) {
        nav.fixQuality = readInteger(f[6]);
        switch (nav.fixQuality) {
        case 0:
            nav.fixQualityText.assignUtf8("No GPS fix");
            break;
        case 1:
            nav.fixQualityText.assignUtf8("GPS fix");
            break;
        case 2:
            nav.fixQualityText.assignUtf8("Differential GPS fix");
            break;
        default:
            break;
        }
    }
    if (f.has(7)) {
        nav.satellites = readInteger(f[7]);
        nav.satellitesText.assign(f[7]);
    }
    if (f.has(8)) {
        nav.hdop = readNumber(f[8]);
        nav.hdopText.assign(f[8]);
    }
    if (f.has(9)) {
        nav.elevationRaw = readNumber(f[9]);
    }
    if (f.has(10)) {
        nav.elevationUnitText.assign(f[10]);
        updateElevation(nav, env.options, nav.elevationRaw);
    }
}

void handleGsa(NavState& nav, const DecodeEnv&, std::u16string_view sentence) {
    const Fields f(sentence);
    if (!f.has(2)) {
        return;
    }
    nav.fixDimension = readInteger(f[2]);
    switch (nav.fixDimension) {
    case 1:
        nav.fixDimensionText.clear();
        break;
    case 2:
        nav.fixDimensionText.assignUtf8(" (2D)");
        break;
    case 3:
        nav.fixDimensionText.assignUtf8(" (3D)");
        break;
    default:
        break;
    }
}

void updateElevation(NavState& nav, const DecodeOptions& options, double altitude) {
    if (altitude > 1000000.0) {
        altitude = 1000000.0;
    }
    FixedText<3> label;
    if (nav.elevationUnitText[0] == u'M') {
        if (unitSystemOrKnots(options.units) == UnitSystem::Mph) {
            nav.elevation = altitude * 3.2808399;
            label.assignUtf8("ft");
        } else {
            nav.elevation = altitude;
            label.assignUtf8("m");
        }
    } else {
        nav.elevation = altitude;
        label.assign(nav.elevationUnitText);
    }
    if (nav.fixValid) {
        nav.elevation -= static_cast<double>(options.elevationOffset);
    }
    formatReadout(nav.elevationText, nav.elevation);
    nav.elevationText.append(label);
}

namespace {

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    return -1;
}

// The talkers whose RMC, GGA and GSA mean the same as a GPS receiver's. $P... is
// proprietary and never one of them.
bool knownTalker(std::u16string_view talker) {
    static constexpr std::u16string_view kTalkers[] = {u"GP", u"GL", u"GA", u"GB", u"GI",
                                                       u"GQ", u"GN", u"BD", u"QZ"};
    for (std::u16string_view t : kTalkers) {
        if (talker == t) {
            return true;
        }
    }
    return false;
}

} // namespace

bool checksumMatches(std::u16string_view text) {
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n')) {
        text.remove_suffix(1);
    }
    if (text.size() < 4 || text.front() != u'$' || text[text.size() - 3] != u'*') {
        return false;
    }
    const int high = hexValue(text[text.size() - 2]);
    const int low = hexValue(text[text.size() - 1]);
    if (high < 0 || low < 0) {
        return false;
    }
    unsigned sum = 0;
    for (char16_t c : text.substr(1, text.size() - 4)) {
        sum ^= c;
    }
    return sum == static_cast<unsigned>(high * 16 + low);
}

void dispatchSentence(SentenceHandlers& handlers, std::u16string_view text,
                      DispatchOptions options) {
    if (options.verifyChecksum) {
        // '$' only ever starts a sentence: one inside a line means bytes were lost there (an
        // overrun, a flushed port), joining the start of one sentence to all of the next. The
        // XOR cannot tell such a join from a whole sentence one time in 256; the last
        // sentence is whole and its own checksum decides.
        text = text.substr(std::min(text.size(), text.rfind(u'$')));
        if (!checksumMatches(text)) {
            return;
        }
    }
    std::u16string_view type;
    if (options.anyTalker) {
        if (text.size() < 6 || text[0] != u'$' || !knownTalker(text.substr(1, 2))) {
            return;
        }
        type = text.substr(3, 3);
    } else {
        const std::u16string_view tag = text.substr(0, 6);
        if (tag.substr(0, 3) != u"$GP") {
            return;
        }
        type = tag.substr(3);
    }
    if (type == u"RMC") {
        handlers.handleRmc(text);
    } else if (type == u"GGA") {
        handlers.handleGga(text);
    } else if (type == u"GSA") {
        handlers.handleGsa(text);
    }
}

void LiveDecoder::handleRmc(std::u16string_view sentence) {
    const DecodeEnv e = env();
    m_record.update([&](NavState& nav) { velocimo::handleRmc(nav, e, sentence); });
}

void LiveDecoder::handleGga(std::u16string_view sentence) {
    const DecodeEnv e = env();
    m_record.update([&](NavState& nav) { velocimo::handleGga(nav, e, sentence); });
}

void LiveDecoder::handleGsa(std::u16string_view sentence) {
    const DecodeEnv e = env();
    m_record.update([&](NavState& nav) { velocimo::handleGsa(nav, e, sentence); });
}

} // namespace velocimo
