// Play lists: the input is the list's text, read beside a player whose
// directory holds a small movie ("show.ctl") and a grid movie ("show.tol"),
// so that entries can name real files. The list is loaded and played
// through three entries.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_directory.h"
#include "movie/movie_file.h"
#include "scene/closed_shapes.h"
#include "show/headless_show.h"

namespace {

using namespace lumora;

std::unique_ptr<TFrameDataLayer> smallGrid() {
  auto layer = std::make_unique<TFrameDataLayer>();
  layer->SetRows(2);
  layer->SetColumns(3);
  layer->CellWidth = 6;
  layer->CellHeight = 6;
  auto section = std::make_unique<TSection>();
  for (std::int32_t i = 0; i < 4; ++i) {
    auto frame = std::make_unique<TFrameData>(2, 3);
    frame->SetCell(i % 2, i % 3, 0x00FF00FF);
    section->Add(std::move(frame));
  }
  layer->Add(std::move(section));
  return layer;
}

std::vector<std::uint8_t> smallMovie() {
  TMovieDocument movie;
  movie.File.Width = 64;
  movie.File.Height = 48;
  const TFixedPoint corners[] = {FixedPoint(4.0f, 4.0f), FixedPoint(40.0f, 4.0f), FixedPoint(40.0f, 30.0f),
                                 FixedPoint(4.0f, 30.0f), FixedPoint(4.0f, 4.0f)};
  auto box = std::make_unique<TRectangle>(nullptr);
  box->Outline().SetPoints(corners);
  box->SetGridRow(0);
  box->SetGridColumn(1);
  movie.Root.AddLayer("").Add(std::move(box));
  movie.Grid.Add(smallGrid());
  return movie.File.SaveLayered(nullptr);
}

const fuzz::TScratchDirectory& scratch() {
  static const fuzz::TScratchDirectory directory;
  static const bool written = [] {
    WriteFileBytes(directory.File("show.ctl"), smallMovie());
    WriteFileBytes(directory.File("show.tol"), smallGrid()->SaveToTol());
    return true;
  }();
  (void)written;
  return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::TScratchDirectory& directory = scratch();
  const std::string list = directory.File("input.lst");
  WriteFileBytes(list, {data, size});
  THeadlessShow show(320, 240, directory.File("player"));
  try {
    // The player reports a first entry that fails as it reports a bad file.
    show.Engine.LoadPlayList(list);
  } catch (const TLoadError&) {
  }
  for (int i = 0; i < 3; ++i) show.Engine.PlayNext();
  show.Engine.Shutdown();
  directory.SweepExcept("show.ctl", "show.tol");
  return 0;
}
