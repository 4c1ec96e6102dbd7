// Executables with an appended movie; the music is never written.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_limits.h"
#include "movie/movie_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora;
  TMovieDocument document;
  TMovieFile& movie = document.File;
  movie.WriteMusic = false;
  movie.MaxBodySize = fuzz::kFuzzBodyCap;
  movie.MemoryBudget = fuzz::kFuzzMemoryBudget;
  try {
    movie.ReadAppended({data, size}, "fuzz.exe");
  } catch (const TLoadError&) {
  } catch (const EShowBudget&) {
  }
  return 0;
}
