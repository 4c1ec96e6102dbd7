#include "movie/movie_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "render/little_endian.h"

namespace lumora {

namespace {

constexpr std::int32_t kDefaultWidth = 800;
constexpr std::int32_t kDefaultHeight = 600;
constexpr TWinColor kGridProgramColor = 0x808080;
constexpr std::uint64_t kGridProgramReserved = 12;
constexpr std::uint64_t kVersion1Skipped = 4;
constexpr std::size_t kMagicSize = 6;
constexpr std::int32_t kMaxMusicNameBytes = 4096;

// A fault in the compressed data behind the last record read (a wrong
// check value, say) still raises the inflater's error.
void raisePendingFault(TStreamReader& body) { body.AtEnd(); }

void checkCount(TStreamReader& body, std::int32_t count, std::int64_t limit, const char* what) {
  if (count > limit) body.Fail("the movie holds " + std::to_string(count) + " " + what + ", more than " +
                               std::to_string(limit));
}

}  // namespace

std::array<std::uint8_t, 6> MovieMagic(std::uint8_t version) { return {0x51, 0x00, 0x56, 0x00, 0x58, version}; }

std::string SafeMusicName(const std::string& stored) {
  if (stored.find('\0') != std::string::npos) return {};
  const std::size_t slash = stored.find_last_of("/\\");
  std::string name = slash == std::string::npos ? stored : stored.substr(slash + 1);
  if (name == "." || name == "..") return {};
  return name;
}

std::int32_t TMovieFile::DetectVersion(TStreamReader& stream) {
  std::array<std::uint8_t, kMagicSize> magic{};
  if (!stream.ReadBytes(magic)) return -1;
  for (const std::uint8_t version : {1, 3, 6}) {
    if (magic == MovieMagic(version)) return version;
  }
  return -1;
}

void TMovieFile::checkTargets() const {
  if (ControlLayer == nullptr || GridLayers == nullptr) {
    throw std::logic_error("TMovieFile: ControlLayer and GridLayers must be set before reading");
  }
}

bool TMovieFile::LoadFromFile(const std::string& path, bool readMusic) {
  checkTargets();
  TFileInput file(path);
  TStreamReader stream(file, path);
  switch (DetectVersion(stream)) {
    case 1: ReadGridProgram(stream, false); return true;
    case 3: ReadGridProgram(stream, true); return true;
    case 6: ReadLayered(stream, readMusic); return true;
    default:
      Width = kDefaultWidth;
      Height = kDefaultHeight;
      return false;
  }
}

void TMovieFile::ReadLayered(TStreamReader& stream, bool readMusic) {
  checkTargets();
  const TMemoryBudget budget(MemoryBudget);
  const TWorkBudget work(WorkBudget);
  ControlLayer->Clear();
  TInflateStream inflater(stream, stream.FileName(), MaxBodySize);
  TStreamReader body(inflater, stream.FileName());
  std::int32_t layers = 0;
  body.ReadS32(Width) && body.ReadS32(Height);
  ReadRect(body, StoredRect);
  body.ReadU8(ControlLayer->Setting) && body.ReadS32(layers);
  if (layers <= 0) {
    ControlLayer->Clear();
    Width = kDefaultWidth;
    Height = kDefaultHeight;
  } else {
    checkCount(body, layers, kMaxMovieLayers, "layers");
    TGraphicBaseFactory factory(*Classes);
    bool complete = true;
    for (std::int32_t k = 0; k < layers && complete && !body.AtEnd(); ++k) readLayer(body, factory, k, complete);
  }
  GridLayers->FreeAll();
  GridLayers->ReadFromStream(body);
  if (!readMusic) return;
  this->readMusic(body);
  raisePendingFault(body);
}

// Layer index + 1 of a root that holds the layers read before it, made the
// current one, as the scene root's AddLayer makes it; in constant time,
// where AddLayer looks at every layer, so that 2^16 layers do not take
// 2^32 steps.
TLayer& TMovieFile::appendLayer(std::int32_t index) {
  const std::int32_t count = ControlLayer->LayerCount();
  if (count > 0) ControlLayer->Layer(count - 1).Current = 0;
  auto layer = std::make_unique<TLayer>();
  layer->Name = LayerName(index + 1);
  layer->Number = index + 1;
  TLayer& added = *layer;
  ControlLayer->Add(std::move(layer));
  return added;
}

// One layer record; a record cut short by the end of the data keeps the
// graphics read so far and ends the reading of layers.
void TMovieFile::readLayer(TStreamReader& body, TGraphicBaseFactory& factory, std::int32_t index, bool& complete) {
  TLayer& layer = appendLayer(index);
  std::uint8_t masked = 0;
  std::int32_t count = 0;
  complete = body.ReadU8(masked);
  if (complete) {
    layer.SetMasked(masked);
    complete = body.ReadS32(count);
  }
  for (std::int32_t i = 0; complete && i < count; ++i) {
    TObjectHeader header;
    complete = body.ReadBytes(header);
    if (complete) factory.Create(header, body, true, layer, View);
  }
  layer.SetTargets(FrameBitmap);
  if (masked == 0) return;
  for (const auto& graphic : layer.Graphics()) graphic->AttachMaskToLayer(layer);
  layer.Owner = ControlLayer;
}

// A section cut short or a file that cannot be written leaves the movie
// loaded without its music, the cause noted; a section past the cap
// refuses the movie. The stored name only ever names a file inside a
// folder this read made, and the data goes there a chunk at a time.
void TMovieFile::readMusic(TStreamReader& body) {
  std::int32_t nameLength = 0;
  if (!body.ReadU8(HasMusic) || !body.ReadS32(nameLength)) return;
  // A longer name is no file name, and would be read ahead and copied.
  if (HasMusic == 0 || nameLength <= 0 || nameLength > kMaxMusicNameBytes) return;
  if (!body.Has(static_cast<std::uint64_t>(nameLength))) return;
  std::string stored(static_cast<std::size_t>(nameLength), '\0');
  body.ReadBytes(std::span(reinterpret_cast<std::uint8_t*>(stored.data()), stored.size()));
  MusicName = SafeMusicName(stored);
  if (MusicName.empty()) return;
  std::int32_t dataLength = 0;
  if (!body.ReadS32(dataLength)) return;
  if (dataLength > kMaxMusicBytes) {
    body.Fail("the music section holds " + std::to_string(dataLength) + " bytes, more than " +
              std::to_string(kMaxMusicBytes));
  }
  if (!WriteMusic || dataLength <= 0) return;
  try {
    ExtractedMusic = WritePrivateFile(MusicName, body, static_cast<std::uint64_t>(dataLength));
    MusicFileName = ExtractedMusic.Path();
  } catch (const TLoadError& error) {
    MusicProblem = error.what();
  }
}

void TMovieFile::ReadGridProgram(TStreamReader& stream, bool isVersion3) {
  checkTargets();
  const TMemoryBudget budget(MemoryBudget);
  const TWorkBudget work(WorkBudget);
  ControlLayer->Clear();
  if (!isVersion3) stream.Skip(kVersion1Skipped);
  TInflateStream inflater(stream, stream.FileName(), MaxBodySize);
  TStreamReader body(inflater, stream.FileName());
  std::int32_t frames = 0, rows = 0, columns = 0;
  body.ReadS32(frames) && body.ReadS32(rows) && body.ReadS32(columns);
  GridLayers->ResetToSingle();
  TFrameDataLayer& grid = GridLayers->Items(0);
  if (static_cast<std::int64_t>(std::max(rows, 0)) * std::max(columns, 0) > kMaxFrameCells) {
    body.Fail("a grid of " + std::to_string(rows) + " x " + std::to_string(columns) + " cells is too large");
  }
  grid.SetRows(rows);
  grid.SetColumns(columns);
  body.ReadS32(Width) && body.ReadS32(Height);
  ReadRect(body, StoredRect);
  body.ReadS32(grid.CellWidth) && body.ReadS32(grid.CellHeight);
  std::uint8_t flag = 2;
  body.ReadU8(flag);
  if (flag <= 1) grid.GridFlag = flag;
  grid.GridColor = kGridProgramColor;
  body.ReadS32(grid.Param);
  body.Skip(kGridProgramReserved);
  readLegacyGrid(body, frames);
  readLegacyLayers(body);
  raisePendingFault(body);
}

void TMovieFile::readLegacyGrid(TStreamReader& body, std::int32_t frames) {
  if (frames <= 0) return;
  TFrameDataLayer& grid = GridLayers->Items(0);
  TSection& section = *grid.CurrentSection();
  TGridBudget budget;
  budget.AddFrames(body, frames);
  const std::uint64_t frameBytes =
      static_cast<std::uint64_t>(std::max(grid.Rows(), 0)) * static_cast<std::uint64_t>(std::max(grid.Columns(), 0)) * 2;
  for (std::int32_t i = 0; i < frames; ++i) {
    if (!body.Has(frameBytes)) return;
    auto frame = std::make_unique<TFrameData>(grid.Rows(), grid.Columns());
    frame->ReadLegacy(body);
    section.Add(std::move(frame));
  }
}

void TMovieFile::readLegacyLayers(TStreamReader& body) {
  std::int32_t layers = 0;
  if (!body.ReadS32(layers) || layers <= 0) return;
  checkCount(body, layers, kMaxMovieLayers, "layers");
  TGraphicBaseFactory factory(*Classes);
  for (std::int32_t k = 0; k < layers && !body.AtEnd(); ++k) {
    TLayer& layer = appendLayer(k);
    std::int32_t count = 0;
    if (!body.ReadS32(count)) return;
    for (std::int32_t i = 0; i < count; ++i) {
      TObjectHeader header;
      if (!body.ReadBytes(header)) return;
      factory.Create(header, body, false, layer, View);
    }
  }
}

bool TMovieFile::HasAppendedMovie(std::span<const std::uint8_t> image) {
  if (image.size() < kAppendedOffsetPlace + 4) return false;
  const std::uint64_t offset = U32At(image, kAppendedOffsetPlace);
  if (offset == 0 || offset + 4 > image.size()) return false;
  const auto length = static_cast<std::int32_t>(U32At(image, static_cast<std::size_t>(offset)));
  const std::int64_t remaining = static_cast<std::int64_t>(image.size()) - static_cast<std::int64_t>(offset + 4);
  return static_cast<std::int64_t>(length) == remaining && remaining >= static_cast<std::int64_t>(kMagicSize);
}

bool TMovieFile::ReadAppended(std::span<const std::uint8_t> image, const std::string& name) {
  if (!HasAppendedMovie(image)) return false;
  const std::uint64_t offset = U32At(image, kAppendedOffsetPlace);
  TMemoryInput input(image.subspan(static_cast<std::size_t>(offset) + 4));
  TStreamReader stream(input, name);
  stream.Skip(kMagicSize);
  ReadLayered(stream, true);
  return true;
}

void TMovieFile::WriteLayeredBody(TStreamWriter& stream) const {
  checkTargets();
  stream.WriteS32(Width);
  stream.WriteS32(Height);
  WriteRect(stream, StoredRect);
  stream.WriteU8(ControlLayer->Setting);
  stream.WriteS32(ControlLayer->LayerCount());
  for (const auto& layer : ControlLayer->Layers()) {
    stream.WriteU8(layer->Masked());
    stream.WriteS32(layer->Count());
    for (const auto& graphic : layer->Graphics()) graphic->WriteBody(stream);
  }
  GridLayers->WriteToStream(stream);
}

void TMovieFile::WriteMusicSection(TStreamWriter& stream, const TMusicData* music) {
  if (music == nullptr) {
    stream.WriteU8(0);
    stream.WriteS32(0);
    return;
  }
  stream.WriteU8(1);
  stream.WriteS32(static_cast<std::int32_t>(music->Name.size()));
  stream.WriteBytes(std::span(reinterpret_cast<const std::uint8_t*>(music->Name.data()), music->Name.size()));
  stream.WriteS32(static_cast<std::int32_t>(music->Data.size()));
  stream.WriteBytes(music->Data);
}

std::vector<std::uint8_t> TMovieFile::SaveLayered(const TMusicData* music) const {
  TStreamWriter body;
  WriteLayeredBody(body);
  WriteMusicSection(body, music);
  TStreamWriter file;
  file.WriteBytes(MovieMagic(6));
  file.WriteBytes(DeflateBytes(body.Data()));
  return file.TakeData();
}

std::vector<std::uint8_t> TMovieFile::SaveGridProgram(bool isVersion3) const {
  checkTargets();
  const TFrameDataLayer* grid = GridLayers->Empty() ? nullptr : &GridLayers->Items(0);
  const TSection* section = grid != nullptr ? grid->CurrentSection() : nullptr;
  TStreamWriter body;
  body.WriteS32(section != nullptr ? section->Count() : 0);
  body.WriteS32(grid != nullptr ? grid->Rows() : 0);
  body.WriteS32(grid != nullptr ? grid->Columns() : 0);
  body.WriteS32(Width);
  body.WriteS32(Height);
  WriteRect(body, StoredRect);
  body.WriteS32(grid != nullptr ? grid->CellWidth : 0);
  body.WriteS32(grid != nullptr ? grid->CellHeight : 0);
  body.WriteU8(grid != nullptr ? grid->GridFlag : 0);
  body.WriteS32(grid != nullptr ? grid->Param : 0);
  for (std::uint64_t i = 0; i < kGridProgramReserved; ++i) body.WriteU8(0);
  if (section != nullptr) {
    for (const auto& frame : *section) frame->WriteLegacy(body);
  }
  body.WriteS32(ControlLayer->LayerCount());
  for (const auto& layer : ControlLayer->Layers()) {
    body.WriteS32(layer->Count());
    for (const auto& graphic : layer->Graphics()) graphic->WriteExport(body);
  }
  TStreamWriter file;
  file.WriteBytes(MovieMagic(isVersion3 ? 3 : 1));
  if (!isVersion3) file.WriteU32(0);
  file.WriteBytes(DeflateBytes(body.Data()));
  return file.TakeData();
}

std::vector<std::uint8_t> AppendMovie(std::span<const std::uint8_t> executable, std::span<const std::uint8_t> movie) {
  std::vector<std::uint8_t> image(executable.begin(), executable.end());
  if (image.size() < kAppendedOffsetPlace + 4) image.resize(kAppendedOffsetPlace + 4, 0);
  const auto offset = static_cast<std::uint32_t>(image.size());
  for (std::size_t i = 0; i < 4; ++i) image[kAppendedOffsetPlace + i] = static_cast<std::uint8_t>(offset >> (8 * i));
  TStreamWriter tail;
  tail.WriteS32(static_cast<std::int32_t>(movie.size()));
  tail.WriteBytes(movie);
  image.insert(image.end(), tail.Data().begin(), tail.Data().end());
  return image;
}

}  // namespace lumora
