// Action blocks the fuzzer found faults with, run as the fuzz target runs them: each must run
// to its end (or its bounds) without undefined behaviour (the sanitizer suite checks that).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "player/script/vm.h"

namespace player::script {
namespace {

class QuietHost : public Host {
  public:
    void Trace(std::string_view) override {}
    void Problem(std::string) override {}
    ClipHost* Level(int) override { return nullptr; }
};

struct Finding {
    const char* what;
    int version;
    std::vector<std::uint8_t> block;
};

const Finding kFindings[] = {
    // GetProperty with a property index of NaN ("r:] = " + register 2 is NaN).
    {"GetProperty index NaN", 10,
     {0x96, 0x0A, 0x00, 0x00, 'r', ':', ']', ' ', '=', ' ', 0x00, 0x04, 0x02, 0x47, 0x22, 0x00}},
    // SetProperty and CloneSprite with infinite numbers.
    {"infinite property index and depth", 8,
     {0x96, 0x13, 0x00, 0x00, 'a', 0x00, 0x06, 0x00, 0x00, 0xF0, 0x7F, 0x00, 0x00, 0x00, 0x00,
      0x06, 0x00, 0x00, 0xF0, 0xFF, 0x23, 0x24, 0x00}},
};

TEST(FuzzFindings, RunWithoutFault) {
    for (const Finding& f : kFindings) {
        VmOptions options;
        options.swfVersion = f.version;
        options.limits.actionsPerTick = 200'000;
        QuietHost host;
        Vm vm(host, options);
        Object* timeline = vm.NewObject();
        vm.RunBlock(f.block, timeline);
        vm.BeginTick();
        vm.RunBlock(f.block, timeline);
        EXPECT_FALSE(vm.Stopped()) << f.what;
    }
}

}  // namespace
}  // namespace player::script
