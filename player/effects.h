// Effects of a placed object: its stored filter list decoded into the media filters, its blend
// mode, and whether it must be drawn into a layer of its own before it reaches the picture.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "player/media/blend.h"
#include "player/media/filters.h"
#include "player/model.h"
#include "player/timeline.h"

namespace player {

// One stored filter (id and fields as in the file) in media units: blur and distances in stage
// pixels, angles in radians, colours straight ARGB. Nothing when the fields are short or the id
// is unknown.
std::optional<media::Filter> DecodeFilter(const Filter& stored);
// The list in file order, undecodable entries left out, at most `most` of them (the Limits'
// filters per object).
std::vector<media::Filter> DecodeFilters(const std::vector<Filter>& stored, std::size_t most);

media::BlendMode BlendModeOf(const DisplayObject& object);

// Blend mode other than normal, filters, or bitmap caching: the object is composited as a whole.
bool NeedsLayer(const DisplayObject& object);

// Visibility flag 0 hides the object (and what it contains); unset means visible.
bool IsHidden(const DisplayObject& object);

}  // namespace player
