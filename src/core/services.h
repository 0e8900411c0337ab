#pragma once
// The shared services through which every long operation reports: the two
// view panes, the two progress bars, the status line, "Memory used", message
// pumping, the stop request and the beep of a failed video read.
//
// The base class is the null implementation: nothing is attached, every call
// does nothing (ProgressStart and ShowStatus still pump). A front-end derives
// from it and attaches its own targets.
#include <atomic>
#include <string>

#include "core/bitmap.h"

namespace corvane {

class Services {
 public:
  Services() = default;
  Services(const Services&) = delete;
  Services& operator=(const Services&) = delete;
  virtual ~Services() = default;

  /// Whether a pane is attached. Cheap: work done only for a live display is
  /// skipped when there is none.
  virtual bool HasInputPane() const noexcept { return false; }
  virtual bool HasResultPane() const noexcept { return false; }
  /// Copies the bitmap into that pane, which shows it at the latest when
  /// pending input is taken next (ProcessPending); nothing without a pane.
  virtual void ShowInInputPane(const Bitmap& /*bitmap*/) {}
  virtual void ShowInResultPane(const Bitmap& /*bitmap*/) {}
  /// Whether a live view handed over now would be seen. A front-end that
  /// repaints its panes at most at the screen's rate answers false until its
  /// next repaint is due; a long loop may then skip work done only for a live
  /// view (but shows the view of its last step, which stays on screen).
  virtual bool LiveViewDue() const noexcept { return true; }
  /// The bitmap shown in that pane, or null.
  virtual const Bitmap* InputPaneBitmap() const noexcept { return nullptr; }
  virtual const Bitmap* ResultPaneBitmap() const noexcept { return nullptr; }

  /// Bar 1 counts frames within a file, bar 2 frames in the list or
  /// iterations. Sets the range and the caption, then pumps; any other bar
  /// number does nothing.
  void ProgressStart(int bar, int minimum, int maximum, const std::string& caption) {
    if (bar != 1 && bar != 2) return;
    OnProgressStart(bar, minimum, maximum, caption);
    ProcessPending();
  }
  /// Moves the bar; no pumping.
  void ProgressStep(int bar, int position) {
    if (bar == 1 || bar == 2) OnProgressStep(bar, position);
  }
  /// Writes the text into the status line, then pumps.
  void ShowStatus(const std::string& text) {
    OnStatus(text);
    ProcessPending();
  }
  /// A warning about input that could be read only in part (a video cut
  /// short); the work goes on. Shown in the status line unless the front-end
  /// shows warnings its own way. Pumps.
  void ShowWarning(const std::string& text) {
    OnWarning(text);
    ProcessPending();
  }
  /// Writes "Memory used: N Mb" (the heap's bytes in use shifted right by 20).
  void ShowMemoryUsed();
  /// Lets the front-end take pending input (this is where a stop request is raised).
  virtual void ProcessPending() {}
  /// The beep of a failed video read.
  virtual void Beep() {}

  /// Raises the stop request (Esc in the window, Ctrl-C in the terminal).
  void RaiseAbort() noexcept { m_abort.store(true); }
  /// Returns the stop request and clears it in the same step.
  bool TakeAbort() noexcept { return m_abort.exchange(false); }

 protected:
  virtual void OnProgressStart(int /*bar*/, int /*minimum*/, int /*maximum*/, const std::string& /*caption*/) {}
  virtual void OnProgressStep(int /*bar*/, int /*position*/) {}
  virtual void OnStatus(const std::string& /*text*/) {}
  virtual void OnWarning(const std::string& text) { OnStatus(text); }
  virtual void OnMemoryUsed(const std::string& /*text*/) {}

 private:
  std::atomic<bool> m_abort{false};
};

/// The null implementation, for tests and for work without any front-end.
class NullServices final : public Services {};

/// Bytes the program holds on its heap now.
long long HeapBytesInUse() noexcept;

/// Bytes of memory programs can have now without swapping (the kernel's
/// MemAvailable, else the free pages); -1 when unknown.
long long AvailableMemoryBytes() noexcept;

}  // namespace corvane
