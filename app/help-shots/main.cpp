// talverine-help-shots: the help's screenshots, taken of the real main
// window offscreen.
//
//   talverine-help-shots SHOT FILE.jpg        SHOT: 1_1, 1_2 or 4_1
//   talverine-help-shots window FILE.png      the client area at 600 x 480
//
// The window shot is what the browser build's test compares its page with:
// the client area alone, lossless, and its controls' rectangles on stdout.
//
// Each run is the program as a user sees it: the core's window procedure on
// the Qt back end, the simulated Kilnbox as its MIDI ports, and a private
// configuration folder choosing the EPROM type and arrangement. The sounds
// are made here from fixed seeds, so that a second run draws the same
// pictures. scripts/make_help_shots runs it for the three shots.
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "files/codec/u255.h"
#include "platform/qt/controls_qt.h"
#include "platform/qt/platform_qt.h"
#include "platform/qt/simdriver_qt.h"
#include "platform/qt/window_qt.h"
#include "resources/command_ids.h"
#include "shell/app_state.h"
#include "shell/core_session.h"
#include "shell/device_controller.h"
#include "shell/image_model.h"
#include "shell/main_window.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

// The pictures' client area; the menu bar comes on top of it. Four EPROM
// columns need 800 pixels: in a narrower window the first picture starts
// left of the edge.
const QSize kClientSize(800, 600);
// The window shot's client area: the browser build's test page has it.
const QSize kWindowShotClientSize(600, 480);
constexpr int kJpegQuality = 90;
constexpr double kSampleRate = 24000.0;  // the playback rate the program starts with
// The simulated Kilnbox works this many times faster than the real one, so
// that a 16 KB read takes a second or two besides the protocol's pauses.
constexpr double kSimulatorSpeed = 25.0;
constexpr int kReadTimeoutMs = 60000;

const char kUsage[] =
    "usage: talverine-help-shots SHOT FILE.jpg\n"
    "SHOT: 1_1 (one EPROM, one sound, read from the simulated Kilnbox),\n"
    "      1_2 (one EPROM, two sounds), 4_1 (four EPROMs, one sound)\n"
    "   or: talverine-help-shots window FILE.png\n"
    "      (the client area at 600 x 480, empty; the rectangles of the\n"
    "      controls on it on stdout, one a line: button|control X Y W H NAME)\n";

[[noreturn]] void Fail(const std::string& text) {
  std::fprintf(stderr, "talverine-help-shots: %s\n", text.c_str());
  std::fflush(stderr);
  // A modal box may be open in a nested loop: leave without unwinding it.
  std::_Exit(kExitFailure);
}

// ---------------------------------------------------------------------------
// The sounds: drum-like signals on the 16-bit scale, from fixed seeds.
// ---------------------------------------------------------------------------
using Samples = std::vector<double>;  // -1 .. 1

constexpr double kTwoPi = 6.283185307179586;

// White noise in -1 .. 1 from the standard's fully specified generator.
class Noise {
 public:
  explicit Noise(uint32_t seed) : rng_(seed) {}
  double operator()() { return static_cast<double>(rng_()) / 2147483647.5 - 1.0; }

 private:
  std::mt19937 rng_;
};

// A pitched drum: a sine gliding from `startHz` down to `endHz`, decaying
// with `decay` seconds, with a short noise click at the attack.
Samples PitchedDrum(size_t frames, double startHz, double endHz, double glide, double decay, uint32_t seed) {
  Samples out(frames);
  Noise noise(seed);
  double phase = 0;
  for (size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    phase += kTwoPi * (endHz + (startHz - endHz) * std::exp(-t / glide)) / kSampleRate;
    const double click = 0.5 * noise() * std::exp(-t / 0.004);
    out[i] = 0.95 * std::sin(phase) * std::exp(-t / decay) + click;
  }
  return out;
}

// A snare: a short tone under a brighter, longer noise burst.
Samples Snare(size_t frames, uint32_t seed) {
  Samples out(frames);
  Noise noise(seed);
  double previous = 0;
  for (size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double n = noise();
    const double bright = n - 0.7 * previous;  // tilts the noise towards the highs
    previous = n;
    out[i] = 0.45 * std::sin(kTwoPi * 185.0 * t) * std::exp(-t / 0.05) + 0.6 * bright * std::exp(-t / 0.09);
  }
  return out;
}

