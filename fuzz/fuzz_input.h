// How the fuzz targets read their input. Movie bodies are compressed, and a
// mutated compressed stream rarely inflates, so an input that starts with
// kBodyTag carries an inflated version-6 body: the target compresses it and
// puts the version-6 magic in front. Mutations then reach every record.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/fuzz_limits.h"
#include "io/stream.h"
#include "movie/movie_file.h"

namespace lumora::fuzz {

inline constexpr std::uint8_t kBodyTag = 'B';

inline std::vector<std::uint8_t> MovieFromInput(std::span<const std::uint8_t> data) {
  if (data.empty() || data[0] != kBodyTag) return {data.begin(), data.end()};
  TStreamWriter file;
  file.WriteBytes(MovieMagic(6));
  file.WriteBytes(DeflateBytes(data.subspan(1)));
  return file.TakeData();
}

// The seed form of a version-6 movie: kBodyTag and its inflated body.
inline std::vector<std::uint8_t> BodyInput(std::span<const std::uint8_t> movie) {
  TMemoryInput input(movie);
  TStreamReader stream(input, "seed.ctl");
  stream.Skip(MovieMagic(6).size());
  TInflateStream inflater(stream, "seed.ctl", kFuzzBodyCap);
  TStreamReader body(inflater, "seed.ctl");
  std::vector<std::uint8_t> out{kBodyTag};
  std::uint8_t byte = 0;
  while (body.ReadU8(byte)) out.push_back(byte);
  return out;
}

}  // namespace lumora::fuzz
