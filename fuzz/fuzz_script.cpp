// The script machine on hostile action blocks: the first byte picks the movie version (5 to
// 10), the rest is run as a frame's DoAction body on a timeline object, then again on three
// more ticks (intervals and timeouts fire between them). Caps are lowered so one input costs
// milliseconds, not seconds.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "player/script/vm.h"

namespace {

class QuietHost : public player::script::Host {
  public:
    void Trace(std::string_view) override {}
    void Problem(std::string) override {}
    player::script::ClipHost* Level(int) override { return nullptr; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    player::script::VmOptions options;
    options.swfVersion = 5 + data[0] % 6;
    options.limits.actionsPerTick = 200'000;
    options.limits.maxStringBytes = 1u << 20;
    options.limits.maxArrayLength = 1u << 16;
    options.limits.maxHeapBytes = 64u << 20;
    options.limits.maxRecursion = 64;
    QuietHost host;
    player::script::Vm vm(host, options);
    player::script::Object* timeline = vm.NewObject();
    vm.DefineValue(vm.GetRealm().global, "fuzzTimeline", player::script::Value::Obj(timeline));
    const std::span<const std::uint8_t> block(data + 1, size - 1);
    vm.RunBlock(block, timeline);
    for (int tick = 0; tick < 3; ++tick) {
        vm.BeginTick();
        vm.RunBlock(block, timeline);
        vm.CollectGarbage();
    }
    return 0;
}