// A crash cymbal: six inharmonic square waves and noise, high-passed, with
// a quick attack and a long decay.
Samples Crash(size_t frames, uint32_t seed) {
  static const double kPartialsHz[] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
  Samples out(frames);
  Noise noise(seed);
  double previousIn = 0, previousOut = 0;
  for (size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    double metal = 0;
    for (double hz : kPartialsHz) metal += std::sin(kTwoPi * hz * t) >= 0 ? 1.0 : -1.0;
    const double in = 0.08 * metal + 0.6 * noise();
    const double high = 0.85 * (previousOut + in - previousIn);  // one-pole high-pass
    previousIn = in;
    previousOut = high;
    const double envelope = (1.0 - std::exp(-t / 0.003)) * std::exp(-t / 0.9);
    out[i] = 0.9 * high * envelope;
  }
  return out;
}

int16_t ToPcm(double x) { return static_cast<int16_t>(std::lround(std::clamp(x, -1.0, 1.0) * 32767.0)); }

// As the drum machine holds a sound: u255 codes, after the two header bytes
// that name the sample rate (code 1: 24 kHz).
std::vector<uint8_t> EpromImage(const Samples& sound) {
  std::vector<uint8_t> codes(sound.size());
  for (size_t i = 0; i < sound.size(); ++i) codes[i] = static_cast<uint8_t>(LinearTou255law(ToPcm(sound[i]), 32768));
  if (codes.size() >= 2) codes[0] = codes[1] = 1;
  return codes;
}

void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutTag(std::vector<uint8_t>& out, const char (&tag)[5]) { out.insert(out.end(), tag, tag + 4); }

// A 16-bit mono PCM WAV file.
bool WriteWav(const QString& path, const Samples& sound) {
  const auto rate = static_cast<uint32_t>(kSampleRate);
  const auto dataBytes = static_cast<uint32_t>(2 * sound.size());
  std::vector<uint8_t> file;
  PutTag(file, "RIFF");
  PutLE(file, 36 + dataBytes, 4);
  PutTag(file, "WAVE");
  PutTag(file, "fmt ");
  PutLE(file, 16, 4);
  PutLE(file, 1, 2);  // PCM
  PutLE(file, 1, 2);  // mono
  PutLE(file, rate, 4);
  PutLE(file, 2 * rate, 4);
  PutLE(file, 2, 2);
  PutLE(file, 16, 2);
  PutTag(file, "data");
  PutLE(file, dataBytes, 4);
  for (double x : sound) PutLE(file, static_cast<uint16_t>(ToPcm(x)), 2);
  QFile out(path);
  return out.open(QIODevice::WriteOnly) &&
         out.write(reinterpret_cast<const char*>(file.data()), static_cast<qint64>(file.size())) ==
             static_cast<qint64>(file.size());
}

// ---------------------------------------------------------------------------
// Driving the window
// ---------------------------------------------------------------------------

// Runs the event loop, the real clock with it, until `done` holds.
bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
  return true;
}

// Runs the loop for `ms` whatever happens.
void RunFor(int ms) {
  RunUntil([] { return false; }, ms);
}

// Nobody answers a box offscreen: one that comes up is a fault of the shot.
void FailOnModalBoxes(QTimer& watch) {
  QObject::connect(&watch, &QTimer::timeout, [] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    const auto* box = qobject_cast<QMessageBox*>(modal);
    Fail("a window came up and nobody can answer it: " +
         (box ? box->text() : modal->windowTitle()).toStdString());
  });
  watch.start(100);
}

class Session {
 public:
  Session(QtPlatform& platform, CoreSession& core, const QString& folder, QSize clientSize)
      : platform_(platform), core_(core), folder_(folder), clientSize_(clientSize) {}

  CoreSession& Core() { return core_; }

  // The main window as TalverineMain makes it, with its client area at the
  // pictures' size.
  void OpenMainWindow() {
    HWND window = plat::CreateMainWindow(szAppCaption, MainWindowEvents());
    if (window == nullptr) Fail("the main window could not be made");
    core_.app.MyWindow = window;
    plat::DragAcceptFiles(window, true);
    QMainWindow* main = platform_.MainWindowWidget();
    for (int i = 0; i < 4 && Client()->size() != clientSize_; ++i) {
      main->resize(main->size() + clientSize_ - Client()->size());
      RunUntil([this] { return Client()->size() == clientSize_; }, 1000);
    }
    if (Client()->size() != clientSize_) Fail("the client area would not take its size");
    Settle();
  }

