#include "render/band_painter.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

#include "render/band_steps_p.h"
#include "render/band_workers_p.h"

namespace lumora {

namespace {

constexpr std::int32_t kMinBandHeight = 8;
constexpr std::int32_t kMaxBandHeight = 256;
// How many items ahead a band asks for the segments it paints next.
constexpr std::size_t kPrefetchItems = 2;

std::int32_t floorDiv(std::int32_t a, std::int32_t b) { return a >= 0 ? a / b : -((-std::int64_t{a} + b - 1) / b); }

std::int32_t automaticBandHeight(std::int32_t width) {
  const std::int64_t rowBytes = std::max<std::int64_t>(width, 1) * static_cast<std::int64_t>(sizeof(TColor32));
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(kBandBytes / rowBytes, kMinBandHeight, kMaxBandHeight));
}

// Blocks of columns narrow enough that 64 of them span the row.
std::int32_t blockShift(std::int32_t width) {
  std::int32_t shift = 0;
  while ((std::int64_t{width} + (std::int64_t{1} << shift) - 1) >> shift > 64) ++shift;
  return shift;
}

// Fills the blocks whose bits are set, a run of neighbouring blocks at once.
void fillBlocks(TColor32* row, std::int32_t width, std::uint64_t blocks, std::int32_t shift, TColor32 colour) {
  while (blocks != 0) {
    const int first = std::countr_zero(blocks);
    const int run = std::countr_one(blocks >> first);
    const std::int64_t left = std::int64_t{first} << shift;
    const std::int64_t right = std::min<std::int64_t>(std::int64_t{first + run} << shift, width);
    std::fill(row + left, row + right, colour);
    blocks = run + first >= 64 ? 0 : blocks & ~((std::uint64_t{1} << (first + run)) - 1);
  }
}

}  // namespace

TBandPainter::TBandPainter() = default;

TBandPainter::~TBandPainter() {
  if (fSurface != nullptr) End();
}

void TBandPainter::SetThreadCount(std::int32_t threads) {
  fThreadCount = std::max(threads, kAllCores);
  fWorkers.reset();
}

void TBandPainter::SetBandHeight(std::int32_t rows) { fBandHeightSetting = std::max(rows, kNoBands); }

// The helpers start here rather than when the steps land, which may happen
// while the recording ends during the unwinding of an error.
void TBandPainter::Begin(TBitmap32& surface) {
  if (fBandHeightSetting == kNoBands) return;
  if (fSurface != nullptr) throw std::logic_error("a band painter records into one surface at a time");
  if (surface.fRecorder != nullptr) throw std::logic_error("a surface is recorded by one band painter at a time");
  if (!fWorkers) fWorkers = std::make_unique<bands::TBandWorkers>(fThreadCount == kAllCores ? AvailableCores() : fThreadCount);
  fBandHeight = fBandHeightSetting == kAutomaticBands ? automaticBandHeight(surface.Width()) : fBandHeightSetting;
  fBlockShift = blockShift(surface.Width());
  fSurface = &surface;
  surface.fRecorder = this;
  fBandItems.resize(static_cast<std::size_t>(bandCount()));
}

void TBandPainter::End() {
  if (fSurface == nullptr) return;
  Settle();
  fSurface->fRecorder = nullptr;
  fSurface = nullptr;
}

std::int32_t TBandPainter::bandCount() const {
  return fSurface == nullptr ? 0 : (fSurface->Height() + fBandHeight - 1) / fBandHeight;
}

// Any access to the surface's pixels, and any change to a source's, lets
// the steps land first.
void TBandPainter::pend(const TBitmap32& surface) {
  if (surface.fPending == this) return;
  surface.fPending = this;
  fPending.push_back(&surface);
}

void TBandPainter::releasePending() {
  for (const TBitmap32* surface : fPending) surface->fPending = nullptr;
  fPending.clear();
}

