#include "show/headless_show.h"

#include <filesystem>
#include <stdexcept>

namespace lumora {

namespace {

void loadByKind(TShowEngine& engine, const std::string& path) {
  switch (ClassifyArgument(path)) {
    case kArgumentMovie: engine.LoadMovie(path); break;
    case kArgumentPlayList:
      engine.LoadPlayList(path);
      if (engine.PlayList().empty()) throw std::runtime_error(path + ": the play list names no movie beside the program");
      break;
    default: engine.LoadEmbedded(path); break;
  }
}

}  // namespace

void THeadlessShow::Open(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) throw std::runtime_error(path + ": cannot read the file");
  loadByKind(Engine, path);
  if (!Host.Messages.empty()) {
    const std::string& cause = Engine.LastLoadError();
    throw std::runtime_error(path + ": " + Host.Messages.front() + (cause.empty() ? "" : " (" + cause + ")"));
  }
  if (!Engine.LastLoadError().empty()) throw std::runtime_error(Engine.LastLoadError());
  if (!Engine.VectorMode() && Engine.GridFrame(0) == nullptr) {
    throw std::runtime_error(path + ": the grid movie has no frames");
  }
}

void THeadlessShow::DrawOnEveryMove() {
  Host.OnFramesChanged = [this](bool moved) {
    if (moved && Engine.Playable()) Engine.DrawFrame(Engine.Frames().Position - 1);
  };
}

}  // namespace lumora
