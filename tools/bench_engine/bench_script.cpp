// Benchmarks the script machine on a loop-heavy block: arithmetic, comparisons and branches,
// property writes and reads, function calls and string building. items_per_second is actions
// run per second.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "player/script/vm.h"
#include "tests/support/avm1_asm.h"

namespace {

using player::script::Value;

class QuietHost : public player::script::Host {
  public:
    void Trace(std::string_view) override {}
    void Problem(std::string) override {}
    player::script::ClipHost* Level(int) override { return nullptr; }
};

// for (i = 0; i < n; i++) { x = i * 2 + 1; o.v = x; y = o.v; r = f(i, x);
//                           if (i % 64 == 0) s += "a"; }
std::vector<std::uint8_t> LoopBlock(int iterations) {
    swfw::Asm a;
    a.DefineFunction("f", {"a", "b"}, [](swfw::Asm& body) {
         body.GetVariable("a")
             .GetVariable("b")
             .Op(swfw::Op::kMultiply)
             .Push(1)
             .Op(swfw::Op::kAdd2)
             .Op(swfw::Op::kReturn);
     })
        .SetVariable("i", swfw::PushItem(0))
        .SetVariable("s", swfw::PushItem(""))
        .SetVariable("o", [](swfw::Asm& v) { v.Push(0).Op(swfw::Op::kInitObject); })
        .Label("loop")
        .GetVariable("i")
        .Push(iterations)
        .Op(swfw::Op::kLess2)
        .Op(swfw::Op::kNot)
        .If("done")
        .SetVariable("x", [](swfw::Asm& v) {
            v.GetVariable("i").Push(2).Op(swfw::Op::kMultiply).Push(1).Op(swfw::Op::kAdd2);
        })
        .GetVariable("o")
        .Push("v")
        .GetVariable("x")
        .Op(swfw::Op::kSetMember)
        .SetVariable("y", [](swfw::Asm& v) { v.GetVariable("o").Push("v").Op(swfw::Op::kGetMember); })
        .SetVariable("r", [](swfw::Asm& v) {
            v.GetVariable("x").GetVariable("i").CallFunction("f", 2);
        })
        .GetVariable("i")
        .Push(64)
        .Op(swfw::Op::kModulo)
        .Push(0)
        .Op(swfw::Op::kEquals2)
        .Op(swfw::Op::kNot)
        .If("next")
        .SetVariable("s", [](swfw::Asm& v) { v.GetVariable("s").Push("a").Op(swfw::Op::kAdd2); })
        .Label("next")
        .SetVariable("i", [](swfw::Asm& v) { v.GetVariable("i").Op(swfw::Op::kIncrement); })
        .Jump("loop")
        .Label("done");
    return a.Bytes();
}

void BM_ScriptActions(benchmark::State& state) {
    const std::vector<std::uint8_t> block = LoopBlock(20000);
    QuietHost host;
    std::int64_t actions = 0;
    for (auto _ : state) {
        player::script::Vm vm(host, player::script::VmOptions{});
        player::script::Object* timeline = vm.NewObject();
        vm.RunBlock(block, timeline);
        actions += vm.ActionsRun();
    }
    state.SetItemsProcessed(actions);
}
BENCHMARK(BM_ScriptActions)->Unit(benchmark::kMillisecond);

}  // namespace