  QString File(const QString& name) const { return folder_ + QLatin1Char('/') + name; }

  // Drops files on the first sound panel, as from a file manager. They go by
  // their names in the current folder, so that the window names them as a
  // user would see them, and every run draws the same picture.
  void DropOnFirstPanel(const QStringList& names) {
    // The program's own current folder, which a relative name resolves in.
    if (!plat::SetCurrentDirectory(QFile::encodeName(folder_).toStdString())) Fail("cannot change to the folder");
    QList<QUrl> urls;
    for (const QString& name : names) urls << QUrl::fromLocalFile(name);
    QMimeData mime;
    mime.setUrls(urls);
    // Qt delivers a drop only to the widget that took the drag's entry.
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Client(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Client(), &drop);
    Settle();
  }

  // Queued, as a menu item's: a command that opens a dialog returns only
  // when the dialog closes.
  void Command(int id) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), [id] { MainWindowEvents().Command(id); }, Qt::QueuedConnection);
  }

  QString StatusText(int part) const {
    auto* bar = dynamic_cast<QtStatusBar*>(platform_.WidgetOf(core_.app.hWndStatus));
    return bar ? bar->PartText(part) : QString();
  }

  void Repaint() {
    plat::InvalidateRect(Window(), true);
    Settle();
  }

  // Lets posted messages and the paint they cause run out.
  void Settle() {
    RunFor(300);
    if (!RunUntil([this] { return !Client()->PaintPending(); }, 5000)) Fail("the window never finished painting");
  }

  void Grab(const QString& path) {
    Settle();
    const QPixmap picture = platform_.MainWindowWidget()->grab();
    if (!picture.save(path, "JPG", kJpegQuality)) Fail("cannot write " + path.toStdString());
  }

  // The client area alone, lossless; then the controls shown on it, on stdout.
  void GrabClientArea(const QString& path) {
    Settle();
    if (!Client()->grab().save(path, "PNG")) Fail("cannot write " + path.toStdString());
    for (const QWidget* child : Client()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (!child->isVisible()) continue;
      const QRect r = child->geometry();
      const auto* button = qobject_cast<const QPushButton*>(child);
      std::printf("%s %d %d %d %d %s\n", button ? "button" : "control", r.x(), r.y(), r.width(), r.height(),
                  button ? button->text().toUtf8().constData() : child->metaObject()->className());
    }
  }

  void Close() {
    MainWindowEvents().CloseRequested();
    RunFor(100);
  }

  QtSimulatedKilnbox& Simulator() { return *platform_.Simulator(); }

  bool ProgressBarShown() const {
    for (const QProgressBar* bar : Client()->findChildren<QProgressBar*>())
      if (bar->isVisible()) return true;
    return false;
  }

 private:
  QtClientArea* Client() const { return platform_.ClientArea(); }
  HWND Window() const { return core_.app.MyWindow; }

  QtPlatform& platform_;
  CoreSession& core_;
  QString folder_;
  QSize clientSize_;
};

// ---------------------------------------------------------------------------
// The shots
// ---------------------------------------------------------------------------
struct Shot {
  const char* name;
  etEnum type;
  eaEnum arrangement;
  std::function<void(Session&)> act;
  bool clientAreaOnly = false;
};

// A tom read from an EPROM in the simulated Kilnbox's socket, through the
// Read EPROM command, on the real clock until the read has ended.
void ReadFromKilnbox(Session& s) {
  const size_t bytes = EPROM_info[et27128].etSizeK * 1024;
  const std::vector<uint8_t> tom = EpromImage(PitchedDrum(bytes, 260.0, 105.0, 0.03, 0.16, 11));
  s.Simulator().Link()->WithModel([&](sim::Kilnbox& k) { k.InsertEprom(et27128, tom); });
  std::optional<DeviceOutcome>& outcome = s.Core().devices->LastOutcome();
  outcome.reset();
  s.Command(IDM_READ_EPROM);
  RunUntil([&outcome] { return outcome.has_value(); }, kReadTimeoutMs);
  if (!outcome || outcome->kind != OutcomeKind::Succeeded)
    Fail("the EPROM was not read; the status bar says \"" + s.StatusText(1).toStdString() + "\"");
  // The progress bar runs on to the end of its estimate, which the quick
  // simulator beat; the picture shows the window once the read is over.
  if (!RunUntil([&s] { return !s.ProgressBarShown(); }, kReadTimeoutMs)) Fail("the progress bar never went");
  s.Settle();
}

