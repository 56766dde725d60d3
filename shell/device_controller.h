// Everything the user asks of the Kilnbox: get and send its memory, read,
// program, verify and blank-check an EPROM, cancel; with the presence
// check, the reply time-out, the progress estimate and the EPROM marks.
//
// One operation runs at a time. It takes what it works on (the EPROM, its
// type and size) when it is asked for and keeps it; a device command that
// comes while one runs waits its turn, and Cancel ends the one under way
// and drops those waiting. Each operation is one sequence, read top to
// bottom, that waits for one thing at a time: a command to have left the
// port, a pause, the Kilnbox's reply, the end of a transfer, the user's
// answer. Between its steps the window works as usual.
//
// The controller shows and asks through a DeviceView (the main window, or
// talverine-cli's terminal). Its timers reach it through Timer, from
// whoever receives them; the MIDI ports report to it through the MIDI layer.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "device/midi.h"
#include "device/reply.h"
#include "device/sysex.h"
#include "platform/platform.h"
#include "shell/app_state.h"
#include "shell/eprom_compare.h"
#include "shell/image_model.h"
#include "shell/sequence.h"

// MIDI bytes per second on the wire, and per 320 ms timer tick.
constexpr long MIDI_WIRE_RATE = 3125;
constexpr long BYTES_PER_TICK = 1000;
constexpr UINT TICK_MS = 320;
constexpr UINT PRESENCE_TIMEOUT_TICKS = 15;

// Raw MIDI bytes of a transfer of `sizeK` KB, and its reply time-out in ticks.
constexpr long TransferBytes(long sizeK) { return sizeK * 2048 + static_cast<long>(SYSEX_BLOCK_HEADER); }
constexpr UINT ReplyTimeoutTicks(long rawBytes) { return static_cast<UINT>((rawBytes + 999) / 1000 + 10); }

// The operations the user can ask of the Kilnbox.
enum class DeviceOperation { None, GetData, SendData, ReadEprom, VerifyEprom, ProgramEprom, BlankCheck };

// What the user asked for, with everything it works on, taken when asked.
struct DeviceRequest {
  DeviceOperation operation = DeviceOperation::None;
  BYTE eprom = 0;   // which EPROM, from 0; 0 for Get and Send data
  UINT type = 0;    // the EPROM type
  long epromK = 0;  // one EPROM's size in KB
  long soundK = 0;  // one sound's size in KB (Get and Send data move one sound)

  BYTE Block() const { return static_cast<BYTE>(eprom + 1); }
  DWORD EpromOffset() const { return static_cast<DWORD>(eprom) * static_cast<DWORD>(epromK) * 1024; }
  // The bytes of the block it moves: one sound for Get and Send data, else one EPROM.
  DWORD BlockBytes() const {
    const bool sound = operation == DeviceOperation::GetData || operation == DeviceOperation::SendData;
    return static_cast<DWORD>(sound ? soundK : epromK) * 1024;
  }
};

// A request for `operation` on EPROM `eprom` with the image's type and
// arrangement as they stand.
DeviceRequest RequestFor(const ImageModel& image, DeviceOperation operation, BYTE eprom);

// How an operation ended. The window shows it as the texts it always did; a
// caller without a window (talverine-cli) takes its result from here.
enum class OutcomeKind {
  Succeeded,  // read or verified OK, sent, programmed (answered yes), blank check started
  Failed,     // a damaged reply, a verify difference, programming answered no
  Cancelled,  // by Cancel, by cancelling the Which EPROM choice, or dropped while waiting
  TimedOut,   // "Kilnbox not responding!"
  Refused,    // a command the port refused or could not send, or the buffers are missing
};
struct DeviceOutcome {
  DeviceOperation operation = DeviceOperation::None;
  OutcomeKind kind = OutcomeKind::Succeeded;
  std::string text;  // the result shown for it last, if any
};

// What the user is asked or told while an operation waits.
enum class DeviceQuestion {
  ProgrammedOk,      // yes or no
  BlankCheckNotice,  // read the Kilnbox's display
  VerifyDifference,  // the first byte that differs
};

// What the operations show and ask.
class DeviceView {
 public:
  virtual ~DeviceView() = default;
  // Status part 0 (the step), 1 (counts and results) or 2 (the Kilnbox's
  // presence); "" clears it.
  virtual void ShowStatus(int part, const std::string& text) = 0;
  // Part 1's receive countdown, every tick while a reply is awaited.
  virtual void ShowCountdown(const std::string& text) = 0;
  // A progress bar for an estimate of `rawBytes` (replacing one shown), a
  // step of it, and its end.
  virtual void ShowProgress(long rawBytes) = 0;
  virtual void StepProgress() = 0;
  virtual void HideProgress() = 0;
  // Asks or tells; `answered` is called with the answer (yes, or OK) now or
  // later, at most once.
  virtual void Ask(DeviceQuestion question, const std::string& text, std::function<void(bool)> answered) = 0;
  // A problem that stops a command before it starts.
  virtual void ShowError(const std::string& text) = 0;
  // The EPROM marks changed, or the image was read into.
  virtual void MarksChanged() = 0;
  virtual void ImageChanged() = 0;
  // Which of the EPROMs (from 0), `current` offered first; nullopt: none.
  virtual std::optional<BYTE> ChooseEprom(BYTE current) = 0;
  // An operation ended (also one dropped before it started).
  virtual void Ended(const DeviceOutcome& /*outcome*/) {}
};

