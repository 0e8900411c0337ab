#pragma once
// The shared services on the desktop: the two panes, the two progress bars
// with their labels, the status line and "Memory used", message pumping, the
// stop request and the beep. It owns no rule; it shows what the core reports.
//
// Live displays are coalesced: what the core reports is stored at once and
// written into the widgets at most once per screen refresh (at a pump, or by
// a timer when the work pauses), so a stacking run that shows every
// comparison costs one repaint per refresh, not one per comparison.
#include <QElapsedTimer>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <array>
#include <string>
#include <vector>

#include "app/fsm.h"
#include "core/services.h"
#include "gui/picture_pane.h"
#include "stack/manual_mark.h"

namespace corvane::gui {

class GuiServices final : public QObject, public Services {
  Q_OBJECT
 public:
  GuiServices();

  /// The window's targets (FormShow). Before this the services show nothing.
  void AttachPanes(PicturePane* input, PicturePane* result);
  void AttachProgress(int bar, QProgressBar* progress, QLabel* caption);
  void AttachStatus(QLabel* memoryUsed, QLabel* messages);

  /// The shortest time between two repaints of the live displays, in
  /// milliseconds; 0 writes every change at the next pump. Starts at the
  /// primary screen's frame time.
  void SetRepaintInterval(int milliseconds);
  int RepaintInterval() const noexcept { return m_interval; }
  /// Writes every pending change into the widgets now.
  void Flush();
  /// Repaints (flushes) done so far.
  long long Flushes() const noexcept { return m_flushes; }

  /// Inverts rectangles of the input pane's picture in place and shows it at
  /// once (the manual mark).
  void InvertInInputPane(const std::vector<TRect32>& rectangles);

  bool HasInputPane() const noexcept override { return m_input != nullptr; }
  bool HasResultPane() const noexcept override { return m_result != nullptr; }
  void ShowInInputPane(const Bitmap& bitmap) override;
  void ShowInResultPane(const Bitmap& bitmap) override;
  const Bitmap* InputPaneBitmap() const noexcept override;
  const Bitmap* ResultPaneBitmap() const noexcept override;
  /// True when the next pump repaints (the repaint interval has passed).
  bool LiveViewDue() const noexcept override;
  void ProcessPending() override;
  void Beep() override;

 protected:
  void OnProgressStart(int bar, int minimum, int maximum, const std::string& caption) override;
  void OnProgressStep(int bar, int position) override;
  void OnStatus(const std::string& text) override;
  void OnMemoryUsed(const std::string& text) override;

 private:
  struct Bar {
    QPointer<QProgressBar> Progress;
    QPointer<QLabel> Caption;
    int Minimum = 0, Maximum = 100, Value = 0;
    std::string Text;
    bool Dirty = false;
  };
  struct Line {
    QPointer<QLabel> Label;
    std::string Text;
    bool Dirty = false;
  };
  void Changed();

  QPointer<PicturePane> m_input;
  QPointer<PicturePane> m_result;
  bool m_inputDirty = false;
  bool m_resultDirty = false;
  std::array<Bar, 2> m_bars;
  Line m_memory;
  Line m_status;
  int m_interval = 16;
  QElapsedTimer m_sinceFlush;
  QTimer m_trailing;
  long long m_flushes = 0;
};

/// The status panel that shows the workflow state, written and repainted at once.
class StatusPanelTarget final : public StatusTextTarget {
 public:
  explicit StatusPanelTarget(QLabel* label) : m_label(label) {}
  void SetTextAndRepaint(std::string_view text) override;

 private:
  QPointer<QLabel> m_label;
};

}  // namespace corvane::gui
