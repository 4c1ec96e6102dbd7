// A window and a music player for running the player's logic without a
// display: the renderer tool, the whole-pipeline fuzz target and the
// benchmarks share them.
#pragma once

#include <string>
#include <vector>

#include "app/player_form.h"

namespace lumora {

// A window of a fixed size that shows nothing and remembers its messages.
class THeadlessToolkit : public TPlayerToolkit {
 public:
  THeadlessToolkit(std::int32_t width, std::int32_t height) : fWidth(width), fHeight(height) {}
  std::vector<std::string> Messages;

  void SetCaption(TCaptionControl, const std::string&) override {}
  void ShowScrollBar(TScrollBarId, const TScrollBarState&) override {}
  void SetTimer(bool, std::int32_t) override {}
  void SetPanelVisible(bool) override {}
  bool PanelVisible() const override { return true; }
  std::int32_t WindowWidth() const override { return fWidth; }
  std::int32_t WindowHeight() const override { return fHeight; }
  void Maximize() override {}
  void Minimize() override {}
  void Refresh() override {}
  void CopyFrame(const TBitmap32&, std::int32_t, std::int32_t) override {}
  bool RunOpenDialog(std::string&) override { return false; }
  void MessageBox(const std::string&, const std::string& text) override { Messages.push_back(text); }
  void CloseWindow() override {}

 private:
  std::int32_t fWidth;
  std::int32_t fHeight;
};

// Music is extracted as by the player but not played.
class TSilentMusic : public TMusicPlayer {
 public:
  void Open(const std::string&) override {}
  void Play() override {}
  void Pause() override {}
  void Close() override {}
  std::int64_t Position() override { return 0; }
  std::int64_t Length() override { return 1; }
  void Rewind() override {}
};

}  // namespace lumora
