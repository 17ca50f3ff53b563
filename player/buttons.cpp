#include "player/buttons.h"

#include "player/records.h"
#include "player/tags.h"

namespace player {
namespace {

// The state timelines from the records.
void BuildStates(Button& button) {
    button.upState = StateTimeline(button.records, ButtonState::kUp);
    button.overState = StateTimeline(button.records, ButtonState::kOver);
    button.downState = StateTimeline(button.records, ButtonState::kDown);
}

// DefineButton's one action list: it runs when the button is released over it.
void ReadPlainActions(BitReader& in, ModelBudget& budget, Button* button) {
    const std::size_t size = in.Remaining();
    if (size == 0 || !budget.Charge(sizeof(ButtonAction) + size)) return;
    ButtonAction action;
    action.transitions = kButtonOverDownToOverUp;
    const auto bytes = in.Bytes(size);
    action.actions.assign(bytes.begin(), bytes.end());
    button->actions.push_back(std::move(action));
}

// DefineButton2's condition records; `in` stands at the first. A record that breaks off ends
// the list.
void ReadConditionActions(BitReader& in, ModelBudget& budget, Button* button) {
    while (button->actions.size() < budget.Caps().maxButtonActions && in.Remaining() >= 4) {
        const std::uint16_t size = in.U16();  // from this field to the next record; 0: last
        const std::uint8_t high = in.U8();
        const std::uint8_t low = in.U8();
        const std::size_t length = size == 0 ? in.Remaining() : std::size_t{size};
        if (size != 0 && size < 4) return;
        const std::size_t body = size == 0 ? length : length - 4;
        if (body > in.Remaining() || !budget.Charge(sizeof(ButtonAction) + body)) return;
        ButtonAction action;
        action.transitions = static_cast<std::uint16_t>((high << 8) | (low & 0x01));
        action.keyCode = static_cast<std::uint8_t>(low >> 1);
        const auto bytes = in.Bytes(body);
        action.actions.assign(bytes.begin(), bytes.end());
        button->actions.push_back(std::move(action));
        if (size == 0) return;
    }
}

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
    std::size_t actionsAt = 0;  // where DefineButton2's condition records start; 0: none
    if (version == 2) {
        button->trackAsMenu = in.U8() & 0x01;
        const std::size_t field = in.Position();
        const std::uint16_t offset = in.U16();
        if (offset != 0) actionsAt = field + offset;
    }
    ButtonRecord record;
    while (button->records.size() < budget.Caps().maxButtonRecords && ReadRecord(in, version, &record)) {
        // The record, and the command the up state makes of it.
        const std::size_t filterBytes = record.filters.size() * (sizeof(Filter) + 80);
        if (!budget.Charge(sizeof(ButtonRecord) + sizeof(DisplayCommand) + 2 * filterBytes)) break;
        button->records.push_back(std::move(record));
        record = ButtonRecord{};
    }
    BuildStates(*button);
    if (in.Failed()) return true;
    if (version == 1) {
        ReadPlainActions(in, budget, button);
    } else if (actionsAt > in.Position()) {
        in.Skip(actionsAt - in.Position());
        ReadConditionActions(in, budget, button);
    } else if (actionsAt != 0 && actionsAt == in.Position()) {
        ReadConditionActions(in, budget, button);
    }
    return true;
}

void SetButtonColorTransform(Button& button, const ColorTransform& colorTransform) {
    for (ButtonRecord& r : button.records) r.colorTransform = colorTransform;
    BuildStates(button);
}

Timeline StateTimeline(const std::vector<ButtonRecord>& records, ButtonState state) {
    Timeline timeline;
    Frame frame;
    for (const ButtonRecord& r : records) {
        const bool shown = state == ButtonState::kUp     ? r.up
                           : state == ButtonState::kOver ? r.over
                                                         : r.down;
        if (!shown) continue;
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
