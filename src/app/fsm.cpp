#include "app/fsm.h"

namespace corvane {

bool Tfsm::EventDone() {
  Finish();
  Report();
  return true;
}

void Tfsm::Finish() noexcept {
  m_lastCompleted = m_state > StageStack ? std::uint8_t{StageIdle} : m_state;
  m_state = StageIdle;
}

bool Tfsm::Start(std::uint8_t stage) {
  if (m_state == StageIdle || m_state == stage)
    m_state = stage;
  else
    Finish();
  Report();
  return m_state == stage;
}

void Tfsm::Report() {
  if (m_target != nullptr) m_target->SetTextAndRepaint(DisplayText());
  if (m_onChange) m_onChange();
}

std::string_view Tfsm::DisplayText(std::uint8_t state, std::uint8_t lastCompleted) noexcept {
  switch (state) {
    case StagePreview: return "PREVIEW";
    case StageLoad: return "LOAD";
    case StageCalculate: return "CALCULATE";
    case StageStack: return "STACK";
    default: break;
  }
  switch (lastCompleted) {
    case StagePreview: return "PREVIEWED";
    case StageLoad: return "LOADED";
    case StageCalculate: return "CALCULATED";
    case StageStack: return "STACKED";
    default: return "IDLE";
  }
}

WindowEnables ChangeHandlerEffects(std::uint8_t state, std::uint8_t lastCompleted) noexcept {
  WindowEnables e;
  switch (state) {
    case StagePreview:
      e.PreviewTabEnabled = true;
      e.Load = true;
      e.Go = e.Reset = e.SaveStacked = e.Calculate = e.Save = false;
      e.ClearManualMark = true;
      break;
    case StageLoad:
    case StageStack:
      e.Go = e.Reset = e.SaveStacked = e.Calculate = e.Save = false;
      break;
    case StageCalculate:
      e.Calculate = e.Save = false;
      break;
    case StageIdle:
      switch (lastCompleted) {
        case StageLoad:
          e.Go = e.Calculate = true;
          e.PictureCalculated = false;
          break;
        case StageStack:
          e.Go = e.Reset = e.SaveStacked = e.Calculate = true;
          e.PictureCalculated = false;
          break;
        case StageCalculate:
          e.Calculate = e.Save = true;
          e.PictureCalculated = true;
          break;
        default:
          e.ResetResultCursor = false;
          break;
      }
      break;
    default:
      // A state above 4 does not occur; nothing beyond the first step changes.
      break;
  }
  return e;
}

}  // namespace corvane
