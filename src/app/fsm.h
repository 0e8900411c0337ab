#pragma once
// The workflow state machine: which stage runs and which finished last.
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace corvane {

enum StageCode : std::uint8_t { StageIdle = 0, StagePreview = 1, StageLoad = 2, StageCalculate = 3, StageStack = 4 };

/// Where the state word goes: a status panel that is written and repainted at once.
class StatusTextTarget {
 public:
  virtual ~StatusTextTarget() = default;
  virtual void SetTextAndRepaint(std::string_view text) = 0;
};

class Tfsm {
 public:
  /// Start a stage: true when the machine is now in it. A start while another
  /// stage is busy finishes that stage (as EventDone) and starts nothing.
  bool EventPreview() { return Start(StagePreview); }
  bool EventLoad() { return Start(StageLoad); }
  bool EventCalculate() { return Start(StageCalculate); }
  bool EventStack() { return Start(StageStack); }
  /// Finish whatever stage runs; always true.
  bool EventDone();

  std::uint8_t GetState() const noexcept { return m_state; }
  std::uint8_t GetLastCompleted() const noexcept { return m_lastCompleted; }

  void SetStatusTarget(StatusTextTarget* target) noexcept { m_target = target; }
  void SetOnChange(std::function<void()> handler) { m_onChange = std::move(handler); }

  /// "IDLE", "PREVIEWED", "LOADED", "CALCULATED", "STACKED" when idle after the
  /// stage; "PREVIEW", "LOAD", "CALCULATE", "STACK" while busy.
  static std::string_view DisplayText(std::uint8_t state, std::uint8_t lastCompleted) noexcept;
  std::string_view DisplayText() const noexcept { return DisplayText(m_state, m_lastCompleted); }

 private:
  bool Start(std::uint8_t stage);
  void Finish() noexcept;
  void Report();

  std::uint8_t m_state = StageIdle;
  std::uint8_t m_lastCompleted = StageIdle;
  StatusTextTarget* m_target = nullptr;
  std::function<void()> m_onChange;
};

/// What the main window's change handler does for a (State, LastCompleted)
/// pair. An empty optional leaves that control or flag as it is.
struct WindowEnables {
  bool PreviewTabEnabled = false;  ///< the "Preview frames" tab (disabled first, always)
  std::optional<bool> Load, Go, Reset, SaveStacked, Calculate, Save;
  std::optional<bool> PictureCalculated;
  bool ClearManualMark = false;
  bool ResetResultCursor = true;
};

/// The main window's change-handler table as a pure function.
WindowEnables ChangeHandlerEffects(std::uint8_t state, std::uint8_t lastCompleted) noexcept;

}  // namespace corvane
