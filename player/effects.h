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

// Filters applied to one object; the rest of a longer list is ignored. Each filter may cost a
// few passes over a layer of up to kMaxLayerPixels, so the list bounds the work per object.
inline constexpr std::size_t kMaxFiltersPerObject = 16;

// One stored filter (id and fields as in the file) in media units: blur and distances in stage
// pixels, angles in radians, colours straight ARGB. Nothing when the fields are short or the id
// is unknown.
std::optional<media::Filter> DecodeFilter(const Filter& stored);
// The list in file order, undecodable entries left out, at most kMaxFiltersPerObject.
std::vector<media::Filter> DecodeFilters(const std::vector<Filter>& stored);

media::BlendMode BlendModeOf(const DisplayObject& object);

// Blend mode other than normal, filters, or bitmap caching: the object is composited as a whole.
bool NeedsLayer(const DisplayObject& object);

// Visibility flag 0 hides the object (and what it contains); unset means visible.
bool IsHidden(const DisplayObject& object);

}  // namespace player
