// avm1_dump: lists every action block of a movie, disassembled one action a line.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/avm1_dump/action_blocks.h"
#include "tools/avm1_dump/avm1_disasm.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s MOVIE.swf\n", argv[0]);
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "%s: cannot open\n", argv[1]);
        return 1;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    avm1dump::MovieActions movie;
    std::string error;
    if (!avm1dump::FindActionBlocks(bytes, &movie, &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::printf("SWF version %d, %zu action blocks\n", movie.version, movie.blocks.size());
    for (const avm1dump::ActionBlock& block : movie.blocks) {
        std::printf("\n%s (%zu bytes)\n", block.where.c_str(), block.code.size());
        std::fputs(avm1dump::ToText(avm1dump::Disassemble(block.code)).c_str(), stdout);
    }
    for (const std::string& problem : movie.problems)
        std::printf("\nproblem: %s\n", problem.c_str());
    return 0;
}
