#include "render/band_painter.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

#include "render/band_steps_p.h"
#include "render/band_queue_p.h"

namespace lumora {

namespace {

constexpr std::int32_t kMinBandHeight = 8;
constexpr std::int32_t kMaxBandHeight = 256;
// How many items ahead a band asks for the segments it paints next.
constexpr std::size_t kPrefetchItems = 2;
// Items recorded before they are handed to the threads, and the most
// chunks before a frame's steps all land.
constexpr std::size_t kChunkItems = 1024;
constexpr std::int32_t kMaxChunks = 64;

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

TBandPainter::TBandPainter()
    : fPaint([this](std::int32_t chunk, std::int32_t band) { paintBand(chunk, band); }), fChunks(kMaxChunks) {}

TBandPainter::~TBandPainter() {
  if (fSurface != nullptr) End();
}

void TBandPainter::SetThreadCount(std::int32_t threads) { fThreadCount = std::max(threads, kAllCores); }

void TBandPainter::SetBandHeight(std::int32_t rows) { fBandHeightSetting = std::max(rows, kNoBands); }

// The helpers start here, for a new thread count, rather than when the
// steps land, which may happen while the recording ends during the
// unwinding of an error.
void TBandPainter::Begin(TBitmap32& surface) {
  if (fBandHeightSetting == kNoBands) return;
  if (fSurface != nullptr) throw std::logic_error("a band painter records into one surface at a time");
  if (surface.fRecorder != nullptr) throw std::logic_error("a surface is recorded by one band painter at a time");
  const std::int32_t threads = fThreadCount == kAllCores ? AvailableCores() : fThreadCount;
  if (!fQueue || fQueue->Threads() != threads) fQueue = std::make_unique<bands::TBandQueue>(threads);
  fBandHeight = fBandHeightSetting == kAutomaticBands ? automaticBandHeight(surface.Width()) : fBandHeightSetting;
  fBlockShift = blockShift(surface.Width());
  fSurface = &surface;
  fWidth = surface.Width();
  fHeight = surface.Height();
  surface.fRecorder = this;
}

void TBandPainter::End() {
  if (fSurface == nullptr) return;
  Settle();
  fSurface->fRecorder = nullptr;
  fSurface = nullptr;
}

std::int32_t TBandPainter::bandCount() const { return (fHeight + fBandHeight - 1) / fBandHeight; }

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

// The threads paint from the first chunk handed over; what the rows held
// must be settled before.
void TBandPainter::startWork() {
  prepareRows();
  fPixels = fSurface->fBits.data();
  fSurface->fUniform = false;
  fQueue->Start(bandCount(), &fPaint);
  fStarted = true;
  pend(*fSurface);
}

TBandPainter::TChunk& TBandPainter::openChunk() {
  if (fSubmitted == kMaxChunks) Settle();
  if (!fStarted) startWork();
  std::unique_ptr<TChunk>& chunk = fChunks[static_cast<std::size_t>(fSubmitted)];
  if (!chunk) chunk = std::make_unique<TChunk>();
  chunk->Bands.resize(static_cast<std::size_t>(bandCount()));
  return *chunk;
}

void TBandPainter::itemsAdded(TChunk& chunk, std::size_t count) {
  chunk.Items += count;
  if (chunk.Items >= kChunkItems) submit();
}

// With every slot handed over there is no chunk open.
void TBandPainter::submit() {
  if (!fStarted || fSubmitted == kMaxChunks) return;
  const std::unique_ptr<TChunk>& chunk = fChunks[static_cast<std::size_t>(fSubmitted)];
  if (!chunk || chunk->Items == 0) return;
  fQueue->Submit(++fSubmitted);
}

void TBandPainter::addStep(TChunk& chunk, const TStep& step, std::int32_t top, std::int32_t bottom) {
  const auto index = static_cast<std::uint32_t>(chunk.Steps.size());
  chunk.Steps.push_back(step);
  const std::int32_t first = std::max(floorDiv(top, fBandHeight), 0);
  const std::int32_t last = std::min(floorDiv(bottom - 1, fBandHeight), bandCount() - 1);
  for (std::int32_t b = first; b <= last; ++b) chunk.Bands[static_cast<std::size_t>(b)].push_back({nullptr, 0, index});
  itemsAdded(chunk, static_cast<std::size_t>(std::max(last - first + 1, 0)));
}

void TBandPainter::AddClear(TColor32 colour) {
  addStep(openChunk(), {TStepKind::Clear, colour, 0}, 0, fHeight);
}

void TBandPainter::AddCoverage(const TPackedCoverage& coverage, TColor32 colour, const TBandRuns& runs) {
  TChunk& chunk = openChunk();
  const std::uint32_t* words = coverage.Words().data();
  std::size_t added = 0;
  for (const TBandRun& run : runs) {
    if (run.Band >= bandCount()) continue;
    chunk.Bands[static_cast<std::size_t>(run.Band)].push_back({words + run.First, run.End - run.First, colour});
    ++added;
  }
  itemsAdded(chunk, added);
}

bool TBandPainter::AddTransfer(const bands::TTransfer& transfer) {
  const TBitmap32& source = *transfer.Source;
  if (&source == fSurface || (source.fPending != nullptr && source.fPending != this)) return false;
  TChunk& chunk = openChunk();
  chunk.Transfers.push_back(transfer);
  chunk.Transfers.back().Pixels = {source.fBits.data(), source.Width()};
  pend(source);
  addStep(chunk, {TStepKind::Transfer, 0, chunk.Transfers.size() - 1}, transfer.Area.Top, transfer.Area.Bottom);
  return true;
}

void TBandPainter::Settle() {
  releasePending();
  if (!fStarted) return;
  submit();
  fQueue->Finish();
  for (std::int32_t k = 0; k <= std::min(fSubmitted, kMaxChunks - 1); ++k) {
    TChunk* chunk = fChunks[static_cast<std::size_t>(k)].get();
    if (chunk == nullptr) continue;
    for (std::vector<TBandItem>& items : chunk->Bands) items.clear();
    chunk->Steps.clear();
    chunk->Transfers.clear();
    chunk->Items = 0;
  }
  fSubmitted = 0;
  fStarted = false;
  fSurface->fTracked = true;
  fKnownSurface = fSurface;
}

// What the last frame left holds only if nothing but this painter wrote the
// surface since.
void TBandPainter::prepareRows() {
  const auto height = static_cast<std::size_t>(fHeight);
  const bool known = fKnownSurface == fSurface && fSurface->fTracked && fRowsKnown.size() == height;
  if (known) return;
  fWritten.assign(height, 0);
  fRowColours.assign(height, 0);
  fRowsKnown.assign(height, 0);
}

void TBandPainter::paintBand(std::int32_t chunk, std::int32_t band) {
  const TChunk& steps = *fChunks[static_cast<std::size_t>(chunk)];
  const std::int32_t top = band * fBandHeight;
  const std::int32_t bottom = std::min(top + fBandHeight, fHeight);
  const bands::TBand rows{{fPixels, fWidth, fHeight}, top, bottom, fWritten.data(), fBlockShift};
  const std::vector<TBandItem>& items = steps.Bands[static_cast<std::size_t>(band)];
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i + kPrefetchItems < items.size()) __builtin_prefetch(items[i + kPrefetchItems].Words);
    const TBandItem& item = items[i];
    if (item.Words != nullptr) {
      bands::PaintSegments(rows, item.Words, 0, item.Size, item.ColourOrStep);
      continue;
    }
    const TStep& step = steps.Steps[item.ColourOrStep];
    if (step.Kind == TStepKind::Clear) {
      clearRows(top, bottom, step.Colour);
    } else {
      bands::PaintTransferRows(rows, steps.Transfers[step.Transfer]);
    }
  }
}

// A row known to hold the colour outside the blocks painted since needs
// only those cleared.
void TBandPainter::clearRows(std::int32_t top, std::int32_t bottom, TColor32 colour) {
  const std::int32_t width = fWidth;
  for (std::int32_t y = top; y < bottom; ++y) {
    const auto i = static_cast<std::size_t>(y);
    TColor32* row = fPixels + i * static_cast<std::size_t>(width);
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
