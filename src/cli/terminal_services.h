#pragma once
// The shared services in a terminal: progress bars and messages on stderr, and
// Ctrl-C as the stop request. No pane is attached, so the core does no live
// display work for the batch tool.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "core/services.h"

namespace corvane::cli {

enum class ProgressMode { Auto, Always, Never };
enum class Verbosity { Quiet, Normal, Verbose };

/// Progress bars and message lines on one stream (stderr), and the stop
/// request raised by Ctrl-C.
///
/// A run is cut into stages (loading, stacking, calculating). Each stage shows
/// one progress line: the bar started last gets a graph, the other its caption
/// and position. A Ctrl-C raises the stop request and keeps it raised until the
/// stage ends (each time the core pumps), so a load stops altogether rather
/// than only its current video; the run then goes on with the frames it has. A
/// second Ctrl-C ends the program with exit status 130, at once, or right after
/// an output file in the writing (see OutputSection) is complete. SIGTERM and
/// SIGHUP end it the same way, with status 143 and 129.
class TerminalServices final : public Services {
 public:
  /// `stream` is where everything goes; `isTerminal` tells whether it is a
  /// terminal (bars are redrawn in place and Auto shows them).
  TerminalServices(ProgressMode progress, Verbosity verbosity, std::FILE* stream, bool isTerminal);
  ~TerminalServices() override;

  /// Whether progress bars are drawn (Auto: only on a terminal; never with -q).
  bool ShowsProgress() const noexcept { return m_showProgress; }
  Verbosity Level() const noexcept { return m_verbosity; }

  /// Ends the progress line of the stage before, forgets both bars, and
  /// clears a stop request left from before (a Ctrl-C ends one stage only).
  /// `graphBar` (1 or 2) is drawn as a graph; the other bar is shown as its
  /// caption and position when `showOtherBar`, else not at all.
  void BeginStage(const std::string& name, int graphBar, bool showOtherBar);
  /// Completes the stage's progress line (a last redraw and a line break).
  void EndStage();

  /// A message line at normal verbosity, one in verbose mode only, and a
  /// warning ("corvane-cli: warning: ..."); none of them with -q.
  void Info(const std::string& text);
  void Detail(const std::string& text);
  void Warning(const std::string& text);
  /// "corvane-cli: error: ...", whatever the verbosity.
  void Error(const std::string& text);

  /// Called when the loader reports a video it cannot read ("INVALID FORMAT!").
  std::function<void()> OnInvalidFormat;
  /// Clears the count of such reports.
  void ResetInvalidFormatCount() noexcept { m_invalidFormats = 0; }
  /// How often that happened.
  int InvalidFormatCount() const noexcept { return m_invalidFormats; }

  /// Pumps: while a Ctrl-C of this stage is pending the stop request is
  /// raised again, so every check of the stage sees it.
  void ProcessPending() override;

  /// Installs the handlers of Ctrl-C (SIGINT), SIGTERM and SIGHUP for this
  /// object; the destructor puts back the ones before.
  void InstallInterruptHandler();
  /// True once Ctrl-C was pressed during the run.
  static bool Interrupted() noexcept;
  /// True when Ctrl-C was pressed during the stage begun last.
  static bool StageInterrupted() noexcept;

 protected:
  void OnProgressStart(int bar, int minimum, int maximum, const std::string& caption) override;
  void OnProgressStep(int bar, int position) override;
  void OnStatus(const std::string& text) override;
  /// The core's warnings (a video cut short) as "corvane-cli: warning: ..." lines.
  void OnWarning(const std::string& text) override { Warning(text); }

 private:
  struct Bar {
    bool Active = false;
    int Minimum = 0;
    int Maximum = 0;
    int Position = 0;
    std::string Caption;
  };

  void Draw(bool force);
  void ClearLine();
  void Line(const std::string& text);
  std::string ProgressText(int width) const;

  std::FILE* m_stream;
  bool m_terminal;
  bool m_showProgress;
  Verbosity m_verbosity;
  std::string m_stage;
  Bar m_bars[2];
  int m_graphBar = 0;  // index of the bar drawn as a graph
  bool m_showOther = true;
  bool m_drawn = false;  // a progress line stands unfinished on the stream
  std::size_t m_lastLength = 0;
  std::chrono::steady_clock::time_point m_lastDraw{};
  std::string m_lastStatus;
  int m_invalidFormats = 0;
  bool m_handlerInstalled = false;
};

/// Marks the writing of an output file: a second Ctrl-C (or SIGTERM, SIGHUP)
/// that comes meanwhile ends the program only when the section is left, so
/// every file the run has begun to write is complete.
class OutputSection {
 public:
  OutputSection() noexcept;
  ~OutputSection();
  OutputSection(const OutputSection&) = delete;
  OutputSection& operator=(const OutputSection&) = delete;
};

/// Exit status after a second Ctrl-C (128 + SIGINT, as shells report it).
inline constexpr int InterruptExitCode = 130;

}  // namespace corvane::cli
