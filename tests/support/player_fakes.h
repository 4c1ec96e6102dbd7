// A fake of the window toolkit for the tests of the player's panel logic.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/player_form.h"
#include "support/show_fixtures.h"

namespace lumora::test {

class TFakeToolkit : public TPlayerToolkit {
 public:
  std::map<TCaptionControl, std::string> Captions;
  std::map<TScrollBarId, TScrollBarState> Bars;
  bool Timer = false;
  std::int32_t Interval = 0;
  bool Panel = true;
  std::int32_t Width = 1000;
  std::int32_t Height = 700;
  // "max", "min" and "refresh" in call order.
  std::vector<std::string> WindowCalls;
  struct TCopy {
    std::int32_t X, Y, Width, Height;
  };
  std::vector<TCopy> Copies;
  std::deque<std::string> DialogAnswers;
  std::vector<std::pair<std::string, std::string>> Messages;
  std::vector<std::string> Details;
  std::string Title;
  bool Closed = false;
  std::vector<std::string> Notices;

  void SetCaption(TCaptionControl control, const std::string& text) override { Captions[control] = text; }
  void ShowScrollBar(TScrollBarId bar, const TScrollBarState& state) override { Bars[bar] = state; }
  void SetTimer(bool enabled, std::int32_t intervalMs) override {
    Timer = enabled;
    Interval = intervalMs;
  }
  void SetPanelVisible(bool visible) override { Panel = visible; }
  bool PanelVisible() const override { return Panel; }
  std::int32_t WindowWidth() const override { return Width; }
  std::int32_t WindowHeight() const override { return Height; }
  void Maximize() override { WindowCalls.push_back("max"); }
  void BringToFront() override { WindowCalls.push_back("front"); }
  void SetTitle(const std::string& title) override { Title = title; }
  void ShowNotice(const std::string& text) override { Notices.push_back(text); }
  void Refresh() override { WindowCalls.push_back("refresh"); }
  void CopyFrame(const TBitmap32& frame, std::int32_t x, std::int32_t y) override {
    Copies.push_back({x, y, frame.Width(), frame.Height()});
  }
  bool RunOpenDialog(std::string& path) override {
    if (DialogAnswers.empty()) return false;
    path = DialogAnswers.front();
    DialogAnswers.pop_front();
    return true;
  }
  // Messages keeps the design's words (the first line), Details the lines
  // that name the file and the fault.
  void MessageBox(const std::string& caption, const std::string& text) override {
    const std::size_t end = text.find('\n');
    Messages.emplace_back(caption, text.substr(0, end));
    Details.push_back(end == std::string::npos ? std::string() : text.substr(end + 1));
  }
  void CloseWindow() override { Closed = true; }
  void ShowOpened(const std::string&) override {}

  std::string Caption(TCaptionControl control) const {
    const auto it = Captions.find(control);
    return it == Captions.end() ? "" : it->second;
  }
};

}  // namespace lumora::test
