#include "render/band_painter.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "render/band_steps_p.h"
#include "render/band_workers_p.h"

namespace lumora {

namespace {

constexpr std::int32_t kMinBandHeight = 8;
constexpr std::int32_t kMaxBandHeight = 256;
constexpr bands::TRowExtent kNothingWritten{std::numeric_limits<std::int32_t>::max(),
                                            std::numeric_limits<std::int32_t>::min()};

std::int32_t floorDiv(std::int32_t a, std::int32_t b) { return a >= 0 ? a / b : -((-std::int64_t{a} + b - 1) / b); }

std::int32_t automaticBandHeight(std::int32_t width) {
  const std::int64_t rowBytes = std::max<std::int64_t>(width, 1) * static_cast<std::int64_t>(sizeof(TColor32));
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(kBandBytes / rowBytes, kMinBandHeight, kMaxBandHeight));
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

bands::TBandWorkers& TBandPainter::workers() {
  if (!fWorkers) {
    fWorkers = std::make_unique<bands::TBandWorkers>(fThreadCount == kAllCores ? AvailableCores()
                                                                                : fThreadCount);
  }
  return *fWorkers;
}

void TBandPainter::Begin(TBitmap32& surface) {
  if (fBandHeightSetting == kNoBands) return;
  if (fSurface != nullptr) throw std::logic_error("a band painter records into one surface at a time");
  if (surface.fRecorder != nullptr) throw std::logic_error("a surface is recorded by one band painter at a time");
  fBandHeight = fBandHeightSetting == kAutomaticBands ? automaticBandHeight(surface.Width()) : fBandHeightSetting;
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

void TBandPainter::addToBands(std::uint32_t step, std::int32_t top, std::int32_t bottom) {
  const std::int32_t first = std::max(floorDiv(top, fBandHeight), 0);
  const std::int32_t last = std::min(floorDiv(bottom - 1, fBandHeight), bandCount() - 1);
  for (std::int32_t b = first; b <= last; ++b) fBandItems[static_cast<std::size_t>(b)].push_back({step, 0, 0});
}

void TBandPainter::AddClear(TColor32 colour) {
  const auto step = static_cast<std::uint32_t>(fSteps.size());
  fSteps.push_back({TStepKind::Clear, colour, nullptr, 0});
  addToBands(step, 0, fSurface->Height());
  pend(*fSurface);
}

void TBandPainter::AddCoverage(const TPackedCoverage& coverage, TColor32 colour, const TBandRuns& runs) {
  const auto step = static_cast<std::uint32_t>(fSteps.size());
  bool added = false;
  for (const TBandRun& run : runs) {
    if (run.Band >= bandCount()) continue;
    fBandItems[static_cast<std::size_t>(run.Band)].push_back({step, run.First, run.End});
    added = true;
  }
  if (!added) return;
  fSteps.push_back({TStepKind::Coverage, colour, &coverage, 0});
  pend(*fSurface);
}

bool TBandPainter::AddTransfer(const bands::TTransfer& transfer) {
  const TBitmap32& source = *transfer.Source;
  if (&source == fSurface || (source.fPending != nullptr && source.fPending != this)) return false;
  const auto step = static_cast<std::uint32_t>(fSteps.size());
  fSteps.push_back({TStepKind::Transfer, 0, nullptr, fTransfers.size()});
  fTransfers.push_back(transfer);
  addToBands(step, transfer.Area.Top, transfer.Area.Bottom);
  pend(*fSurface);
  pend(source);
  return true;
}

void TBandPainter::Settle() {
  if (fSteps.empty()) return;
  releasePending();
  prepareRows();
  fSurface->fUniform = false;
  workers().Run(bandCount(), [this](std::int32_t band) { paintBand(band); });
  fSteps.clear();
  fTransfers.clear();
  for (std::vector<TBandItem>& items : fBandItems) items.clear();
  fSurface->fTracked = true;
  fKnownSurface = fSurface;
}

// What the last frame left holds only if nothing but this painter wrote the
// surface since.
void TBandPainter::prepareRows() {
  const auto height = static_cast<std::size_t>(fSurface->Height());
  const bool known = fKnownSurface == fSurface && fSurface->fTracked && fRowsKnown.size() == height;
  if (known) return;
  fExtents.assign(height, kNothingWritten);
  fRowColours.assign(height, 0);
  fRowsKnown.assign(height, 0);
}

void TBandPainter::paintBand(std::int32_t band) {
  const std::int32_t top = band * fBandHeight;
  const std::int32_t bottom = std::min(top + fBandHeight, fSurface->Height());
  const bands::TBand rows{{fSurface->fBits.data(), fSurface->Width(), fSurface->Height()}, top, bottom,
                          fExtents.data()};
  for (const TBandItem& item : fBandItems[static_cast<std::size_t>(band)]) {
    const TStep& step = fSteps[item.Step];
    switch (step.Kind) {
      case TStepKind::Clear:
        clearRows(top, bottom, step.Colour);
        break;
      case TStepKind::Coverage:
        bands::PaintSegments(rows, step.Coverage->Words().data(), item.First, item.End, step.Colour);
        break;
      case TStepKind::Transfer:
        bands::PaintTransferRows(rows, fTransfers[step.Transfer]);
        break;
    }
  }
}

// A row known to hold the colour outside what was painted since needs only
// that part cleared.
void TBandPainter::clearRows(std::int32_t top, std::int32_t bottom, TColor32 colour) {
  const std::int32_t width = fSurface->Width();
  for (std::int32_t y = top; y < bottom; ++y) {
    const auto i = static_cast<std::size_t>(y);
    TColor32* row = fSurface->fBits.data() + i * static_cast<std::size_t>(width);
    std::int32_t left = 0;
    std::int32_t right = width;
    if (fRowsKnown[i] != 0 && fRowColours[i] == colour) {
      left = std::max(fExtents[i].Left, 0);
      right = std::min(fExtents[i].Right, width);
    }
    if (left < right) std::fill(row + left, row + right, colour);
    fRowsKnown[i] = 1;
    fRowColours[i] = colour;
    fExtents[i] = kNothingWritten;
  }
}

}  // namespace lumora
