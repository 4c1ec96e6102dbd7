#include "grid/frame_data.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "render/memory_budget.h"

namespace lumora {

namespace {

constexpr std::uint8_t kCotTag[4] = {'c', 'o', 't', 0};
constexpr std::uint16_t kCotVersion = 1;

std::int64_t cellCount(std::int32_t rows, std::int32_t columns) {
  return std::int64_t{std::max(rows, 0)} * std::max(columns, 0);
}

// A grid size a file asks for, refused before anything is allocated.
void checkGridSize(TStreamReader& stream, std::int32_t rows, std::int32_t columns) {
  if (cellCount(rows, columns) > kMaxFrameCells) {
    stream.Fail("a grid of " + std::to_string(rows) + " x " + std::to_string(columns) + " cells is larger than " +
                std::to_string(kMaxFrameCells) + " cells");
  }
}

}  // namespace

void TFrameData::SetSize(std::int32_t rows, std::int32_t columns) {
  rows = std::max(rows, 0);
  columns = std::max(columns, 0);
  const std::int64_t cells = cellCount(rows, columns);
  if (cells > kMaxFrameCells) throw std::length_error("a grid frame of more than 16777216 cells");
  const auto bytes = static_cast<std::size_t>(cells) * 3;
  if (bytes > fData.size()) ChargeMemory(bytes - fData.size(), "grid frames");
  fData.resize(bytes);
  fRows = rows;
  fColumns = columns;
}

void TFrameData::SetRows(std::int32_t n) {
  if (n != fRows) SetSize(n, fColumns);
}

void TFrameData::SetColumns(std::int32_t n) {
  if (n != fColumns) SetSize(fRows, n);
}

TWinColor TFrameData::CellColor(std::int32_t r, std::int32_t c) const {
  if (r < 0 || r >= fRows || c < 0 || c >= fColumns) return 0;
  const std::uint8_t* cell = fData.data() + (static_cast<std::size_t>(r) * fColumns + c) * 3;
  const auto channel = [](std::uint8_t stored) { return static_cast<std::uint32_t>(stored * 2) & 0xFF; };
  return static_cast<TWinColor>(channel(cell[0]) | channel(cell[1]) << 8 | channel(cell[2]) << 16);
}

void TFrameData::SetCell(std::int32_t r, std::int32_t c, TWinColor colour) {
  if (r < 0 || r >= fRows || c < 0 || c >= fColumns) return;
  std::uint8_t* cell = fData.data() + (static_cast<std::size_t>(r) * fColumns + c) * 3;
  const auto v = static_cast<std::uint32_t>(colour);
  cell[0] = static_cast<std::uint8_t>((v & 0xFF) >> 1);
  cell[1] = static_cast<std::uint8_t>(((v >> 8) & 0xFF) >> 1);
  cell[2] = static_cast<std::uint8_t>(((v >> 16) & 0xFF) >> 1);
}

void TFrameData::Assign(const TFrameData& other) {
  fRows = other.fRows;
  fColumns = other.fColumns;
  fData = other.fData;
}

bool TFrameData::ReadRaw(TStreamReader& stream) { return stream.ReadBytes(fData); }

void TFrameData::WriteRaw(TStreamWriter& stream) const { stream.WriteBytes(fData); }

bool TFrameData::ReadLegacy(TStreamReader& stream) {
  std::uint8_t* cell = fData.data();
  for (std::int64_t i = 0, n = cellCount(fRows, fColumns); i < n; ++i, cell += 3) {
    std::uint16_t v = 0;
    if (!stream.ReadU16(v)) return false;
    cell[0] = static_cast<std::uint8_t>((((v >> 8) & 15) * 17) >> 1);
    cell[1] = static_cast<std::uint8_t>((((v >> 4) & 15) * 17) >> 1);
    cell[2] = static_cast<std::uint8_t>(((v & 15) * 17) >> 1);
  }
  return true;
}

void TFrameData::WriteLegacy(TStreamWriter& stream) const {
  // 4-bit x was stored as (17x) >> 1, which reads back as 17x or 17x − 1.
  const auto nibble = [](std::uint32_t channel) { return std::min<std::uint32_t>((channel + 1) / 17, 15); };
  for (std::int32_t r = 0; r < fRows; ++r) {
    for (std::int32_t c = 0; c < fColumns; ++c) {
      const auto colour = static_cast<std::uint32_t>(CellColor(r, c));
      stream.WriteU16(static_cast<std::uint16_t>(nibble(colour & 0xFF) << 8 | nibble((colour >> 8) & 0xFF) << 4 |
                                                 nibble((colour >> 16) & 0xFF)));
    }
  }
}

void TGridBudget::AddFrames(TStreamReader& stream, std::int64_t n) {
  if (n > kMaxGridFrames - Frames) {
    stream.Fail("the grid animation has more than " + std::to_string(kMaxGridFrames) + " frames");
  }
  Frames += n;
}

void TGridBudget::AddSection(TStreamReader& stream) {
  if (++Sections > kMaxGridSections) {
    stream.Fail("the grid animation has more than " + std::to_string(kMaxGridSections) + " frame lists");
  }
}

bool TSection::ReadFromStream(TStreamReader& stream, TGridBudget& budget) {
  std::int32_t frames = 0;
  if (!stream.ReadU8(Current) || !stream.ReadS32(StoredValue) || !stream.ReadS32(frames)) return false;
  if (frames <= 0) return true;
  std::int32_t rows = 0;
  std::int32_t columns = 0;
  if (!stream.ReadS32(rows) || !stream.ReadS32(columns)) return false;
  checkGridSize(stream, rows, columns);
  budget.AddFrames(stream, frames);
  const std::uint64_t frameBytes = static_cast<std::uint64_t>(cellCount(rows, columns)) * 3;
  for (std::int32_t i = 0; i < frames; ++i) {
    if (!stream.Has(frameBytes)) return false;
    auto frame = std::make_unique<TFrameData>(rows, columns);
    frame->ReadRaw(stream);
    Add(std::move(frame));
  }
  return true;
}

void TSection::WriteToStream(TStreamWriter& stream) const {
  stream.WriteU8(Current);
  stream.WriteS32(StoredValue);
  stream.WriteS32(Count());
  if (Count() == 0) return;
  stream.WriteS32(Items(0).Rows());
  stream.WriteS32(Items(0).Columns());
  for (const auto& frame : *this) frame->WriteRaw(stream);
}

void TFrameDataLayer::SetRows(std::int32_t n) {
  fRows = n;
  fWorkFrame.SetRows(n);
}

void TFrameDataLayer::SetColumns(std::int32_t n) {
  fColumns = n;
  fWorkFrame.SetColumns(n);
}

std::int64_t TFrameDataLayer::FrameCount() const {
  std::int64_t n = 0;
  for (const auto& section : *this) n += section->Count();
  return n;
}

TSection* TFrameDataLayer::CurrentSection() const {
  for (const auto& section : *this) {
    if (section->Current != 0) return section.get();
  }
  return nullptr;
}

void TFrameDataLayer::RebuildMerged() {
  Merged.clear();
  ChargeMemory(static_cast<std::uint64_t>(FrameCount()) * sizeof(TFrameData*), "the merged frame lists");
  for (const auto& section : *this) {
    for (const auto& frame : *section) Merged.push_back(frame.get());
  }
}

void TFrameDataLayer::ExtendMerged(std::int64_t n) {
  if (Merged.empty()) return;
  const std::int64_t k = static_cast<std::int64_t>(Merged.size());
  if (n > k) ChargeMemory(static_cast<std::uint64_t>(n - k) * sizeof(TFrameData*), "the merged frame lists");
  for (std::int64_t i = 1; i < n / k; ++i) Merged.insert(Merged.end(), Merged.begin(), Merged.begin() + k);
  Merged.insert(Merged.end(), Merged.begin(), Merged.begin() + n % k);
}

bool TFrameDataLayer::ReadFromStream(TStreamReader& stream, TGridBudget& budget) {
  std::uint32_t gridColor = 0;
  std::int32_t sections = 0;
  if (!stream.ReadS32(CellWidth) || !stream.ReadS32(CellHeight) || !stream.ReadS32(fRows) ||
      !stream.ReadS32(fColumns) || !stream.ReadS32(Param) || !stream.ReadU8(GridFlag) || !stream.ReadU8(Current) ||
      !stream.ReadS32(StoredValue) || !stream.ReadU32(gridColor)) {
    return false;
  }
  GridColor = static_cast<TWinColor>(gridColor);
  if (!stream.ReadS32(sections)) return false;
  for (std::int32_t i = 0; i < sections; ++i) {
    if (stream.AtEnd()) return false;
    budget.AddSection(stream);
    auto section = std::make_unique<TSection>();
    const bool complete = section->ReadFromStream(stream, budget);
    Add(std::move(section));
    if (!complete) return false;
  }
  std::uint8_t lineFlag = 0;
  if (!stream.ReadU8(lineFlag)) return false;
  if (lineFlag == 0) return true;
  Lines.clear();
  HasLines = 1;
  return readLines(stream);
}

// Each record is charged as it is taken, so a count larger than the data
// allocates no more than the records that arrive; the line frame is made
// only for a layer that has lines.
bool TFrameDataLayer::readLines(TStreamReader& stream) {
  std::int32_t lines = 0;
  if (!stream.ReadS32(lines)) return false;
  for (std::int32_t i = 0; i < lines; ++i) {
    TLineData line;
    for (auto& v : line.Values) {
      if (!stream.ReadS32(v)) return false;
    }
    if (!stream.ReadU8(line.Flag)) return false;
    if (Lines.size() == Lines.capacity()) {
      const std::size_t grown = std::max<std::size_t>(64, 2 * Lines.capacity());
      ChargeMemory(grown * sizeof(TLineData), "grid line records");
      Lines.reserve(grown);
    }
    Lines.push_back(line);
  }
  if (Lines.empty()) return true;
  checkGridSize(stream, fRows, fColumns);
  fLineFrame = std::make_unique<TFrameData>(fRows, fColumns);
  return true;
}

void TFrameDataLayer::WriteToStream(TStreamWriter& stream) const {
  stream.WriteS32(CellWidth);
  stream.WriteS32(CellHeight);
  stream.WriteS32(fRows);
  stream.WriteS32(fColumns);
  stream.WriteS32(Param);
  stream.WriteU8(GridFlag);
  stream.WriteU8(Current);
  stream.WriteS32(StoredValue);
  stream.WriteU32(static_cast<std::uint32_t>(GridColor));
  stream.WriteS32(Count());
  for (const auto& section : *this) section->WriteToStream(stream);
  stream.WriteU8(HasLines);
  if (HasLines == 0) return;
  stream.WriteS32(static_cast<std::int32_t>(Lines.size()));
  for (const auto& line : Lines) {
    for (const std::int32_t v : line.Values) stream.WriteS32(v);
    stream.WriteU8(line.Flag);
  }
}

// A .tol file is its own body: it is held to the same cap as an inflated
// one, and its frames to the bytes the file really has.
void TFrameDataLayer::LoadFromFile(const std::string& path, std::uint64_t maxBodySize) {
  TFileInput file(path);
  const bool isCot = path.find("cot") != std::string::npos;
  if (!isCot && file.Size() > maxBodySize) {
    throw TLoadError(path + ": the grid movie is larger than " + std::to_string(maxBodySize) + " bytes");
  }
  LoadFromStream(file, path, isCot, isCot ? maxBodySize : file.Size());
}

void TFrameDataLayer::LoadFromStream(TInputStream& input, const std::string& name, bool isCot,
                                     std::uint64_t maxBodySize) {
  TStreamReader header(input, name);
  if (!isCot) {
    readGridFile(header, false, maxBodySize);
    return;
  }
  std::uint8_t tag[4] = {};
  std::uint16_t version = 0;
  if (!header.ReadBytes(tag) || std::memcmp(tag, kCotTag, 4) != 0) return;
  if (!header.ReadU16(version) || version != kCotVersion) return;
  header.Skip(8);
  TInflateStream inflater(header, name, maxBodySize);
  TStreamReader stream(inflater, name);
  readGridFile(stream, true, maxBodySize);
  // A fault behind the last frame (a wrong check value) still raises.
  stream.AtEnd();
}

// The .tol layout, big-endian; a .cot body carries full 8-bit channels.
// Frames that could not fit in the body are refused before any is read.
void TFrameDataLayer::readGridFile(TStreamReader& stream, bool halve, std::uint64_t maxBodyBytes) {
  std::uint32_t frames = 0;
  std::uint16_t rows = 0, columns = 0, cellHeight = 0, cellWidth = 0;
  std::uint8_t unused = 0, gridFlag = 0;
  if (!stream.ReadU32BE(frames) || !stream.ReadU16BE(rows) || !stream.ReadU16BE(columns) ||
      !stream.ReadU16BE(cellHeight) || !stream.ReadU16BE(cellWidth) || !stream.ReadU8(unused) ||
      !stream.ReadU8(gridFlag)) {
    stream.Fail("the grid header ends early");
  }
  GridFlag = gridFlag;
  checkGridSize(stream, rows, columns);
  const std::uint64_t frameBytes = static_cast<std::uint64_t>(cellCount(rows, columns)) * 3;
  if (frameBytes * frames > maxBodyBytes) {
    stream.Fail(std::to_string(frames) + " frames of " + std::to_string(rows) + " x " + std::to_string(columns) +
                " cells do not fit in " + std::to_string(maxBodyBytes) + " bytes");
  }
  SetRows(rows);
  SetColumns(columns);
  CellHeight = cellHeight;
  CellWidth = cellWidth;
  TGridBudget budget;
  budget.AddFrames(stream, frames);
  auto section = std::make_unique<TSection>();
  for (std::uint32_t i = 0; i < frames; ++i) {
    auto frame = std::make_unique<TFrameData>(rows, columns);
    if (!stream.Has(frame->Data().size()) || !frame->ReadRaw(stream)) {
      stream.Fail("the data ends in frame " + std::to_string(i + 1) + " of " + std::to_string(frames));
    }
    if (halve) {
      for (std::uint8_t& b : frame->Data()) b >>= 1;
    }
    section->Add(std::move(frame));
  }
  FreeAll();
  Add(std::move(section));
}

void TFrameDataLayer::writeGridBody(TStreamWriter& stream, bool fullChannels) const {
  const TSection* section = CurrentSection();
  const std::int32_t frames = section != nullptr ? section->Count() : 0;
  stream.WriteU32BE(static_cast<std::uint32_t>(frames));
  stream.WriteU16BE(static_cast<std::uint16_t>(fRows));
  stream.WriteU16BE(static_cast<std::uint16_t>(fColumns));
  stream.WriteU16BE(static_cast<std::uint16_t>(CellHeight));
  stream.WriteU16BE(static_cast<std::uint16_t>(CellWidth));
  stream.WriteU8(0);
  stream.WriteU8(GridFlag);
  for (std::int32_t i = 0; i < frames; ++i) {
    for (const std::uint8_t b : section->Items(i).Data()) stream.WriteU8(fullChannels ? static_cast<std::uint8_t>(b << 1) : b);
  }
}

std::vector<std::uint8_t> TFrameDataLayer::SaveToTol() const {
  TStreamWriter stream;
  writeGridBody(stream, false);
  return stream.TakeData();
}

std::vector<std::uint8_t> TFrameDataLayer::SaveToCot() const {
  TStreamWriter body;
  writeGridBody(body, true);
  TStreamWriter stream;
  stream.WriteBytes(kCotTag);
  stream.WriteU16(kCotVersion);
  stream.WriteU32(0);
  stream.WriteU32(0);
  stream.WriteBytes(DeflateBytes(body.Data()));
  return stream.TakeData();
}

TFrameDataLayer* TFrameDataLayers::CurrentLayer() const {
  for (const auto& layer : *this) {
    if (layer->Current != 0) return layer.get();
  }
  return nullptr;
}

void TFrameDataLayers::ResetToSingle() {
  FreeAll();
  auto layer = std::make_unique<TFrameDataLayer>();
  layer->Add(std::make_unique<TSection>());
  Add(std::move(layer));
}

bool TFrameDataLayers::ReadFromStream(TStreamReader& stream) {
  std::int32_t layers = 0;
  if (!stream.ReadS32(layers)) return false;
  if (layers <= 0) return true;
  if (layers > kMaxGridLayers) stream.Fail("the movie has " + std::to_string(layers) + " grid layers");
  const std::uint64_t indexBytes = std::uint64_t{4} * static_cast<std::uint32_t>(layers);
  if (stream.Skip(indexBytes) < indexBytes) return false;
  TGridBudget budget;
  for (std::int32_t i = 0; i < layers; ++i) {
    if (stream.AtEnd()) return false;
    auto layer = std::make_unique<TFrameDataLayer>();
    const bool complete = layer->ReadFromStream(stream, budget);
    Add(std::move(layer));
    if (!complete) return false;
  }
  return true;
}

void TFrameDataLayers::WriteToStream(TStreamWriter& stream) const {
  stream.WriteS32(Count());
  for (std::int32_t i = 0; i < Count(); ++i) stream.WriteS32(i);
  for (const auto& layer : *this) layer->WriteToStream(stream);
}

void TFrameDataLayers::MergeFrames() {
  if (Empty()) return;
  std::int64_t longest = 0;
  for (const auto& layer : *this) {
    layer->RebuildMerged();
    longest = std::max<std::int64_t>(longest, static_cast<std::int64_t>(layer->Merged.size()));
  }
  for (const auto& layer : *this) layer->ExtendMerged(longest);
}

}  // namespace lumora
