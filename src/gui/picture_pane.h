#pragma once
// A picture pane of a fixed size that shows a core bitmap, either stretched
// over the pane ("Whole image") or at its own size (times a zoom) centred in
// the pane and cut to it. The pane keeps its own copy of the bitmap; the
// window's services decide when it is repainted. Mouse events go out as
// signals in pane pixels.
#include <QWidget>

#include "core/bitmap.h"

namespace corvane::gui {

class PicturePane : public QWidget {
  Q_OBJECT
 public:
  /// A pane of width x height pixels; `zoom` magnifies a picture that is not
  /// stretched (the local PSF is shown three times its size).
  PicturePane(int width, int height, QWidget* parent, int zoom = 1);

  /// Copies the bitmap into the pane (no repaint: call update()).
  void SetPicture(const Bitmap& bitmap);
  Bitmap& Picture() noexcept { return m_picture; }
  const Bitmap& Picture() const noexcept { return m_picture; }
  bool HasPicture() const noexcept { return !m_picture.Empty(); }

  /// Stretched over the pane (true) or at its own size, centred (false).
  void SetStretched(bool stretched);
  bool Stretched() const noexcept { return m_stretched; }

  /// Where the picture is drawn, in pane pixels.
  QRect PictureRect() const;

 signals:
  void MousePressed(QPoint position);
  void MouseMoved(QPoint position);
  void MouseReleased(QPoint position);
  void DoubleClicked(QPoint position);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  Bitmap m_picture;
  bool m_stretched = true;
  int m_zoom = 1;
};

}  // namespace corvane::gui
