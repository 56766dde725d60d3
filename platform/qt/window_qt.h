// The main window: a QMainWindow whose central widget is the client area.
//
// Implements:
// - the menu bar built from the main menu table, mnemonics included, each
//   item queueing its command;
// - the client area: cross-hair cursor, white background, Resized on every
//   resize, LeftButtonDown with the keys held and the position,
//   FilesDropped for local files dropped while drops are accepted, and the
//   close box turned into CloseRequested (the window stays until the loop
//   ends);
// - painting: an invalidation schedules a paint that runs the program's
//   Paint into an image once the events queued before it are handled;
//   paintEvent only shows that image, so a message box opened in the middle
//   of a paint (its nested loop) never re-enters Qt's own painting.
#pragma once

#include <QImage>
#include <QMainWindow>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

using ProgramEvent = std::function<void(WindowEvents&)>;

// What the window asks of the platform that owns it.
class MainWindowHost {
 public:
  virtual ~MainWindowHost() = default;
  // Tells the program now, while the window takes events.
  virtual void ToProgram(const ProgramEvent& event) = 0;
  // Tells the program once the events queued before are handled.
  virtual void QueueToProgram(ProgramEvent event) = 0;
  // True while queued events wait to be handled.
  virtual bool QueuedEventsPending() const = 0;
};

class QtClientArea : public QWidget {
  Q_OBJECT

 public:
  QtClientArea(MainWindowHost& host, QWidget* parent);

  // From the window's creation on, resizes reach the program.
  void SetCreated(bool created) { created_ = created; }
  void AcceptDrops(bool accept) { setAcceptDrops(accept); }

  // Marks the whole area for repainting; `erase` starts from the white
  // background instead of the last picture.
  void Invalidate(bool erase);
  bool PaintPending() const { return dirty_ || rendering_; }
  // Runs a pending paint now (when none is under way).
  void PaintNow();
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

// The keys held (mouse_key flags) for these buttons and modifiers.
WPARAM KeyStateOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
