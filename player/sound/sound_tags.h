// Reads the sound tags' bodies (DefineSound, StartSound, StartSound2, SoundStreamHead/2) into
// the structs of sound_model.h. Every length is checked against the body; a body that cannot
// be read gives nothing and a reason.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "player/sound/sound_model.h"

namespace sound {

enum SoundTagCode : std::uint16_t {
    kTagDefineSound = 14,
    kTagStartSound = 15,
    kTagSoundStreamHead = 18,
    kTagSoundStreamBlock = 19,
    kTagSoundStreamHead2 = 45,
    kTagStartSound2 = 89,
};

std::optional<SoundDefinition> ReadDefineSound(std::span<const std::uint8_t> body,
                                               std::string* problem);
// StartSound (code 15) or StartSound2 (code 89).
std::optional<StartSound> ReadStartSound(std::uint16_t code, std::span<const std::uint8_t> body,
                                         std::string* problem);
std::optional<StreamHead> ReadStreamHead(std::span<const std::uint8_t> body,
                                         std::string* problem);

}  // namespace sound
