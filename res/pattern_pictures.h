// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QSize>

namespace krx {

// Logical size of a pattern thumbnail in pixels.
inline constexpr QSize kPatternPictureSize{45, 31};

// The thumbnail of test pattern `code` (0x00..0x24) as the pattern looks on a screen, painted at
// `scale` device pixels per logical pixel (the image carries that device pixel ratio). A code
// without a pattern gives a null image. Cheap enough to paint all 37 once at start-up.
QImage patternPicture(int code, qreal scale = 1.0);

}  // namespace krx
