// Script filter objects (flash.filters) as the media units' pixel filters, for the bitmap
// methods that run a filter over a script's pixels.
#pragma once

#include <optional>

#include "player/media/filters.h"
#include "player/script/value.h"

namespace player::script {

// The pixel filter a filter object stands for, in pixels and radians; nothing for a value that
// is no filter or for a kind the media units do not draw (the displacement map).
std::optional<media::Filter> MediaFilterOf(const Value& v);

}  // namespace player::script
