// TMovieFile: reads a movie file (versions 1, 3 and 6, or a movie appended
// to an executable) into a scene root and a grid-layer list, extracts its
// music, and writes the same layouts.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "grid/frame_data.h"
#include "io/private_directory.h"
#include "io/stream.h"
#include "movie/graphic_factory.h"
#include "render/bitmap32.h"
#include "render/memory_budget.h"
#include "render/object.h"
#include "render/work_budget.h"
#include "scene/control_layer.h"

namespace lumora {

// The most layers one movie may hold.
inline constexpr std::int32_t kMaxMovieLayers = 1 << 16;
// The most a movie's music section may hold.
inline constexpr std::int32_t kMaxMusicBytes = std::int32_t{1} << 29;
// Where an executable keeps the offset of an appended movie.
inline constexpr std::size_t kAppendedOffsetPlace = 252;

// A music file carried by a movie: its bare name and content.
struct TMusicData {
  std::string Name;
  std::vector<std::uint8_t> Data;
};

// "Q", "V", "X" as 16-bit units with the version in the last byte.
std::array<std::uint8_t, 6> MovieMagic(std::uint8_t version);

// The last path component of a stored music name; empty when nothing
// usable remains (no name, ".", "..", or a NUL byte).
std::string SafeMusicName(const std::string& stored);

class TMovieFile : public TObject {
 public:
  std::string ClassName() const override { return "TMovieFile"; }

  std::int32_t Width = 0;
  std::int32_t Height = 0;
  TRect StoredRect;
  std::uint8_t HasMusic = 0;
  // The music's stored name, its last component only; empty for none.
  std::string MusicName;
  // Full path of the music file this read wrote for this process, or empty.
  std::string MusicFileName;
  // That file, removed with the reader unless taken.
  TPrivateFile ExtractedMusic;
  // Why music the movie carries was not written, or empty.
  std::string MusicProblem;

  // What the reader fills and hands on; not owned. Set before any read.
  TControlLayer* ControlLayer = nullptr;
  TFrameDataLayers* GridLayers = nullptr;
  TView* View = nullptr;
  TBitmap32* FrameBitmap = nullptr;

  // When clear, the music section is read for its name but no file is
  // written. When set, the music is written into a fresh folder of the
  // private directory, for this process alone (see private_directory.h).
  bool WriteMusic = true;
  // The most one compressed body may inflate to.
  std::uint64_t MaxBodySize = kMaxInflatedSize;
  // The most the graphics read may derive from the file (images, lamp
  // lists); reading past it raises EMemoryBudget.
  std::uint64_t MemoryBudget = kShowMemoryBudget;
  // The points and graphics a read may produce; past them it raises
  // EWorkBudget.
  TWorkLimits WorkBudget;
  // The classes the factory builds.
  const TGraphicClassTable* Classes = &DefaultGraphicClasses();

  // Reads six bytes: 1, 3 or 6, or −1 for anything else.
  static std::int32_t DetectVersion(TStreamReader& stream);
  // Reads the file into ControlLayer and GridLayers. False for an unknown
  // magic (Width 800, Height 600, the scene untouched); a file that cannot
  // be read or corrupt data raise TLoadError, keeping what was read.
  bool LoadFromFile(const std::string& path, bool readMusic);
  // Version-6 body from just after the magic.
  void ReadLayered(TStreamReader& stream, bool readMusic);
  // Version-1/3 body from just after the magic.
  void ReadGridProgram(TStreamReader& stream, bool isVersion3);
  // A movie appended to an executable image. False when the image carries
  // none (offset 0, or a stored length that does not match the rest of the
  // image); read failures raise TLoadError.
  bool ReadAppended(std::span<const std::uint8_t> image, const std::string& name);
  // Whether the image carries an appended movie that ReadAppended reads.
  static bool HasAppendedMovie(std::span<const std::uint8_t> image);

  // The version-6 file of ControlLayer, GridLayers and the size fields, with
  // the music section when music is given (else HasMusic 0 and length 0).
  std::vector<std::uint8_t> SaveLayered(const TMusicData* music) const;
  // The version-1/3 file: the first grid layer's current frames in the
  // legacy cell form and every layer's graphics in the legacy encoding.
  std::vector<std::uint8_t> SaveGridProgram(bool isVersion3) const;
  // The parts of a version-6 body, for writers that assemble their own.
  void WriteLayeredBody(TStreamWriter& stream) const;
  static void WriteMusicSection(TStreamWriter& stream, const TMusicData* music);

 private:
  TLayer& appendLayer(std::int32_t index);
  void readLayer(TStreamReader& body, TGraphicBaseFactory& factory, std::int32_t index, bool& complete);
  void readMusic(TStreamReader& body);
  void readLegacyGrid(TStreamReader& body, std::int32_t frames);
  void readLegacyLayers(TStreamReader& body);
  void checkTargets() const;
};

// A movie together with the scene root, grid layers and frame bitmap it
// reads into or writes from, for programs that build or inspect a movie on
// their own rather than inside the player.
class TMovieDocument {
 public:
  TMovieDocument() {
    File.ControlLayer = &Root;
    File.GridLayers = &Grid;
    File.FrameBitmap = &Frame;
  }
  TMovieDocument(const TMovieDocument&) = delete;
  TMovieDocument& operator=(const TMovieDocument&) = delete;

  TControlLayer Root;
  TFrameDataLayers Grid;
  TBitmap32 Frame;
  TMovieFile File;
};

// An executable image with the movie file appended and its offset stored at
// 252; an image shorter than 256 bytes is padded with zeros first.
std::vector<std::uint8_t> AppendMovie(std::span<const std::uint8_t> executable,
                                      std::span<const std::uint8_t> movie);

}  // namespace lumora
