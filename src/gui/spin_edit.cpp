#include "gui/spin_edit.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <algorithm>

namespace corvane::gui {

TSpinEdit::TSpinEdit(const SpinRange& range, bool typed, QWidget* parent)
    : QAbstractSpinBox(parent), m_range(range), m_typed(typed) {
  lineEdit()->setReadOnly(!typed);
  lineEdit()->setText(QString::number(range.Min));
  connect(lineEdit(), &QLineEdit::textEdited, this, [this] { emit ValueEdited(Value(), true); });
}

void TSpinEdit::SetRange(int minimum, int maximum) {
  m_range.Min = minimum;
  m_range.Max = std::max(minimum, maximum);
  update();
}

int TSpinEdit::Value() const { return SpinEditValueFromText(lineEdit()->text().toStdString(), m_range); }

void TSpinEdit::SetValue(int value) {
  if (Value() == value) return;
  lineEdit()->setText(QString::number(value));
  update();  // the arrows' enabled state follows the value
}

void TSpinEdit::stepBy(int steps) {
  const std::int64_t next = std::int64_t{Value()} + std::int64_t{steps} * m_range.Step;
  const int value = m_range.Clamp(next);
  lineEdit()->setText(QString::number(value));
  update();
  emit ValueEdited(value, false);
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const {
  const int value = Value();
  StepEnabled enabled = StepNone;
  if (value < m_range.Max) enabled |= StepUpEnabled;
  if (value > m_range.Min) enabled |= StepDownEnabled;
  return enabled;
}

QValidator::State TSpinEdit::validate(QString& input, int& /*pos*/) const {
  for (const QChar c : input)
    if (!c.isDigit() && c != u'-' && c != u'+' && c != u' ') return QValidator::Invalid;
  return QValidator::Acceptable;
}

QSize TSpinEdit::sizeHint() const {
  ensurePolished();
  const QFontMetrics fm(fontMetrics());
  const int digits =
      std::max(fm.horizontalAdvance(QString::number(m_range.Max)), fm.horizontalAdvance(QString::number(m_range.Min)));
  QStyleOptionSpinBox option;
  initStyleOption(&option);
  const QSize contents(digits + fm.horizontalAdvance(u'0') + 4, lineEdit()->sizeHint().height());
  return style()->sizeFromContents(QStyle::CT_SpinBox, &option, contents, this);
}

QSize TSpinEdit::minimumSizeHint() const { return sizeHint(); }

}  // namespace corvane::gui
