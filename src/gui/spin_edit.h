#pragma once
// A number box as the settings dialog needs it: a range and a step, arrows
// and keys that step within the range, and a text that may be typed freely
// (digits, a sign, blanks). The text stands for its number, or for the
// minimum when it is no number (an emptied box), and a typed number outside
// the range stays as typed: the settings rules decide what it means. A box
// that is "not typed" takes only the arrows, the keys and the wheel.
//
// Only the user's actions signal (ValueEdited); SetValue from the program
// never does, and leaves the text alone when it already stands for the value,
// so the program can follow the model while the user types.
#include <QAbstractSpinBox>

#include "settings/settings.h"

namespace corvane::gui {

class TSpinEdit : public QAbstractSpinBox {
  Q_OBJECT
  Q_PROPERTY(int value READ Value WRITE SetValue)

 public:
  TSpinEdit(const SpinRange& range, bool typed, QWidget* parent = nullptr);

  /// The range the arrows step in (the AVI frame boxes move theirs).
  void SetRange(int minimum, int maximum);
  int Minimum() const noexcept { return m_range.Min; }
  int Maximum() const noexcept { return m_range.Max; }
  int Step() const noexcept { return m_range.Step; }
  bool Typed() const noexcept { return m_typed; }

  /// The number the text stands for (the minimum for no number), unclamped.
  int Value() const;
  /// Shows `value` unless the text already stands for it. No signal.
  void SetValue(int value);

  void stepBy(int steps) override;
  QValidator::State validate(QString& input, int& pos) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  /// The user typed (`typed` true, the value as typed) or stepped (the value
  /// within the range).
  void ValueEdited(int value, bool typed);

 protected:
  StepEnabled stepEnabled() const override;

 private:
  SpinRange m_range;
  bool m_typed;
};

}  // namespace corvane::gui
