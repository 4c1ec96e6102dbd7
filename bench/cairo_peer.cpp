#include "bench/cairo_peer.h"

#include <cairo.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

#include "render/gr32_graphics.h"

namespace lumora::bench {

namespace {

constexpr cairo_antialias_t kAntialias = CAIRO_ANTIALIAS_DEFAULT;

double coordinate(TFixed v) { return v / 65536.0; }

void setColour(cairo_t* cr, TColor32 colour) {
  cairo_set_source_rgb(cr, RedComponent(colour) / 255.0, GreenComponent(colour) / 255.0,
                       BlueComponent(colour) / 255.0);
}

void buildPath(cairo_t* cr, const TOutlineJob& job) {
  cairo_new_path(cr);
  cairo_move_to(cr, coordinate(job.Path[0].X), coordinate(job.Path[0].Y));
  for (std::size_t i = 1; i < job.Path.size(); ++i) {
    cairo_line_to(cr, coordinate(job.Path[i].X), coordinate(job.Path[i].Y));
  }
  if (job.Closed) cairo_close_path(cr);
}

// The pen the drawing interface widens by: thinner pens widen to 1.25 pixels.
double strokeWidth(TFixed penWidth) { return coordinate(penWidth <= 0xFFFF ? kMinWidenedStroke : penWidth); }

bool isFill(TOutlineKind kind) { return kind == TOutlineKind::PolygonFill || kind == TOutlineKind::BezierFill; }

// The box of the rows that hold bytes.
struct TBox {
  std::int32_t Left = INT32_MAX;
  std::int32_t Top = INT32_MAX;
  std::int32_t Right = INT32_MIN;
  std::int32_t Bottom = INT32_MIN;
  bool Empty() const { return Left >= Right || Top >= Bottom; }
};

TBox rowsBox(const TStoredCoverage& coverage) {
  TBox box;
  const std::size_t count = std::min(coverage.Mask->RowOrigins.size(), coverage.Mask->CoverageRows.size());
  for (std::size_t k = 0; k < count; ++k) {
    const std::vector<std::uint8_t>& row = coverage.Mask->CoverageRows[k];
    if (row.empty()) continue;
    const TPoint origin = coverage.Mask->RowOrigins[k];
    box.Left = std::min(box.Left, origin.X);
    box.Right = std::max(box.Right, origin.X + static_cast<std::int32_t>(row.size()));
    box.Top = std::min(box.Top, origin.Y);
    box.Bottom = std::max(box.Bottom, origin.Y + 1);
  }
  return box;
}

TCairoSurface maskSurface(const TStoredCoverage& coverage, const TBox& box) {
  TCairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_A8, box.Right - box.Left, box.Bottom - box.Top));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) throw std::runtime_error("cairo: no A8 surface");
  cairo_surface_flush(surface.get());
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  std::memset(data, 0, static_cast<std::size_t>(stride) * static_cast<std::size_t>(box.Bottom - box.Top));
  const std::size_t count = std::min(coverage.Mask->RowOrigins.size(), coverage.Mask->CoverageRows.size());
  for (std::size_t k = 0; k < count; ++k) {
    const std::vector<std::uint8_t>& row = coverage.Mask->CoverageRows[k];
    if (row.empty()) continue;
    const TPoint origin = coverage.Mask->RowOrigins[k];
    unsigned char* line = data + static_cast<std::ptrdiff_t>(origin.Y - box.Top) * stride + (origin.X - box.Left);
    std::memcpy(line, row.data(), row.size());
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

}  // namespace

void TCairoDeleter::operator()(cairo_t* cr) const { cairo_destroy(cr); }
void TCairoDeleter::operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }

TCairoCanvas::TCairoCanvas(std::int32_t width, std::int32_t height)
    : fSurface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
      fContext(cairo_create(fSurface.get())) {
  if (cairo_status(fContext.get()) != CAIRO_STATUS_SUCCESS) throw std::runtime_error("cairo: no ARGB32 context");
  cairo_set_antialias(fContext.get(), kAntialias);
  cairo_set_line_cap(fContext.get(), CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(fContext.get(), CAIRO_LINE_JOIN_MITER);
  cairo_set_source_rgb(fContext.get(), 0, 0, 0);
  cairo_paint(fContext.get());
}

void TCairoCanvas::Draw(const TOutlineJob& job, TColor32 colour) {
  if (job.Path.size() < 2) return;
  cairo_t* cr = fContext.get();
  setColour(cr, colour);
  buildPath(cr, job);
  if (isFill(job.Kind)) {
    cairo_set_fill_rule(cr, job.NonZero ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill(cr);
  } else {
    cairo_set_line_width(cr, strokeWidth(job.PenWidth));
    cairo_stroke(cr);
  }
}

void TCairoCanvas::PaintMask(cairo_surface_t* mask, std::int32_t x, std::int32_t y, TColor32 colour) {
  setColour(fContext.get(), colour);
  cairo_mask_surface(fContext.get(), mask, x, y);
}

void TCairoCanvas::Flush() { cairo_surface_flush(fSurface.get()); }

std::vector<TCairoMask> BuildCairoMasks(const std::vector<TStoredCoverage>& coverages) {
  std::vector<TCairoMask> masks;
  for (const TStoredCoverage& coverage : coverages) {
    const TBox box = rowsBox(coverage);
    if (box.Empty()) continue;
    masks.push_back({maskSurface(coverage, box), box.Left, box.Top, coverage.Colour});
  }
  return masks;
}

std::string CairoVersion() { return cairo_version_string(); }

const char* CairoAntialiasName() { return "CAIRO_ANTIALIAS_DEFAULT (grey)"; }

}  // namespace lumora::bench
