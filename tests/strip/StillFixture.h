#pragma once

#include "images/CapturedImage.h"

#include <QColor>
#include <QImage>

#include <array>
#include <cstdint>
#include <vector>

namespace vistrel::test {

// The four colours of the quadrant fixture: top left, top right, bottom left, bottom right.
// None is black, which a thumbnail button would show as transparent.
inline const std::array<QColor, 4> kQuadrantColours = {QColor(220, 40, 40), QColor(40, 200, 60),
                                                        QColor(40, 60, 220), QColor(230, 220, 40)};

// A picture with four differently coloured quadrants: every flip and rotation of it looks different.
QImage QuadrantPicture(int width, int height);

// The picture encoded as JPEG by libjpeg-turbo (4:4:4, quality 95).
std::vector<std::uint8_t> EncodeJpeg(const QImage& picture);

// A strip entry holding a JPEG still of the picture, as the window makes one when a still arrives.
CapturedImage MakeEntry(const std::vector<std::uint8_t>& bytes, int width, int height,
                        std::int32_t filmSize = 0, std::int32_t resolution = 0);

// The colour a quadrant (0 TL, 1 TR, 2 BL, 3 BR) of the quadrant picture shows after it has been
// flipped left to right when mirrored and then turned clockwise by rotation quarter turns.
QColor ExpectedQuadrant(int mirrored, int rotation, int quadrant);

// The rectangle of the picture inside a rendering: everything that is not black band.
QRect PictureArea(const QImage& rendering);

// Colour of a quadrant's centre within an area of an image.
QColor QuadrantColour(const QImage& image, const QRect& area, int quadrant);

bool Near(const QColor& a, const QColor& b, int tolerance = 40);

} // namespace vistrel::test
