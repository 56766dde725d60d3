// The paint code's Canvas on a QPainter, drawing as the desktop API's GDI
// does with a fresh device context.
//
// Implements:
// - solid pens of a width and colour, with round ends and joins (GDI's
//   geometric pens); lines from the current point, leaving out the last
//   pixel of a one-pixel line;
// - unscaled copies of the top-left w x h pixels of a bitmap resource (a
//   missing resource draws nothing);
// - fonts from a LOGFONT (negative height: character height in pixels;
//   positive: cell height), text aligned by its top and left or centre, in
//   black on an opaque white cell, the context's default colours.
#pragma once

#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QPoint>

#include "platform/platform.h"

QFont FontFromLogFont(const LOGFONT& lf);

// The bitmap resource `id` (IDB_*), or a null pixmap when the resources do
// not hold it.
QPixmap ResourceBitmap(int id);

class QtCanvas : public Canvas {
 public:
  explicit QtCanvas(QPainter& painter);

  void SetPen(int width, COLORREF colour, bool insideFrame) override;
  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  void DrawBitmap(int bitmapId, int x, int y, int w, int h) override;
  void SetFont(const LOGFONT& font) override;
  void SetTextAlign(UINT align) override;
  void PutText(int x, int y, const char* text) override;

 private:
  QPainter& painter_;
  QPoint current_;
  int penWidth_ = 1;
  UINT align_ = TA_LEFT | TA_TOP;
};
