// Grid animations: frames of cell colours (TFrameData), frame lists
// (TSection), grid layers (TFrameDataLayer) and a movie's grid-layer list
// (TFrameDataLayers), with their records and the .tol and .cot grid files.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "io/stream.h"
#include "render/color32.h"
#include "render/object.h"
#include "render/object_list.h"

namespace lumora {

// Limits on what one file may make the reader build, so that records that
// carry little or no data cannot exhaust memory (merging repeats up to
// kMaxGridFrames frame references in each of up to kMaxGridLayers layers).
inline constexpr std::int64_t kMaxFrameCells = std::int64_t{1} << 24;
inline constexpr std::int64_t kMaxGridFrames = std::int64_t{1} << 18;
inline constexpr std::int64_t kMaxGridSections = std::int64_t{1} << 16;
inline constexpr std::int64_t kMaxGridLayers = 64;

// One frame: Rows × Columns cells of red, green and blue, each channel kept
// in 7 bits (a channel v is stored as v >> 1 and reads back as 2 × stored).
class TFrameData : public TObject {
 public:
  TFrameData() = default;
  // Zero-filled.
  TFrameData(std::int32_t rows, std::int32_t columns) { SetSize(rows, columns); }
  std::string ClassName() const override { return "TFrameData"; }

  std::int32_t Rows() const { return fRows; }
  std::int32_t Columns() const { return fColumns; }
  // Negative sizes count as 0; more than kMaxFrameCells cells raise
  // std::length_error and leave the frame as it was.
  void SetSize(std::int32_t rows, std::int32_t columns);
  void SetRows(std::int32_t n);
  void SetColumns(std::int32_t n);

  // Cell (r, c) at byte (c + r × Columns) × 3: red, green, blue.
  std::span<std::uint8_t> Data() { return fData; }
  std::span<const std::uint8_t> Data() const { return fData; }

  // 0x00BBGGRR with each channel = stored × 2 in 8 bits; 0 outside the frame.
  TWinColor CellColor(std::int32_t r, std::int32_t c) const;
  // Stores each channel >> 1; ignored outside the frame.
  void SetCell(std::int32_t r, std::int32_t c, TWinColor colour);
  void Assign(const TFrameData& other);

  // Rows × Columns × 3 stored bytes; false when the data ends first.
  bool ReadRaw(TStreamReader& stream);
  void WriteRaw(TStreamWriter& stream) const;
  // Rows of 16-bit cells 0x0RGB, each 4-bit channel x taken as x × 17.
  bool ReadLegacy(TStreamReader& stream);
  void WriteLegacy(TStreamWriter& stream) const;

 private:
  std::int32_t fRows = 0;
  std::int32_t fColumns = 0;
  std::vector<std::uint8_t> fData;
};

// The counts a whole read may build, shared by every record of one file.
struct TGridBudget {
  std::int64_t Frames = 0;
  std::int64_t Sections = 0;
  // Raises TLoadError through the reader when a limit is passed.
  void AddFrames(TStreamReader& stream, std::int64_t n);
  void AddSection(TStreamReader& stream);
};

// A frame list; owns its frames.
class TSection : public TCustomObjectList<TFrameData> {
 public:
  std::uint8_t Current = 1;
  std::int32_t StoredValue = 16;

  // The section record; false when the data ends before the record does
  // (the frames read so far are kept).
  bool ReadFromStream(TStreamReader& stream, TGridBudget& budget);
  void WriteToStream(TStreamWriter& stream) const;
};

// A line record kept with a grid layer: thirteen s32 values and a byte.
struct TLineData {
  std::array<std::int32_t, 13> Values{};
  std::uint8_t Flag = 0;
};

// One grid layer: its sections (frame lists) and the merged frame list.
class TFrameDataLayer : public TCustomObjectList<TSection> {
 public:
  TFrameDataLayer() = default;

  std::int32_t Rows() const { return fRows; }
  std::int32_t Columns() const { return fColumns; }
  // Change the field and resize WorkFrame.
  void SetRows(std::int32_t n);
  void SetColumns(std::int32_t n);

  TWinColor GridColor = 0;
  std::int32_t CellHeight = 0;
  std::int32_t CellWidth = 0;
  std::int32_t Param = 0;
  std::int32_t StoredValue = 16;
  std::uint8_t HasLines = 0;
  std::uint8_t GridFlag = 0;
  std::uint8_t Current = 1;
  std::vector<TLineData> Lines;
  // A frame of the layer's size, made when line records are read.
  const TFrameData* LineFrame() const { return fLineFrame.get(); }
  const TFrameData& WorkFrame() const { return fWorkFrame; }

  // Every frame of every section in order, extended to the common length;
  // the sections own the frames.
  std::vector<TFrameData*> Merged;
  // Frames in all sections.
  std::int64_t FrameCount() const;

  // The first section with Current set, or none.
  TSection* CurrentSection() const;
  void RebuildMerged();
  // Repeats the first frames of a non-empty Merged until it holds n.
  void ExtendMerged(std::int64_t n);

  // The layer record; false when the data ends before it does.
  bool ReadFromStream(TStreamReader& stream, TGridBudget& budget);
  void WriteToStream(TStreamWriter& stream) const;

  // A grid movie file: .cot when the path contains "cot", else .tol. A .cot
  // file with a wrong tag or version loads nothing and raises nothing; any
  // other fault raises TLoadError and leaves the sections as they were. A
  // .tol file, and a .cot file's inflated body, hold at most maxBodySize
  // bytes.
  void LoadFromFile(const std::string& path, std::uint64_t maxBodySize = kMaxInflatedSize);
  // The same from a source, named in errors as name.
  void LoadFromStream(TInputStream& input, const std::string& name, bool isCot,
                      std::uint64_t maxBodySize = kMaxInflatedSize);
  // The frames of the current section (or none) as grid movie files.
  std::vector<std::uint8_t> SaveToTol() const;
  std::vector<std::uint8_t> SaveToCot() const;

 private:
  bool readLines(TStreamReader& stream);
  void readGridFile(TStreamReader& stream, bool halve, std::uint64_t maxBodyBytes);
  void writeGridBody(TStreamWriter& stream, bool fullChannels) const;

  std::int32_t fRows = 0;
  std::int32_t fColumns = 0;
  std::unique_ptr<TFrameData> fLineFrame;
  TFrameData fWorkFrame;
};

// A movie's grid layers, indexed by a graphic's GridLayer.
class TFrameDataLayers : public TCustomObjectList<TFrameDataLayer> {
 public:
  // The first layer with Current set, or none.
  TFrameDataLayer* CurrentLayer() const;
  // One layer holding one empty section, as grid-program movies have.
  void ResetToSingle();
  // The grid-layer list record; false when the data ends before it does.
  bool ReadFromStream(TStreamReader& stream);
  void WriteToStream(TStreamWriter& stream) const;
  // Rebuilds every Merged and extends them all to the longest.
  void MergeFrames();
};

}  // namespace lumora
