// Movie files of every version, read from memory, and version-6 bodies
// (see fuzz_input.h); the music is never written.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "fuzz/fuzz_input.h"
#include "movie/movie_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora;
  TMovieDocument document;
  TMovieFile& movie = document.File;
  movie.WriteMusic = false;
  movie.MaxBodySize = fuzz::kFuzzBodyCap;
  movie.MemoryBudget = fuzz::kFuzzMemoryBudget;
  try {
    const std::vector<std::uint8_t> file = fuzz::MovieFromInput({data, size});
    TMemoryInput input(file);
    TStreamReader stream(input, "fuzz.ctl");
    switch (TMovieFile::DetectVersion(stream)) {
      case 1: movie.ReadGridProgram(stream, false); break;
      case 3: movie.ReadGridProgram(stream, true); break;
      case 6: movie.ReadLayered(stream, true); break;
      default: break;
    }
    document.Grid.MergeFrames();
  } catch (const TLoadError&) {
  } catch (const EShowBudget&) {
  }
  return 0;
}
