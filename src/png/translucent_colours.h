// The colour stored under a translucent pixel is free within its
// premultiplied value: every straight colour that premultiplies to the same
// pixel decodes to exactly what the picture shows. Choosing the one nearest
// the colour around it turns the noise that unpremultiplying leaves at low
// alpha back into smooth runs that filters and deflate can use.
#pragma once

#include <cstdint>

#include "png/reductions.h"

namespace repng::png {

// The straight channel values [low, high] that premultiply by `alpha`
// (1..255) to `premultiplied` (at most alpha).
struct ChannelRange {
  uint8_t low;
  uint8_t high;
};
ChannelRange StraightRangeOf(uint32_t premultiplied, uint32_t alpha);

// True when some pixel is neither opaque nor fully transparent.
bool HasTranslucentPixels(const StraightImage& image);

// `image` with every translucent pixel's colour moved, within its range,
// towards the colour of its more opaque neighbours: pixels are settled from
// the most opaque down, each nearest the mean of its settled neighbours. A
// colour under an alpha ramp comes back as that one colour. Opaque and fully
// transparent pixels stay as they are, so the picture premultiplies to the
// same pixels. Throws std::bad_alloc when memory runs out.
StraightImage SmoothTranslucentColours(const StraightImage& image);

}  // namespace repng::png
