#include "output/channel_patch.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "output/patch_parts_p.h"

namespace lumora::output {

namespace {

[[noreturn]] void tooLarge(const std::string& path) {
  throw EPatchError(path + ": the patch is larger than " + std::to_string(kMaxPatchBytes >> 20) + " MiB");
}

// Reads at most one byte past the cap, so that a file growing meanwhile
// cannot make the read unbounded either.
std::string readPatchFile(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) throw EPatchError(path + ": cannot read the patch: " + error.message());
  if (size > kMaxPatchBytes) tooLarge(path);
  std::ifstream in(path, std::ios::binary);
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad() || !in.is_open()) throw EPatchError(path + ": cannot read the patch");
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > size) tooLarge(path);
  return text;
}

// Each list is counted before anything is built for its elements.
template <class TRead>
void readList(const patch::TPatchValue& list, std::size_t most, const char* what, const TRead& read) {
  const std::size_t count = list.Count();
  if (count > most) list.Fail("more than " + std::to_string(most) + " " + what);
  for (std::size_t i = 0; i < count; ++i) read(list.At(i).Object());
}

void readOutputs(const patch::TPatchValue& list, TPatchDefinition& result) {
  std::uint64_t sent = 0;
  patch::THostResolver hosts;
  readList(list, kMaxPatchOutputs, "outputs", [&](const patch::TPatchObject& object) {
    const TOutputRoute& output = result.Outputs.emplace_back(patch::ReadOutput(object, kMaxSentChannels - sent, hosts));
    sent += output.Count;
    result.SentCount = std::max(result.SentCount, output.First + output.Count);
  });
}

}  // namespace

const char* ProtocolName(TProtocol protocol) {
  switch (protocol) {
    case TProtocol::Sacn:
      return "sACN";
    case TProtocol::ArtNet:
      return "Art-Net";
    case TProtocol::Ddp:
      return "DDP";
    case TProtocol::Ola:
      return "OLA";
  }
  return "?";
}

const char* ProtocolKey(TProtocol protocol) {
  switch (protocol) {
    case TProtocol::Sacn:
      return "sacn";
    case TProtocol::ArtNet:
      return "artnet";
    case TProtocol::Ddp:
      return "ddp";
    case TProtocol::Ola:
      return "ola";
  }
  return "?";
}

TPatchDefinition ParsePatchDefinition(std::string_view text, const std::string& source) {
  const nlohmann::json document = patch::ParseJson(text, source);
  const patch::TPatchObject top(document, "", source);
  top.OnlyKeys({"fixtures", "outputs", "blackout"});
  TPatchDefinition result;
  result.Source = source;
  if (const auto fixtures = top.Optional("fixtures")) {
    readList(*fixtures, kMaxPatchFixtures, "fixtures",
             [&](const patch::TPatchObject& object) { result.Fixtures.push_back(patch::ReadFixture(object)); });
  }
  if (const auto outputs = top.Optional("outputs")) readOutputs(*outputs, result);
  if (const auto blackout = top.Optional("blackout")) result.Blackout = blackout->Boolean();
  return result;
}

TPatchDefinition ReadPatchDefinition(const std::string& path) { return ParsePatchDefinition(readPatchFile(path), path); }

TChannelPatch BindChannelPatch(const TPatchDefinition& patch, const TMovieShape& movie) {
  TChannelPatch result;
  result.Outputs = patch.Outputs;
  result.Blackout = patch.Blackout;
  result.ChannelCount = patch.SentCount;
  std::uint64_t samples = 0;
  for (const TFixtureDefinition& definition : patch.Fixtures) {
    if (!definition.Movie.empty() && definition.Movie != movie.File) continue;
    const TFixture& fixture =
        result.Fixtures.emplace_back(patch::BindFixture(definition, movie, patch.Source, kMaxPatchSamples - samples));
    samples += fixture.SampleCount();
    result.ChannelCount = std::max(result.ChannelCount, fixture.First + fixture.ChannelCount());
  }
  return result;
}

TChannelPatch ParseChannelPatch(std::string_view text, const std::string& source, const TMovieShape& movie) {
  return BindChannelPatch(ParsePatchDefinition(text, source), movie);
}

TChannelPatch LoadChannelPatch(const std::string& path, const TMovieShape& movie) {
  return BindChannelPatch(ReadPatchDefinition(path), movie);
}

}  // namespace lumora::output
