#include "platform/qt/canvas_qt.h"

#include <QFontMetrics>
#include <QString>
#include <algorithm>
#include <cstdlib>

namespace {

QColor ColourOf(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

QFont::StyleHint StyleHintOf(BYTE pitchAndFamily) {
  switch (pitchAndFamily & 0xF0) {
    case 0x10: return QFont::Serif;       // roman
    case 0x20: return QFont::SansSerif;   // swiss
    case 0x30: return QFont::TypeWriter;  // modern
    case 0x40: return QFont::Cursive;     // script
    case 0x50: return QFont::Decorative;  // decorative
    default: return QFont::AnyStyle;
  }
}

// The face name as stored: at most 31 characters, terminated.
QString FaceName(const LOGFONT& lf) {
  const char* end = std::find(lf.lfFaceName, lf.lfFaceName + sizeof lf.lfFaceName, '\0');
  return QString::fromLatin1(lf.lfFaceName, static_cast<qsizetype>(end - lf.lfFaceName));
}

}  // namespace

QFont FontFromLogFont(const LOGFONT& lf) {
  QFont font;
  const QString face = FaceName(lf);
  if (!face.isEmpty()) font.setFamilies({face});
  font.setStyleHint(StyleHintOf(lf.lfPitchAndFamily));
  if ((lf.lfPitchAndFamily & 0x03) == 1) font.setFixedPitch(true);
  if (lf.lfHeight < 0) {
    font.setPixelSize(-lf.lfHeight);
  } else if (lf.lfHeight > 0) {
    // A positive height is the whole cell, leading included: scale the
    // character height down by the face's own proportions.
    font.setPixelSize(lf.lfHeight);
    const int cell = QFontMetrics(font).height();
    if (cell > lf.lfHeight) font.setPixelSize(std::max(1, lf.lfHeight * lf.lfHeight / cell));
  }
  if (lf.lfWeight > 0) font.setWeight(static_cast<QFont::Weight>(std::clamp<LONG>(lf.lfWeight, 1, 1000)));
  font.setItalic(lf.lfItalic != 0);
  font.setUnderline(lf.lfUnderline != 0);
  font.setStrikeOut(lf.lfStrikeOut != 0);
  if (lf.lfQuality == 3) font.setStyleStrategy(QFont::NoAntialias);  // non-antialiased quality
  return font;
}

QPixmap ResourceBitmap(int id) {
  const char* path = nullptr;
  switch (id) {
    case IDB_EPROM: path = ":/bitmaps/eprom.png"; break;
    case IDB_CHECK: path = ":/bitmaps/check.png"; break;
    case IDB_CROSS: path = ":/bitmaps/cross.png"; break;
    default: return {};
  }
  QPixmap pixmap(QString::fromLatin1(path));
  pixmap.setDevicePixelRatio(1.0);
  return pixmap;
}

QtCanvas::QtCanvas(QPainter& painter) : painter_(painter) {
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.setPen(QPen(Qt::black, 1));
  painter_.setFont(FontFromLogFont(LOGFONT()));
}

// Inside-frame only changes figures drawn from a bounding rectangle; the
// paint code draws lines alone, which GDI centres on the path either way.
void QtCanvas::SetPen(int width, COLORREF colour, bool /*insideFrame*/) {
  penWidth_ = std::max(1, width);
  // Widths are in client pixels, scaled with them on a high-density screen.
  painter_.setPen(QPen(ColourOf(colour), penWidth_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void QtCanvas::MoveTo(int x, int y) { current_ = QPoint(x, y); }

void QtCanvas::LineTo(int x, int y) {
  const QPoint to(x, y);
  if (penWidth_ == 1) {
    // A one-pixel line stops one pixel short of its end point.
    const QPoint d = to - current_;
    const int steps = std::max(std::abs(d.x()), std::abs(d.y()));
    if (steps > 1) {
      const QPoint last(current_.x() + d.x() * (steps - 1) / steps, current_.y() + d.y() * (steps - 1) / steps);
      painter_.drawLine(current_, last);
    } else if (steps == 1) {
      painter_.drawPoint(current_);
    }
  } else if (to == current_) {
    // A wide pen's round ends still make a dot of a line of no length.
    painter_.drawPoint(to);
  } else {
    painter_.drawLine(current_, to);
  }
  current_ = to;
}

void QtCanvas::DrawBitmap(int bitmapId, int x, int y, int w, int h) {
  const QPixmap bitmap = ResourceBitmap(bitmapId);
  if (bitmap.isNull() || w <= 0 || h <= 0) return;
  painter_.drawPixmap(QPoint(x, y), bitmap, QRect(0, 0, w, h));
}

void QtCanvas::SetFont(const LOGFONT& font) { painter_.setFont(FontFromLogFont(font)); }

void QtCanvas::SetTextAlign(UINT align) { align_ = align; }

void QtCanvas::PutText(int x, int y, const char* text) {
  const QString s = QString::fromUtf8(text ? text : "");
  const QFontMetrics metrics(painter_.font());
  const int width = metrics.horizontalAdvance(s);
  constexpr UINT kHorizontal = 6;  // TA_CENTER's bits; 2 alone is right alignment
  int left = x;
  if ((align_ & kHorizontal) == TA_CENTER) left = x - width / 2;
  else if ((align_ & kHorizontal) == 2) left = x - width;
  // The text cell is filled with the background colour first, as an opaque
  // background mode does.
  painter_.fillRect(QRect(left, y, width, metrics.height()), Qt::white);
  const QPen pen = painter_.pen();
  painter_.setPen(Qt::black);
  painter_.drawText(QPoint(left, y + metrics.ascent()), s);
  painter_.setPen(pen);
}
