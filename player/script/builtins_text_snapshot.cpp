// TextSnapshot: the characters of a clip's static text as they were when the snapshot was
// taken, for scripts to count, read, search and mark as selected. A snapshot of something
// that has no static text of its own answers undefined to everything.
#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "player/script/builtins.h"
#include "player/script/function.h"
#include "player/script/utf8.h"

namespace player::script {

namespace {

class TextSnapshotObject final : public Object {
  public:
    explicit TextSnapshotObject(Object* proto) : Object(proto, ObjectKind::kNative) {}
    std::size_t Size() const override {
        return Object::Size() + (text ? text->size() * sizeof(char32_t) : 0) + selected.size() / 8;
    }

    std::optional<std::u32string> text;
    std::vector<bool> selected;  // one flag a character
};

Object* MakeSnapshot(Vm& vm, Object* proto) {
    return vm.GetHeap().New<TextSnapshotObject>(proto);
}

// The snapshot's characters, or null for a snapshot without static text.
TextSnapshotObject* WithText(const Value& self) {
    auto* snapshot = dynamic_cast<TextSnapshotObject*>(self.AsObject());
    return snapshot && snapshot->text ? snapshot : nullptr;
}

std::string ToUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) AppendUtf8(out, c);
    return out;
}

std::u32string FromUtf8(std::string_view text) {
    std::u32string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        std::size_t k = 1;
        for (; k <= extra && i + k < text.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out.push_back(c);
        i += k;
    }
    return out;
}

char32_t Folded(char32_t c) { return c < 0x80 ? char32_t(std::tolower(int(c))) : c; }

// A character position from a script's number: whole, and within 0..limit.
std::size_t Position(Vm& vm, const Value& v, std::size_t limit) {
    const double d = vm.ToInteger(v);
    if (!(d > 0)) return 0;
    return d >= double(limit) ? limit : std::size_t(d);
}

// new TextSnapshot(clip): the clip's static text as it is now.
Value SnapshotInit(Vm& vm, const Value& self, std::span<const Value> args) {
    auto* snapshot = dynamic_cast<TextSnapshotObject*>(self.AsObject());
    if (!snapshot) return Value();
    ClipHost* clip = vm.ClipOf(Arg(args, 0).AsObject());
    if (!clip) return Value();
    snapshot->text = clip->StaticText();
    if (snapshot->text) {
        snapshot->selected.assign(snapshot->text->size(), false);
        vm.GetHeap().Grew(snapshot->text->size() * sizeof(char32_t));
    }
    return Value();
}

Value GetCount(Vm&, const Value& self, std::span<const Value>) {
    TextSnapshotObject* snapshot = WithText(self);
    return snapshot ? Value::Number(double(snapshot->text->size())) : Value();
}

// getText(start, end): the characters from start up to end.
Value GetText(Vm& vm, const Value& self, std::span<const Value> args) {
    TextSnapshotObject* snapshot = WithText(self);
    if (!snapshot || args.size() < 2) return Value();
    const std::u32string& text = *snapshot->text;
    const std::size_t start = Position(vm, args[0], text.size());
    const std::size_t end = std::max(start, Position(vm, args[1], text.size()));
    return vm.Str(ToUtf8(std::u32string_view(text).substr(start, end - start)));
}

// findText(start, text, caseSensitive): where the text first occurs from start on, or -1.
Value FindText(Vm& vm, const Value& self, std::span<const Value> args) {
    TextSnapshotObject* snapshot = WithText(self);
    if (!snapshot || args.size() != 3) return Value();
    const std::u32string& text = *snapshot->text;
    const double start = vm.ToInteger(args[0]);
    const std::u32string wanted = FromUtf8(vm.ToString(args[1]));
    const bool caseSensitive = vm.ToBoolean(args[2]);
    if (wanted.empty() || !(start >= 0) || start > double(text.size()))
        return Value::Number(-1);
    auto same = [caseSensitive](char32_t a, char32_t b) {
        return caseSensitive ? a == b : Folded(a) == Folded(b);
    };
    const auto from = text.begin() + std::ptrdiff_t(start);
    const auto found = std::search(from, text.end(), wanted.begin(), wanted.end(), same);
    return Value::Number(found == text.end() ? -1 : double(found - text.begin()));
}

// setSelected(start, end, select): marks the characters from start up to end.
Value SetSelected(Vm& vm, const Value& self, std::span<const Value> args) {
    TextSnapshotObject* snapshot = WithText(self);
    if (!snapshot || args.size() < 3) return Value();
    const std::size_t size = snapshot->selected.size();
    const std::size_t start = Position(vm, args[0], size);
    const std::size_t end = std::max(start, Position(vm, args[1], size));
    std::fill(snapshot->selected.begin() + std::ptrdiff_t(start),
              snapshot->selected.begin() + std::ptrdiff_t(end), vm.ToBoolean(args[2]));
    return Value();
}

// getSelected(start, end): whether any character from start up to end is selected.
Value GetSelected(Vm& vm, const Value& self, std::span<const Value> args) {
    TextSnapshotObject* snapshot = WithText(self);
    if (!snapshot || args.size() < 2) return Value();
    const std::size_t size = snapshot->selected.size();
    const std::size_t start = Position(vm, args[0], size);
    const std::size_t end = std::max(start, Position(vm, args[1], size));
    const auto first = snapshot->selected.begin();
    return Value::Boolean(std::find(first + std::ptrdiff_t(start), first + std::ptrdiff_t(end),
                                    true) != first + std::ptrdiff_t(end));
}

// getSelectedText(): the selected characters, in order.
Value GetSelectedText(Vm& vm, const Value& self, std::span<const Value>) {
    TextSnapshotObject* snapshot = WithText(self);
    if (!snapshot) return Value();
    std::u32string picked;
    for (std::size_t i = 0; i < snapshot->selected.size(); ++i)
        if (snapshot->selected[i]) picked.push_back((*snapshot->text)[i]);
    return vm.Str(ToUtf8(picked));
}

// getTextSnapshot(): a snapshot made by whatever _global.TextSnapshot is now.
Value GetTextSnapshot(Vm& vm, const Value& self, std::span<const Value>) {
    const Value constructor = vm.Get(vm.GetRealm().global, "TextSnapshot");
    const Value clip[] = {self};
    return vm.Construct(constructor, clip);
}

}  // namespace

void InstallTextSnapshot(Vm& vm) {
    Realm& realm = vm.GetRealm();
    Object* p = vm.NewObject();
    vm.DefineClass(realm.global, "TextSnapshot", SnapshotInit, nullptr, p);
    realm.nativeClasses.emplace_back(p, MakeSnapshot);
    vm.DefineMethod(p, "getCount", GetCount);
    vm.DefineMethod(p, "getText", GetText);
    vm.DefineMethod(p, "findText", FindText);
    vm.DefineMethod(p, "setSelected", SetSelected);
    vm.DefineMethod(p, "getSelected", GetSelected);
    vm.DefineMethod(p, "getSelectedText", GetSelectedText);
    if (realm.clipProto) vm.DefineMethod(realm.clipProto, "getTextSnapshot", GetTextSnapshot);
}

}  // namespace player::script
