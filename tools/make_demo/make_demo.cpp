// Writes the demo movie to the path given (samples/demo.swf in the repository).
#include <cstdio>
#include <string>

#include "tools/make_demo/demo_scene.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo OUTPUT.swf\n");
        return 2;
    }
    std::string error;
    swfw::Movie movie;
    if (!demo::BuildDemoMovie(&movie, &error) || !movie.Save(argv[1], &error)) {
        std::fprintf(stderr, "make_demo: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
