// TBandPainter: draws a frame in horizontal bands small enough to stay in a
// core's cache, on as many threads as it is given. While it records into a
// surface, the paints that can wait (the clear, stored coverage, block and
// stretch transfers, transformed images) are kept as steps instead of
// painted. When the recording ends, or anything reads or writes a pixel of
// a surface a waiting step involves, every band paints its part of every
// step in the steps' order. Each pixel then meets the same paints in the
// same order as painting every step at once would give it, so the pixels
// are the same; only the order of memory accesses changes.
//
// The painter also keeps what its last frame left: which columns of each
// row differ from the colour the row was cleared to. The next clear to that
// colour then writes only those, as long as nothing else wrote the surface.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "render/bitmap32.h"
#include "render/packed_coverage.h"

namespace lumora {

namespace bands {
class TBandQueue;
struct TTransfer;
}  // namespace bands

// Band heights: chosen so that a band holds about kBandBytes of pixels, or
// none at all: every paint lands at once, graphic by graphic.
inline constexpr std::int32_t kAutomaticBands = 0;
inline constexpr std::int32_t kNoBands = -1;
inline constexpr std::int64_t kBandBytes = 256 * 1024;
// Thread counts: every core the process may run on.
inline constexpr std::int32_t kAllCores = 0;
// The cores this process may run on (its affinity), at least 1.
std::int32_t AvailableCores();

class TBandPainter {
 public:
  TBandPainter();
  ~TBandPainter();
  TBandPainter(const TBandPainter&) = delete;
  TBandPainter& operator=(const TBandPainter&) = delete;

  // kAllCores, or the number of threads that paint bands (the caller's
  // included); 1 paints on the calling thread alone. Takes effect with the
  // next recording.
  void SetThreadCount(std::int32_t threads);
  std::int32_t ThreadCount() const { return fThreadCount; }
  // kAutomaticBands, kNoBands, or rows per band.
  void SetBandHeight(std::int32_t rows);
  std::int32_t BandHeightSetting() const { return fBandHeightSetting; }
  // The rows of a band of the surface recorded into; valid while recording.
  std::int32_t BandHeight() const { return fBandHeight; }

  // Recording into the surface starts (unless the band height is kNoBands)
  // and ends; End paints every step still waiting. Recording into a second
  // surface before End is refused with std::logic_error.
  void Begin(TBitmap32& surface);
  void End();

  // The steps, as the drawing functions of the surface recorded into hand
  // them over. Packed coverage must stay as it is and alive until the
  // steps are painted; its runs are those for BandHeight().
  void AddClear(TColor32 colour);
  void AddCoverage(const TPackedCoverage& coverage, TColor32 colour, const TBandRuns& runs);
  // False, and nothing kept, when the source cannot wait for the painter
  // (it is the surface itself, or another painter's steps read it).
  bool AddTransfer(const bands::TTransfer& transfer);

  // Paints every step waiting, band by band, and forgets them.
  void Settle();

 private:
  enum class TStepKind : std::uint8_t { Clear, Transfer };
  // The steps other than coverage: a clear, or the transfer at an index.
  struct TStep {
    TStepKind Kind;
    TColor32 Colour;
    std::size_t Transfer;
  };
  // A step's part in one band: the segments' words of coverage in its
  // colour, or another step.
  struct TBandItem {
    const std::uint32_t* Words;
    std::uint32_t Size;
    std::uint32_t ColourOrStep;
  };
  // The steps recorded between two hand-overs to the threads, per band.
  struct TChunk {
    std::vector<std::vector<TBandItem>> Bands;
    std::vector<TStep> Steps;
    std::vector<bands::TTransfer> Transfers;
    std::size_t Items = 0;
  };

  std::int32_t bandCount() const;
  TChunk& openChunk();
  void startWork();
  void addStep(TChunk& chunk, const TStep& step, std::int32_t top, std::int32_t bottom);
  void itemsAdded(TChunk& chunk, std::size_t count);
  void submit();
  void pend(const TBitmap32& surface);
  void releasePending();
  void prepareRows();
  void paintBand(std::int32_t chunk, std::int32_t band);
  void clearRows(std::int32_t top, std::int32_t bottom, TColor32 colour);

  std::int32_t fThreadCount = kAllCores;
  std::int32_t fBandHeightSetting = kAutomaticBands;
  std::int32_t fBandHeight = 0;
  std::unique_ptr<bands::TBandQueue> fQueue;
  std::function<void(std::int32_t, std::int32_t)> fPaint;

  // The surface recorded into, its size and, while the threads paint, its
  // pixels.
  TBitmap32* fSurface = nullptr;
  std::int32_t fWidth = 0;
  std::int32_t fHeight = 0;
  TColor32* fPixels = nullptr;
  std::int32_t fBlockShift = 0;
  // Chunks [0, fSubmitted) are the threads'; the next one is recorded into.
  // The slots never move, so threads read them while others are recorded.
  std::vector<std::unique_ptr<TChunk>> fChunks;
  std::int32_t fSubmitted = 0;
  bool fStarted = false;
  // Surfaces whose fPending names this painter.
  std::vector<const TBitmap32*> fPending;

  // What the last frame left, per row: the colour the row was cleared to,
  // whether that is known, and the blocks of columns painted since.
  const TBitmap32* fKnownSurface = nullptr;
  std::vector<std::uint64_t> fWritten;
  std::vector<TColor32> fRowColours;
  std::vector<std::uint8_t> fRowsKnown;
};

// Records into a surface for as long as it lives.
class TBandRecording {
 public:
  TBandRecording(TBandPainter& painter, TBitmap32& surface) : fPainter(painter) { fPainter.Begin(surface); }
  ~TBandRecording() { fPainter.End(); }
  TBandRecording(const TBandRecording&) = delete;
  TBandRecording& operator=(const TBandRecording&) = delete;

 private:
  TBandPainter& fPainter;
};

}  // namespace lumora
