#include "show/headless_show.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace lumora {

void OpenForTool(TShowEngine& engine, const std::string& path, const std::vector<std::string>& details,
                 bool messagesFail) {
  const std::size_t before = details.size();
  try {
    engine.Open(path);
  } catch (const TLoadError& error) {
    throw std::runtime_error(error.what());
  }
  // Every message of the engine names the file and the fault.
  const bool said = details.size() > before;
  if (said && (messagesFail || !engine.Showing())) throw std::runtime_error(details[before]);
  if (!engine.Showing()) {
    throw std::runtime_error(engine.LastLoadError().empty() ? path + ": it has no frame to show"
                                                            : engine.LastLoadError());
  }
  if (messagesFail && !engine.LastLoadError().empty()) throw std::runtime_error(engine.LastLoadError());
}

std::string PlayingStatus(const TShowEngine& engine, const std::string& file) {
  namespace fs = std::filesystem;
  std::string text = fs::path(file).filename().string();
  if (const std::optional<std::size_t> entry = engine.CurrentEntry()) {
    text += ": " + fs::path(engine.PlayList()[*entry]).filename().string() + " (entry " + std::to_string(*entry + 1) +
            "/" + std::to_string(engine.PlayList().size()) + ")";
  }
  const TScrollBarState& bar = engine.Frames();
  const std::int64_t leftMs = (std::int64_t{bar.Max} - bar.Position) * engine.TickInterval();
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, "  frame %d of %d  %.1f s left", bar.Position, bar.Max,
                static_cast<double>(leftMs) / 1000.0);
  return text + numbers;
}

void THeadlessShow::Open(const std::string& path) { OpenForTool(Engine, path, Host.Details); }

void THeadlessShow::DrawOnEveryMove() {
  Host.OnFramesChanged = [this](bool moved) {
    if (moved && Engine.Playable()) Engine.DrawFrame(Engine.Frames().Position - 1);
  };
}

}  // namespace lumora
