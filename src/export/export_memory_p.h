// What an export holds while it runs, estimated from the output picture's
// size before any encoder opens: the pictures each stage keeps in flight
// (the frame fitter's, the encoder's queue, the container's), times their
// bytes. An estimate past the budget refuses the export before it takes
// the memory.
#pragma once

#include <cstdint>

#include "export/export_pass_p.h"
#include "export/video_export.h"

namespace lumora {

// The frame threads libx264 is given: its own choice, one and a half per
// core, up to a few.
std::int32_t X264Threads();

// The bytes an export of the format and size holds at its peak.
std::uint64_t ExportMemory(TVideoFormat format, const TPictureSize& size, const TExportOptions& options);

// Raises EVideoExport naming the size, the estimate and the budget when the
// estimate is past options.MemoryBudget.
void ChargeExportMemory(TVideoFormat format, const TPictureSize& size, const TExportOptions& options);

}  // namespace lumora
