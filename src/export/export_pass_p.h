// What every pass of an export shares: the pass's length, frames pulled and
// checked, the output picture's size, and progress counted.
#pragma once

#include <cstdint>

#include "export/frame_source.h"
#include "export/video_export.h"

namespace lumora {

// The visible picture (box) and the picture encoded (canvas: the box padded
// to even sizes at its right and bottom for encoders that need them).
struct TPictureSize {
  std::int32_t BoxWidth = 0;
  std::int32_t BoxHeight = 0;
  std::int32_t CanvasWidth = 0;
  std::int32_t CanvasHeight = 0;
};

// The size asked for, or else the first frame's fitted into the default
// box; raises EVideoExport for a size the format's encoder would refuse.
TPictureSize PictureSize(TVideoFormat format, const TExportOptions& options, const TBitmap32& first);

// The frames of a pass; raises EVideoExport for a show without any.
std::int64_t PassLength(const TFrameSource& source);

// The next frame of a pass, checked: raises EVideoExport for a frame without
// a picture or with a duration outside 1 … kMaxFrameDurationMs.
TSourceFrame PullFrame(TFrameSource& source, std::int64_t index);

class TProgressCounter {
 public:
  TProgressCounter(const TExportProgress& report, std::int64_t total) : fReport(report), fTotal(total) {}
  void Step() {
    ++fDone;
    if (fReport) fReport(fDone, fTotal);
  }

 private:
  const TExportProgress& fReport;
  std::int64_t fTotal;
  std::int64_t fDone = 0;
};

// The writers of the two kinds of output, into a file that already exists.
void WriteVideo(TFrameSource& source, TVideoFormat format, const std::string& file, const TExportOptions& options);
void WriteGif(TFrameSource& source, const std::string& file, const TExportOptions& options);

}  // namespace lumora