void TBandPainter::addStep(const TStep& step, std::int32_t top, std::int32_t bottom) {
  const auto index = static_cast<std::uint32_t>(fSteps.size());
  fSteps.push_back(step);
  const std::int32_t first = std::max(floorDiv(top, fBandHeight), 0);
  const std::int32_t last = std::min(floorDiv(bottom - 1, fBandHeight), bandCount() - 1);
  for (std::int32_t b = first; b <= last; ++b) fBandItems[static_cast<std::size_t>(b)].push_back({nullptr, 0, index});
  fItemCount += static_cast<std::size_t>(std::max(last - first + 1, 0));
  pend(*fSurface);
}

void TBandPainter::AddClear(TColor32 colour) { addStep({TStepKind::Clear, colour, 0}, 0, fSurface->Height()); }

void TBandPainter::AddCoverage(const TPackedCoverage& coverage, TColor32 colour, const TBandRuns& runs) {
  const std::uint32_t* words = coverage.Words().data();
  const std::size_t before = fItemCount;
  for (const TBandRun& run : runs) {
    if (run.Band >= bandCount()) continue;
    fBandItems[static_cast<std::size_t>(run.Band)].push_back({words + run.First, run.End - run.First, colour});
    ++fItemCount;
  }
  if (fItemCount > before) pend(*fSurface);
}

bool TBandPainter::AddTransfer(const bands::TTransfer& transfer) {
  const TBitmap32& source = *transfer.Source;
  if (&source == fSurface || (source.fPending != nullptr && source.fPending != this)) return false;
  fTransfers.push_back(transfer);
  addStep({TStepKind::Transfer, 0, fTransfers.size() - 1}, transfer.Area.Top, transfer.Area.Bottom);
  pend(source);
  return true;
}

void TBandPainter::Settle() {
  releasePending();
  if (fItemCount > 0) {
    prepareRows();
    fSurface->fUniform = false;
    fWorkers->Run(bandCount(), [this](std::int32_t band) { paintBand(band); });
    fSurface->fTracked = true;
    fKnownSurface = fSurface;
    for (std::vector<TBandItem>& items : fBandItems) items.clear();
    fItemCount = 0;
  }
  fSteps.clear();
  fTransfers.clear();
}

// What the last frame left holds only if nothing but this painter wrote the
// surface since.
void TBandPainter::prepareRows() {
  const auto height = static_cast<std::size_t>(fSurface->Height());
  const bool known = fKnownSurface == fSurface && fSurface->fTracked && fRowsKnown.size() == height;
  if (known) return;
  fWritten.assign(height, 0);
  fRowColours.assign(height, 0);
  fRowsKnown.assign(height, 0);
}

void TBandPainter::paintBand(std::int32_t band) {
  const std::int32_t top = band * fBandHeight;
  const std::int32_t bottom = std::min(top + fBandHeight, fSurface->Height());
  const bands::TBand rows{{fSurface->fBits.data(), fSurface->Width(), fSurface->Height()}, top, bottom,
                          fWritten.data(), fBlockShift};
  const std::vector<TBandItem>& items = fBandItems[static_cast<std::size_t>(band)];
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i + kPrefetchItems < items.size()) __builtin_prefetch(items[i + kPrefetchItems].Words);
    const TBandItem& item = items[i];
    if (item.Words != nullptr) {
      bands::PaintSegments(rows, item.Words, 0, item.Size, item.ColourOrStep);
      continue;
    }
    const TStep& step = fSteps[item.ColourOrStep];
    if (step.Kind == TStepKind::Clear) {
      clearRows(top, bottom, step.Colour);
    } else {
      bands::PaintTransferRows(rows, fTransfers[step.Transfer]);
    }
  }
}

// A row known to hold the colour outside the blocks painted since needs
// only those cleared.
void TBandPainter::clearRows(std::int32_t top, std::int32_t bottom, TColor32 colour) {
  const std::int32_t width = fSurface->Width();
  for (std::int32_t y = top; y < bottom; ++y) {
    const auto i = static_cast<std::size_t>(y);
    TColor32* row = fSurface->fBits.data() + i * static_cast<std::size_t>(width);
    if (fRowsKnown[i] != 0 && fRowColours[i] == colour) {
      fillBlocks(row, width, fWritten[i], fBlockShift, colour);
    } else {
      std::fill(row, row + width, colour);
    }
    fRowsKnown[i] = 1;
    fRowColours[i] = colour;
    fWritten[i] = 0;
  }
}

}  // namespace lumora
