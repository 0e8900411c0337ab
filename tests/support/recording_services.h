#pragma once
// A Services implementation for tests: records what the core reports, and can
// pretend that panes are attached.
#include <functional>
#include <string>
#include <vector>

#include "core/services.h"

namespace corvane::test {

class RecordingServices : public Services {
 public:
  struct Progress {
    int Bar, Minimum, Maximum;
    std::string Caption;
  };
  bool InputPane = false;
  bool ResultPane = false;
  std::vector<std::string> Status;
  std::vector<Progress> Starts;
  std::vector<std::pair<int, int>> Steps;
  std::vector<std::string> Memory;
  std::vector<std::string> Warnings;
  int Pumps = 0;
  int Beeps = 0;
  bool LiveView = true;  ///< what LiveViewDue answers
  int InputShows = 0;
  int ResultShows = 0;
  Bitmap LastInput, LastResult;
  /// Called at every pump (a test can raise the stop request from here).
  std::function<void(RecordingServices&)> OnPump;

  bool HasInputPane() const noexcept override { return InputPane; }
  bool HasResultPane() const noexcept override { return ResultPane; }
  void ShowInInputPane(const Bitmap& b) override {
    if (!InputPane) return;
    ++InputShows;
    LastInput = b;
  }
  void ShowInResultPane(const Bitmap& b) override {
    if (!ResultPane) return;
    ++ResultShows;
    LastResult = b;
  }
  const Bitmap* InputPaneBitmap() const noexcept override { return InputPane ? &LastInput : nullptr; }
  const Bitmap* ResultPaneBitmap() const noexcept override { return ResultPane ? &LastResult : nullptr; }
  void ProcessPending() override {
    ++Pumps;
    if (OnPump) OnPump(*this);
  }
  void Beep() override { ++Beeps; }
  bool LiveViewDue() const noexcept override { return LiveView; }

 protected:
  void OnProgressStart(int bar, int minimum, int maximum, const std::string& caption) override {
    Starts.push_back({bar, minimum, maximum, caption});
  }
  void OnProgressStep(int bar, int position) override { Steps.emplace_back(bar, position); }
  void OnStatus(const std::string& text) override { Status.push_back(text); }
  void OnMemoryUsed(const std::string& text) override { Memory.push_back(text); }
  void OnWarning(const std::string& text) override { Warnings.push_back(text); }
};

}  // namespace corvane::test
