#include "gui/gui_services.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <cmath>

#include "gui/picture_pane.h"

namespace corvane::gui {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

GuiServices::GuiServices() {
  if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr && screen->refreshRate() >= 1.0)
    m_interval = static_cast<int>(std::floor(1000.0 / screen->refreshRate()));
  m_trailing.setSingleShot(true);
  connect(&m_trailing, &QTimer::timeout, this, &GuiServices::Flush);
  m_sinceFlush.start();
}

void GuiServices::AttachPanes(PicturePane* input, PicturePane* result) {
  m_input = input;
  m_result = result;
}

void GuiServices::AttachProgress(int bar, QProgressBar* progress, QLabel* caption) {
  if (bar != 1 && bar != 2) return;
  Bar& b = m_bars[static_cast<std::size_t>(bar - 1)];
  b.Progress = progress;
  b.Caption = caption;
  if (progress != nullptr) {
    b.Minimum = progress->minimum();
    b.Maximum = progress->maximum();
    b.Value = progress->value();
  }
  if (caption != nullptr) b.Text = caption->text().toStdString();
}

void GuiServices::AttachStatus(QLabel* memoryUsed, QLabel* messages) {
  m_memory.Label = memoryUsed;
  m_status.Label = messages;
}

void GuiServices::SetRepaintInterval(int milliseconds) { m_interval = std::max(0, milliseconds); }

void GuiServices::Changed() {
  // Written at the next pump when a refresh is due, else when the timer ends
  // the wait (a run may pause between pumps).
  if (!m_trailing.isActive()) m_trailing.start(std::max(1, m_interval));
}

void GuiServices::Flush() {
  m_trailing.stop();
  m_sinceFlush.restart();
  ++m_flushes;
  if (m_inputDirty && m_input) m_input->update();
  if (m_resultDirty && m_result) m_result->update();
  m_inputDirty = m_resultDirty = false;
  for (Bar& b : m_bars) {
    if (!b.Dirty) continue;
    b.Dirty = false;
    if (b.Progress && b.Maximum > b.Minimum) {
      b.Progress->setRange(b.Minimum, b.Maximum);
      b.Progress->setValue(std::clamp(b.Value, b.Minimum, b.Maximum));
    } else if (b.Progress) {
      // A range of one position (one iteration) stands full once it is reached.
      b.Progress->setRange(0, 1);
      b.Progress->setValue(b.Value >= b.Minimum ? 1 : 0);
    }
    if (b.Caption && b.Caption->text() != Text(b.Text)) b.Caption->setText(Text(b.Text));
  }
  for (Line* line : {&m_memory, &m_status}) {
    if (!line->Dirty) continue;
    line->Dirty = false;
    if (line->Label) line->Label->setText(Text(line->Text));
  }
}

void GuiServices::ShowInInputPane(const Bitmap& bitmap) {
  if (!m_input) return;
  m_input->SetPicture(bitmap);
  m_inputDirty = true;
  Changed();
}

void GuiServices::ShowInResultPane(const Bitmap& bitmap) {
  if (!m_result) return;
  m_result->SetPicture(bitmap);
  m_resultDirty = true;
  Changed();
}

const Bitmap* GuiServices::InputPaneBitmap() const noexcept { return m_input ? &m_input->Picture() : nullptr; }
const Bitmap* GuiServices::ResultPaneBitmap() const noexcept { return m_result ? &m_result->Picture() : nullptr; }

bool GuiServices::LiveViewDue() const noexcept { return m_sinceFlush.elapsed() >= m_interval; }

void GuiServices::InvertInInputPane(const std::vector<TRect32>& rectangles) {
  if (!m_input || rectangles.empty()) return;
  for (const TRect32& r : rectangles) InvertRectangle(m_input->Picture(), r);
  m_input->update();
}

void GuiServices::ProcessPending() {
  if (m_sinceFlush.elapsed() >= m_interval) Flush();
  QCoreApplication::processEvents();
}

void GuiServices::Beep() { QApplication::beep(); }

void GuiServices::OnProgressStart(int bar, int minimum, int maximum, const std::string& caption) {
  Bar& b = m_bars[static_cast<std::size_t>(bar - 1)];
  b.Minimum = minimum;
  b.Maximum = maximum;
  b.Value = minimum;
  b.Text = caption;
  b.Dirty = true;
  Changed();
}

void GuiServices::OnProgressStep(int bar, int position) {
  Bar& b = m_bars[static_cast<std::size_t>(bar - 1)];
  if (b.Value == position) return;
  b.Value = position;
  b.Dirty = true;
  Changed();
}

void GuiServices::OnStatus(const std::string& text) {
  m_status.Text = text;
  m_status.Dirty = true;
  Changed();
}

void GuiServices::OnMemoryUsed(const std::string& text) {
  m_memory.Text = text;
  m_memory.Dirty = true;
  Changed();
}

void StatusPanelTarget::SetTextAndRepaint(std::string_view text) {
  if (!m_label) return;
  m_label->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  m_label->repaint();
}

}  // namespace corvane::gui