class DeviceController : private MidiEvents {
 public:
  // `events` receives the controller's timers; the host hands them to
  // Timer. The MIDI layer's reports go to the controller while it
  // lives. The operations read and write `image` (its bytes, its marks and
  // the EPROM chosen) and send and receive through `app`'s MIDI buffers.
  DeviceController(DeviceView& view, HWND events, ImageModel& image, AppState& app);
  ~DeviceController() override;
  DeviceController(const DeviceController&) = delete;
  DeviceController& operator=(const DeviceController&) = delete;

  // A device command of the menu or a per-EPROM button (ids 105, 106, 108,
  // 111..113, 115, 206..208, 210..213, 220..223); false for any other id.
  bool Command(int id);
  // Starts `request` now, or once the operations before it have ended.
  void Request(const DeviceRequest& request);
  void Cancel();
  // The window closes: what runs ends, what waits is dropped, input stops.
  void Shutdown();

  // A timer fired; the controller's own act, any other is ignored.
  void Timer(UINT id);

  // Where things stand.
  bool Busy() const { return static_cast<bool>(current_); }
  size_t Waiting() const { return queue_.size(); }
  // Between two commands of a sequence: a command on its way out, or a pause.
  bool Pausing() const { return awaited_ == Awaited::Sent || awaited_ == Awaited::Pause; }
  bool KilnboxDetected() const { return detected_; }
  // As after an answered presence check (or, false, a time-out).
  void SetKilnboxDetected(bool detected) { detected_ = detected; }
  UINT ReplyTicksLeft() const { return replyTicks_; }
  long EstimateBytes() const { return estimate_; }
  bool ProgressShown() const { return progressShown_; }
  // The latest verify reply against the image, byte for byte (the window
  // reports only the first difference).
  const EpromComparison& LastVerify() const { return lastVerify_; }
  // The latest operation to end; cleared by the caller when it wants to
  // see the next one.
  std::optional<DeviceOutcome>& LastOutcome() { return outcome_; }

 private:
  // What a sequence waits for.
  enum class Awaited { Nothing, Refusal, Sent, Pause, Reply, TransferDone, Answer };
  class Wait;
  friend class Wait;
  using Operation = Sequence<OutcomeKind>;

  // The operations, each from its first step to its outcome.
  Operation Run(DeviceRequest request);
  Operation Steps(const DeviceRequest& request);
  Operation GetData(DeviceRequest request);
  Operation SendData(DeviceRequest request);
  Operation ReadOrVerify(DeviceRequest request);
  Operation Program(DeviceRequest request);
  Operation BlankCheck(DeviceRequest request);
  Operation TakeData(const DeviceRequest& request, bool verify);
  Sequence<void> CheckPresence();
  Sequence<void> SendBlock(BYTE block, long sizeK, DWORD offset);

  // What a sequence waits for.
  Wait Sent(bool handedOver);
  Wait OnItsWay(bool handedOver);
  Wait Pause(UINT ms);
  Wait Reply();
  Wait TransferDone();
  Wait Ask(DeviceQuestion question, const char* text);
  bool Holds(Awaited what) const;

  // Starting, resuming and ending.
  void Settle();
  void ResumeIfReady();
  void Stop(OutcomeKind kind);
  void End(OutcomeKind kind);
  void Finish(OutcomeKind kind);
  void Record(DeviceOperation operation, OutcomeKind kind, const std::string& text);
  std::optional<BYTE> EpromFor(int id);
  bool BuffersReady();

  // Events.
  void Tick();
  void PauseTimer();
  void OnMidiLongData(LPMIDIINFO lpMidiInInfo) override;
  void OnMidiLongError(LPMIDIINFO lpMidiInInfo) override;
  void OnMidiOutputDone(LPMIDIINFO lpMidiOutInfo, UINT uError) override;
  void TimeOut();

  // Small steps.
  void ShowStatus(int part, const std::string& text);
  SysexOutput Output() const;
  void ShowSendError();
  void StartEstimate(long rawBytes);
  void ArmAndListen();
  void StopListening();
  void Abandon();

  DeviceView& view_;
  HWND events_;
  ImageModel& image_;
  AppState& app_;
  std::deque<DeviceRequest> queue_;
  Operation current_;
  DeviceRequest running_;                // the request `current_` carries out
  std::coroutine_handle<> resumePoint_;  // where `current_` waits
  Awaited awaited_ = Awaited::Nothing;
  bool inside_ = false;                  // `current_` is running a step
  std::optional<OutcomeKind> endWhenBack_;  // an end that came while it ran
  bool programmingStarted_ = false;

  bool detected_ = false;
  UINT replyTicks_ = 0;                  // ticks left before a reply counts as missing
  long estimate_ = 0;                    // raw bytes still on the wire, as estimated
  bool progressShown_ = false;
  int sendsOnTheirWay_ = 0;              // handed to the port, not yet out
  UINT sendError_ = MMSYSERR_NOERROR;    // the first a port reported, not yet taken
  uint64_t pauseDue_ = 0;
  bool pauseOver_ = false;
  bool replyArrived_ = false;
  KilnboxReply reply_;
  bool answered_ = false;
  bool answer_ = false;
  unsigned questionNumber_ = 0;
  EpromComparison lastVerify_;
  std::string lastText_;                 // the result shown in part 1 last
  std::optional<DeviceOutcome> outcome_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // answers that come late find it gone
};
