#pragma once

// The dashboard's icons and background pictures as drawing code, so they can be drawn at any
// size: artgen writes the committed PNGs with it, and the dashboard draws its art with it
// when the window is larger than the pictures.

#include <QImage>
#include <QRgb>
#include <QSize>

#include <cstdint>
#include <optional>

class QPainter;

namespace velocimo {

inline constexpr int kArtIconSize = 32;
inline constexpr int kArtBackgroundWidth = 240;
inline constexpr int kArtBackgroundHeight = 268;

// A background picture's three colours: around the panels, inside them and their edges.
struct BackgroundColours {
    QRgb backdrop;
    QRgb face;
    QRgb rim;
};
// For the two background numbers; nothing for an icon.
std::optional<BackgroundColours> backgroundColours(int32_t resource);

// In the resource's own pixels (32 x 32, or 240 x 268 for a background); empty when unknown.
QSize artSize(int32_t resource);
// Draws the resource in its own coordinates; false (and nothing drawn) when unknown.
bool paintArt(QPainter& painter, int32_t resource);
// The resource drawn at scale device pixels per pixel, with that device pixel ratio set.
QImage drawArt(int32_t resource, double scale);

} // namespace velocimo
