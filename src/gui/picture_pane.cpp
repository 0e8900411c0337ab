#include "gui/picture_pane.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace corvane::gui {

namespace {

// A QImage over the bitmap's own rows (no copy); null for an empty bitmap.
QImage ImageOver(const Bitmap& b) {
  if (b.Empty()) return {};
  const auto stride = static_cast<qsizetype>(b.RowBytes());
  switch (b.Format()) {
    case PixelFormat::Bgr24: return QImage(b.Bits(), b.Width(), b.Height(), stride, QImage::Format_BGR888);
    case PixelFormat::Bgrx32: return QImage(b.Bits(), b.Width(), b.Height(), stride, QImage::Format_RGB32);
    case PixelFormat::Word16: return QImage(b.Bits(), b.Width(), b.Height(), stride, QImage::Format_RGB16);
    case PixelFormat::Indexed8: {
      QImage image(b.Bits(), b.Width(), b.Height(), stride, QImage::Format_Indexed8);
      QList<QRgb> colours(256, qRgb(0, 0, 0));
      const auto& palette = b.Palette();
      for (std::size_t i = 0; i < palette.size() && i < 256; ++i)
        colours[static_cast<qsizetype>(i)] = qRgb(palette[i].Red, palette[i].Green, palette[i].Blue);
      image.setColorTable(colours);
      return image;
    }
  }
  return {};
}

QPoint Position(const QMouseEvent* event) { return event->position().toPoint(); }

}  // namespace

PicturePane::PicturePane(int width, int height, QWidget* parent, int zoom)
    : QWidget(parent), m_zoom(std::max(1, zoom)) {
  setFixedSize(width, height);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PicturePane::SetPicture(const Bitmap& bitmap) { m_picture = bitmap; }

void PicturePane::SetStretched(bool stretched) {
  if (m_stretched == stretched) return;
  m_stretched = stretched;
  update();
}

QRect PicturePane::PictureRect() const {
  if (m_picture.Empty()) return {};
  if (m_stretched) return rect();
  const int w = m_picture.Width() * m_zoom, h = m_picture.Height() * m_zoom;
  return {(width() - w) / 2, (height() - h) / 2, w, h};
}

void PicturePane::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  const QImage image = ImageOver(m_picture);
  if (!image.isNull()) painter.drawImage(PictureRect(), image);
}

void PicturePane::mousePressEvent(QMouseEvent* event) { emit MousePressed(Position(event)); }
void PicturePane::mouseMoveEvent(QMouseEvent* event) { emit MouseMoved(Position(event)); }
void PicturePane::mouseReleaseEvent(QMouseEvent* event) { emit MouseReleased(Position(event)); }
void PicturePane::mouseDoubleClickEvent(QMouseEvent* event) { emit DoubleClicked(Position(event)); }

}  // namespace corvane::gui
