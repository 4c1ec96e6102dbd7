// A show host as the player's window and lumora-play are one, for the
// tests of what controls a show: every move of the frame is drawn and the
// controller hears of every change. The rig hands over its engine and
// controller once it has made them.
#pragma once

#include <string>

#include "control/show_controller.h"
#include "show/show_engine.h"

namespace lumora::test {

class TControllerHost : public TShowHost {
 public:
  TPoint Room() const override { return {640, 480}; }
  void ShowMessage(const std::string&, const std::string&, const std::string& detail) override {
    if (fController != nullptr) fController->Tell("message", detail);
  }
  void MovieFitted() override {}
  void FrameResized() override {}
  void ShowCleared() override {}
  void FramesChanged(bool moved) override {
    if (moved && fEngine != nullptr && fEngine->Playable()) fEngine->DrawFrame(fEngine->Frames().Position - 1);
    if (fController != nullptr) fController->Changed();
  }
  void PlaybackChanged() override {
    if (fController != nullptr) fController->Changed();
  }
  void ShowFinished() override {
    if (fController != nullptr) fController->Finished();
  }

 protected:
  void Host(TShowEngine& engine, control::TShowController& controller) {
    fEngine = &engine;
    fController = &controller;
  }

 private:
  TShowEngine* fEngine = nullptr;
  control::TShowController* fController = nullptr;
};

}  // namespace lumora::test
