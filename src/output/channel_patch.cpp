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

void readFixtures(const patch::TPatchValue& list, const TMovieShape& movie, TChannelPatch& result) {
  std::uint64_t samples = 0;
  for (const patch::TPatchValue& element : list.Elements()) {
    result.Fixtures.push_back(patch::ReadFixture(element.Object(), movie, kMaxPatchSamples - samples));
    const TFixture& fixture = result.Fixtures.back();
    samples += fixture.SampleCount();
    result.ChannelCount = std::max(result.ChannelCount, fixture.First + fixture.ChannelCount());
  }
}

void readOutputs(const patch::TPatchValue& list, TChannelPatch& result) {
  std::uint64_t sent = 0;
  for (const patch::TPatchValue& element : list.Elements()) {
    result.Outputs.push_back(patch::ReadOutput(element.Object(), kMaxSentChannels - sent));
    const TOutputRoute& output = result.Outputs.back();
    sent += output.Count;
    result.ChannelCount = std::max(result.ChannelCount, output.First + output.Count);
  }
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

TChannelPatch ParseChannelPatch(std::string_view text, const std::string& source, const TMovieShape& movie) {
  const nlohmann::json document = patch::ParseJson(text, source);
  const patch::TPatchObject top(document, "", source);
  top.OnlyKeys({"fixtures", "outputs", "blackout"});
  TChannelPatch result;
  if (const auto fixtures = top.Optional("fixtures")) readFixtures(*fixtures, movie, result);
  if (const auto outputs = top.Optional("outputs")) readOutputs(*outputs, result);
  if (const auto blackout = top.Optional("blackout")) result.Blackout = blackout->Boolean();
  return result;
}

TChannelPatch LoadChannelPatch(const std::string& path, const TMovieShape& movie) {
  return ParseChannelPatch(readPatchFile(path), path, movie);
}

}  // namespace lumora::output
