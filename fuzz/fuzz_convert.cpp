// `filmcast convert` end to end on one hostile movie: the input is written to a file and
// converted into an animated GIF of at most four frames at a small size.
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/movie_job.h"
#include "fuzz/temp_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cli::ConvertJob job;
    job.movie = fuzz::WriteTempInput("movie.swf", data, size);
    job.label = job.movie;
    job.outputFile = fuzz::TempFolder() + "movie.gif";
    std::string error;
    job.work = cli::MakePrivateWorkFolder(&error);
    job.temp = cli::ReserveTemporarySibling(job.outputFile, &error);
    if (!job.work.Valid() || !job.temp.Valid()) return 0;
    job.size = {32, 24, 0.0};
    job.frames = {0, 0, 3};
    job.quiet = true;
    cli::ConvertMovie(job);
    std::remove(job.outputFile.c_str());
    return 0;
}