// A kick and a snare dropped together: one into each half of the EPROM.
void TwoSounds(Session& s) {
  const size_t frames = EPROM_info[et2764].etSizeK * 1024 / 2;
  if (!WriteWav(s.File("kick.wav"), PitchedDrum(frames, 150.0, 48.0, 0.025, 0.06, 21)) ||
      !WriteWav(s.File("snare.wav"), Snare(frames, 22)))
    Fail("cannot write the sounds");
  s.DropOnFirstPanel({"kick.wav", "snare.wav"});
}

// A long crash across four EPROMs; the first programmed and verified, the
// second programmed but failing its verify.
void FourEproms(Session& s) {
  const size_t frames = IMAGE_SIZE;
  if (!WriteWav(s.File("crash.wav"), Crash(frames, 41))) Fail("cannot write the sound");
  s.DropOnFirstPanel({"crash.wav"});
  UINT* flags = s.Core().image.EpromFlags;
  flags[0] = efProgrammed | efVerified;
  flags[1] = efProgrammed | efVerified | efVerifyFailed;
  s.Repaint();
}

const Shot kShots[] = {
    {"1_1", et27128, eaOneEpromOneSound, ReadFromKilnbox},
    {"1_2", et2764, eaOneEpromTwoSounds, TwoSounds},
    {"4_1", et27128, eaFourEpromsOneSound, FourEproms},
    {"window", et2764, eaOneEpromOneSound, [](Session&) {}, true},
};

const Shot* FindShot(const std::string& name) {
  for (const Shot& shot : kShots)
    if (name == shot.name) return &shot;
  return nullptr;
}

// The settings the window reads at start: the simulated Kilnbox's ports
// (the only ones registered) and the shot's type and arrangement; WAV files
// scaled to their peak.
bool WriteConfiguration(const QString& folder, const Shot& shot) {
  QFile config(folder + QStringLiteral("/TALVERINE.CFG"));
  if (!config.open(QIODevice::WriteOnly)) return false;
  const QString text = QStringLiteral(
                           "MIDI_out_device = 0\nMIDI_in_device = 0\nEPROM_type = %1\nEPROM_Arrangement = %2\n"
                           "AutoScale = 1\n")
                           .arg(shot.type)
                           .arg(shot.arrangement);
  return config.write(text.toUtf8()) == text.toUtf8().size();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || FindShot(argv[1]) == nullptr) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const Shot& shot = *FindShot(argv[1]);
  const QString output = QFile::decodeName(argv[2]);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  QTemporaryDir scratch;
  if (!scratch.isValid()) Fail("no temporary folder");
  const QString configFolder = scratch.filePath(QStringLiteral("config"));
  const QString soundFolder = scratch.filePath(QStringLiteral("sounds"));
  if (!QDir().mkpath(configFolder) || !QDir().mkpath(soundFolder) || !WriteConfiguration(configFolder, shot))
    Fail("cannot prepare the configuration folder");
  qputenv("TALVERINE_CONFIG_DIR", QFile::encodeName(configFolder));
  const QString target = QFileInfo(output).absoluteFilePath();

  QTimer watch;
  FailOnModalBoxes(watch);
  {
    QtPlatform platform;
    platform.StartSimulator(kSimulatorSpeed);
    const plat::Parts previous = plat::Install(&platform);
    {
      // Ends while the platform is still installed: its device controller
      // stops its timers through it.
      CoreSession core;
      Session session(platform, core, soundFolder, shot.clientAreaOnly ? kWindowShotClientSize : kClientSize);
      session.OpenMainWindow();
      shot.act(session);
      if (shot.clientAreaOnly) {
        session.GrabClientArea(target);
      } else {
        session.Grab(target);
      }
      session.Close();
    }
    plat::Install(previous);
  }
  std::printf("%s\n", target.toLocal8Bit().constData());
  return 0;
}
