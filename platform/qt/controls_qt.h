// Child controls of the main window's client area, as the desktop API's
// common controls behave.
//
// Implements:
// - QtStatusBar: parts whose right edges are exactly those given (-1: to the
//   right edge), a text per part, placed along the bottom of its parent only
//   when told to reposition itself, so that the client height includes the
//   strip it covers;
// - QtProgressBar: range, step and a step that wraps to the start when it
//   passes the end;
// - MakePushButton: a child push button reporting clicks through a callback.
#pragma once

#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class QtStatusBar : public QWidget {
  Q_OBJECT

 public:
  explicit QtStatusBar(QWidget* parent);

  // Right edges of the parts in client pixels; -1 runs to the right edge.
  void SetParts(const std::vector<int>& rightEdges);
  void SetPartText(int part, const QString& text);
  // Spans the bottom of the parent, at the bar's own height; again
  // whenever the parent is resized.
  void Reposition();

  const std::vector<int>& RightEdges() const { return edges_; }
  QString PartText(int part) const;
  // Where part `part` lies in the bar's own coordinates.
  QRect PartRect(int part) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::vector<int> edges_;
  std::vector<QString> texts_;
};

class QtProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  explicit QtProgressBar(QWidget* parent);
  // Shows `position` of 0..`range`.
  void Set(int position, int range);
  int Position() const { return position_; }

 private:
  int position_ = 0;
};

// The property that carries a child control's id, for the tests.
constexpr const char* kControlIdProperty = "talverineControlId";

QPushButton* MakePushButton(QWidget* parent, const QString& label, int id, const QRect& at,
                            std::function<void()> clicked);
