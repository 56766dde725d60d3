// The main window: a QMainWindow whose central widget is the client area.
//
// Implements:
// - the menu bar built from the main menu table, mnemonics included, each
//   item posting WM_COMMAND with its id;
// - the client area: cross-hair cursor, white background, WM_SIZE on every
//   resize, WM_LBUTTONDOWN with the key-state word and the position,
//   WM_DROPFILES for local files dropped while drops are accepted, and the
//   close box turned into WM_CLOSE (the window stays until the loop ends);
// - painting: an invalidation schedules a paint that runs the window
//   procedure's WM_PAINT into an image once the posted messages before it
//   are handled; paintEvent only shows that image, so a message box opened
//   in the middle of a paint (its nested loop) never re-enters Qt's own
//   painting.
#pragma once

#include <QImage>
#include <QMainWindow>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

class QPainter;

// What the window asks of the platform that owns it.
class MainWindowHost {
 public:
  virtual ~MainWindowHost() = default;
  // Calls the window procedure now.
  virtual LRESULT SendToWindow(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
  // Queues a message for the window procedure.
  virtual void PostToWindow(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
  // True while posted messages wait to be handled.
  virtual bool PostedMessagesPending() const = 0;
};

class QtClientArea : public QWidget {
  Q_OBJECT

 public:
  QtClientArea(MainWindowHost& host, QWidget* parent);
  ~QtClientArea() override;

  // From WM_CREATE on, resizes reach the window procedure.
  void SetCreated(bool created) { created_ = created; }
  void AcceptDrops(bool accept) { setAcceptDrops(accept); }

  // Marks the whole area for repainting; `erase` starts from the white
  // background instead of the last picture.
  void Invalidate(bool erase);
  bool PaintPending() const { return dirty_ || rendering_; }
  // Runs a pending paint now (when none is under way).
  void PaintNow();
  // The painter of the paint under way, for BeginPaint; null outside one.
  QPainter* ActivePainter() const { return painter_.get(); }
  void EndActivePaint();
  // The last picture painted.
  const QImage& Frame() const { return frame_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void SchedulePaint();
  void RunScheduledPaint();

  MainWindowHost& host_;
  bool created_ = false;
  bool dirty_ = false;
  bool erase_ = true;
  bool scheduled_ = false;
  bool rendering_ = false;
  int deferrals_ = 0;
  QImage frame_;
  QImage canvasImage_;
  std::unique_ptr<QPainter> painter_;
};

class QtMainWindow : public QMainWindow {
  Q_OBJECT

 public:
  QtMainWindow(MainWindowHost& host, const QString& caption);
  QtClientArea* Client() const { return client_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu();

  MainWindowHost& host_;
  QtClientArea* client_;
};

// The property on each menu action carrying its command id, for the tests.
constexpr const char* kCommandIdProperty = "talverineCommandId";

// The key-state word of a mouse message for these buttons and modifiers.
WPARAM KeyStateOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
