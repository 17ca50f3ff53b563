#include "player/buttons.h"

#include "player/records.h"
#include "player/tags.h"

namespace player {
namespace {

// Records past this many are dropped: a button's states hold a handful of characters.
constexpr std::size_t kMaxButtonRecords = 4096;

// One BUTTONRECORD; false at the end flag or when the record breaks off.
bool ReadRecord(BitReader& in, int version, ButtonRecord* r) {
    const std::uint8_t flags = in.U8();
    if (in.Failed() || flags == 0) return false;
    const bool hasBlendMode = version == 2 && (flags & 0x20);
    const bool hasFilters = version == 2 && (flags & 0x10);
    r->hitTest = flags & 0x08;
    r->down = flags & 0x04;
    r->over = flags & 0x02;
    r->up = flags & 0x01;
    r->characterId = in.U16();
    r->depth = in.U16();
    r->matrix = ReadMatrix(in);
    if (version == 2) r->colorTransform = ReadColorTransform(in, true);
    if (hasFilters) r->filters = ReadFilters(in);
    if (hasBlendMode) r->blendMode = in.U8();
    return !in.Failed();
}

}  // namespace

bool ReadButton(BitReader& in, int version, ModelBudget& budget, Button* button) {
    button->version = version;
    button->id = in.U16();
    if (in.Failed()) return false;
    if (version == 2) {
        in.U8();   // track as menu
        in.U16();  // offset of the condition actions, which are not run
    }
    ButtonRecord record;
    while (button->records.size() < kMaxButtonRecords && ReadRecord(in, version, &record)) {
        // The record, and the command the up state makes of it.
        const std::size_t filterBytes = record.filters.size() * (sizeof(Filter) + 80);
        if (!budget.Charge(sizeof(ButtonRecord) + sizeof(DisplayCommand) + 2 * filterBytes)) break;
        button->records.push_back(std::move(record));
        record = ButtonRecord{};
    }
    // What follows (actions, condition actions) is not needed to draw the button.
    button->upState = UpStateTimeline(button->records);
    return true;
}

void SetButtonColorTransform(Button& button, const ColorTransform& colorTransform) {
    for (ButtonRecord& r : button.records) r.colorTransform = colorTransform;
    button.upState = UpStateTimeline(button.records);
}

Timeline UpStateTimeline(const std::vector<ButtonRecord>& records) {
    Timeline timeline;
    Frame frame;
    for (const ButtonRecord& r : records) {
        if (!r.up) continue;
        PlaceObject p;
        p.version = 3;
        p.depth = r.depth;
        p.characterId = r.characterId;
        p.matrix = r.matrix;
        p.colorTransform = r.colorTransform;
        if (!r.filters.empty()) p.filters = r.filters;
        p.blendMode = r.blendMode;
        frame.commands.emplace_back(std::move(p));
    }
    timeline.frames.push_back(std::move(frame));
    return timeline;
}

}  // namespace player
