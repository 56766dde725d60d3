#include "shell/device_controller.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "device/midi.h"
#include "resources/command_ids.h"
#include "shell/app_state.h"
#include "shell/image_model.h"

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[160];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// The operation a command asks for; None for any other id.
DeviceOperation OperationOf(int id) {
  switch (id) {
    case IDM_GET_DATA: return DeviceOperation::GetData;
    case IDM_SEND_DATA: return DeviceOperation::SendData;
    case IDM_READ_EPROM:
    case IDM_READ_SELECTED: return DeviceOperation::ReadEprom;
    case IDM_VERIFY_EPROM:
    case IDM_VERIFY_SELECTED: return DeviceOperation::VerifyEprom;
    case IDM_PROGRAM_EPROM:
    case IDM_PROGRAM_SELECTED: return DeviceOperation::ProgramEprom;
    case IDM_BLANK_CHECK: return DeviceOperation::BlankCheck;
    default:
      if (id >= IDB_PROGRAM_FIRST && id < IDB_PROGRAM_FIRST + 4) return DeviceOperation::ProgramEprom;
      if (id >= IDB_VERIFY_FIRST && id < IDB_VERIFY_FIRST + 4) return DeviceOperation::VerifyEprom;
      return DeviceOperation::None;
  }
}

// A request as the user would name it, for "Not started: ..." lists.
std::string Describe(const DeviceRequest& request) {
  const std::string eprom = std::to_string(request.eprom + 1);
  switch (request.operation) {
    case DeviceOperation::GetData: return "Get Kilnbox Data";
    case DeviceOperation::SendData: return "Send Kilnbox Data";
    case DeviceOperation::ReadEprom: return "Read EPROM " + eprom;
    case DeviceOperation::VerifyEprom: return "Verify EPROM " + eprom;
    case DeviceOperation::ProgramEprom: return "Program EPROM " + eprom;
    case DeviceOperation::BlankCheck: return "Blank Check of EPROM " + eprom;
    case DeviceOperation::None: break;
  }
  return "";
}

// The data of a packet can be stored or compared only when its pairs are
// whole and well formed and it is the block asked for: a longer one would
// run into the next EPROM's part of the image (or past its end), a shorter
// one would leave part of the EPROM unread while saying it was read.
bool PacketIsUsable(const KilnboxReply& reply, const DeviceRequest& request) {
  const DWORD destination = request.EpromOffset();
  return reply.pairsWellFormed && reply.announced == request.BlockBytes() && destination <= IMAGE_SIZE &&
         reply.announced <= IMAGE_SIZE - destination;
}

// A verify reply's bytes against the image's.
EpromComparison Compare(const KilnboxReply& reply, const BYTE* image) {
  std::vector<BYTE> held(reply.announced);
  for (DWORD i = 0; i < reply.announced; ++i) held[i] = reply.DataByte(i);
  return CompareEprom(held.data(), image, reply.announced);
}

}  // namespace

DeviceRequest RequestFor(const ImageModel& image, DeviceOperation operation, BYTE eprom) {
  DeviceRequest request;
  request.operation = operation;
  request.eprom = eprom;
  request.type = image.EPROM_type;
  request.epromK = static_cast<long>(image.EpromBytes() / 1024);
  request.soundK = static_cast<long>(image.DataSize() / 1024);
  return request;
}

// ---------------------------------------------------------------------------
// Waiting: a sequence suspends until what it awaits holds; the events that
// make it hold resume it. A wait that holds at once does not suspend.
// ---------------------------------------------------------------------------
class DeviceController::Wait {
 public:
  Wait(DeviceController& controller, Awaited what, std::function<void()> begin = {})
      : controller_(controller), what_(what), begin_(std::move(begin)) {}

  bool await_ready() const noexcept { return false; }
  bool await_suspend(std::coroutine_handle<> waiting) {
    controller_.awaited_ = what_;
    if (begin_) begin_();
    if (controller_.Holds(what_)) return false;
    controller_.resumePoint_ = waiting;
    return true;
  }
  // The answer to a question; true for every other wait.
  bool await_resume() {
    controller_.awaited_ = Awaited::Nothing;
    return what_ != Awaited::Answer || controller_.answer_;
  }

 private:
  DeviceController& controller_;
  Awaited what_;
  std::function<void()> begin_;
};

// A command the port refused (the port layer has said why) ends the
// operation: the sequence waits for ever and is ended from outside.
DeviceController::Wait DeviceController::Sent(bool handedOver) {
  if (!handedOver) return Wait(*this, Awaited::Refusal);
  ++sendsOnTheirWay_;
  return Wait(*this, Awaited::Sent);
}

// A message handed over goes on its way while the sequence goes on.
DeviceController::Wait DeviceController::OnItsWay(bool handedOver) {
  if (!handedOver) return Wait(*this, Awaited::Refusal);
  ++sendsOnTheirWay_;
  return Wait(*this, Awaited::Nothing);
}

DeviceController::Wait DeviceController::Pause(UINT ms) {
  return Wait(*this, Awaited::Pause, [this, ms] {
    pauseOver_ = false;
    pauseDue_ = plat::MonotonicMs() + ms;
    plat::SetTimer(events_, ID_PAUSE_TIMER, ms);
  });
}

DeviceController::Wait DeviceController::Reply() { return Wait(*this, Awaited::Reply); }

DeviceController::Wait DeviceController::TransferDone() { return Wait(*this, Awaited::TransferDone); }

DeviceController::Wait DeviceController::Ask(DeviceQuestion question, const char* text) {
  return Wait(*this, Awaited::Answer, [this, question, asking = std::string(text)] {
    answered_ = false;
    const unsigned asked = ++questionNumber_;
    std::weak_ptr<int> alive = alive_;
    view_.Ask(question, asking, [this, asked, alive](bool yes) {
      if (alive.expired() || asked != questionNumber_ || answered_) return;
      answered_ = true;
      answer_ = yes;
      ResumeIfReady();
    });
  });
}

// A message that failed on its way out holds no wait: the operation that
// sent it ends (see Settle).
bool DeviceController::Holds(Awaited what) const {
  switch (what) {
    case Awaited::Nothing: return true;
    case Awaited::Refusal: return false;
    case Awaited::Sent: return sendsOnTheirWay_ == 0 && sendError_ == MMSYSERR_NOERROR;
    case Awaited::Pause: return pauseOver_;
    case Awaited::Reply: return replyArrived_;
    case Awaited::TransferDone: return !progressShown_ && sendsOnTheirWay_ == 0 && sendError_ == MMSYSERR_NOERROR;
    case Awaited::Answer: return answered_;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Running the operations, one at a time
// ---------------------------------------------------------------------------
DeviceController::DeviceController(DeviceView& view, HWND events, ImageModel& image, AppState& app)
    : view_(view), events_(events), image_(image), app_(app) {
  plat::SetTimer(events_, ID_TIMER, TICK_MS);
  MidiSetEvents(this);
}

DeviceController::~DeviceController() {
  if (TheMidiLayer().events == this) MidiSetEvents(nullptr);
  alive_.reset();
  current_.Reset();
  plat::KillTimer(events_, ID_PAUSE_TIMER);
  plat::KillTimer(events_, ID_TIMER);
}

bool DeviceController::Command(int id) {
  if (id == IDM_CANCEL) {
    Cancel();
    return true;
  }
  const DeviceOperation operation = OperationOf(id);
  if (operation == DeviceOperation::None) return false;
  if (!BuffersReady()) {
    Record(operation, OutcomeKind::Refused, "Unable to allocate image memory");
    return true;
  }
  const std::optional<BYTE> eprom = EpromFor(id);
  if (!eprom) {
    Record(operation, OutcomeKind::Cancelled, "");
    return true;
  }
  image_.WhichEPROM = *eprom;
  Request(RequestFor(image_, operation, *eprom));
  return true;
}

// The EPROM a command works on: the one chosen (asking which when the sound
// spans several), the button's, or the one chosen last.
std::optional<BYTE> DeviceController::EpromFor(int id) {
  if (id >= IDB_PROGRAM_FIRST && id < IDB_PROGRAM_FIRST + 4) return static_cast<BYTE>(id - IDB_PROGRAM_FIRST);
  if (id >= IDB_VERIFY_FIRST && id < IDB_VERIFY_FIRST + 4) return static_cast<BYTE>(id - IDB_VERIFY_FIRST);
  switch (id) {
    case IDM_GET_DATA:
    case IDM_SEND_DATA: return 0;
    case IDM_READ_EPROM:
    case IDM_PROGRAM_EPROM:
    case IDM_VERIFY_EPROM:
      if (image_.EPROM_Arrangement != eaTwoEpromsOneSound && image_.EPROM_Arrangement != eaFourEpromsOneSound)
        return 0;
      return view_.ChooseEprom(image_.WhichEPROM);
    default: return image_.WhichEPROM;
  }
}

// The operations need the image and both MIDI buffers; without them they are
// refused rather than run on missing memory.
bool DeviceController::BuffersReady() {
  if (image_.imgMemory && app_.MIDIinBuffer && app_.MIDIoutBuffer) return true;
  view_.ShowError("Unable to allocate image memory");
  return false;
}

// A request already waiting is not queued again: a button clicked twice, or
// a key repeating on it, runs its operation once after the one under way.
void DeviceController::Request(const DeviceRequest& request) {
  const bool waiting = std::any_of(queue_.begin(), queue_.end(), [&](const DeviceRequest& r) {
    return r.operation == request.operation && r.eprom == request.eprom;
  });
  if (!waiting) queue_.push_back(request);
  Settle();
}

void DeviceController::Cancel() { Stop(OutcomeKind::Cancelled); }

void DeviceController::TimeOut() {
  ShowStatus(2, "Kilnbox not responding!");
  detected_ = false;
  lastText_ = "Kilnbox not responding!";
  Stop(OutcomeKind::TimedOut);
}

// Ends the operation under way and drops those waiting; the status says
// what will not happen.
void DeviceController::Stop(OutcomeKind kind) {
  std::string notStarted;
  if (current_ && running_.operation == DeviceOperation::ProgramEprom && !programmingStarted_)
    notStarted = "Programming of EPROM " + std::to_string(running_.eprom + 1) + " not started";
  if (inside_) {
    endWhenBack_ = kind;
  } else {
    End(kind);
  }
  std::string dropped;
  for (const DeviceRequest& request : queue_) dropped += (dropped.empty() ? "" : ", ") + Describe(request);
  queue_.clear();
  replyTicks_ = 0;
  MidiRecord(events_, &app_.MidiInInfo, 0);
  MidiAssignBuffer(events_, &app_.MidiInInfo, nullptr, 0, 0);
  ShowStatus(0, "");
  ShowStatus(1, "");
  if (!dropped.empty()) notStarted += (notStarted.empty() ? "Not started: " : "; not started: ") + dropped;
  if (!notStarted.empty()) ShowStatus(1, notStarted);
}

void DeviceController::Shutdown() {
  queue_.clear();
  if (inside_) {
    endWhenBack_ = OutcomeKind::Cancelled;
  } else {
    End(OutcomeKind::Cancelled);
  }
  plat::KillTimer(events_, ID_TIMER);
}

// Starts what waits once nothing runs, and ends what has finished or was
// told to end while it ran.
void DeviceController::Settle() {
  while (!inside_) {
    if (current_) {
      if (current_.Done()) {
        Finish(current_.Result());
      } else if (endWhenBack_) {
        End(*std::exchange(endWhenBack_, std::nullopt));
      } else if (awaited_ == Awaited::Refusal) {
        End(OutcomeKind::Refused);
      } else if (sendError_ != MMSYSERR_NOERROR && awaited_ != Awaited::Answer) {
        // A message that failed on its way out ends the operation that sent it.
        ShowSendError();
        End(OutcomeKind::Refused);
      } else {
        return;
      }
      continue;
    }
    if (queue_.empty()) return;
    running_ = queue_.front();
    queue_.pop_front();
    programmingStarted_ = false;
    lastText_.clear();
    sendError_ = MMSYSERR_NOERROR;
    current_ = Run(running_);
    inside_ = true;
    current_.Start();
    inside_ = false;
  }
}

void DeviceController::ResumeIfReady() {
  if (!inside_ && current_ && resumePoint_ && Holds(awaited_)) {
    inside_ = true;
    std::exchange(resumePoint_, {}).resume();
    inside_ = false;
  }
  Settle();
}

void DeviceController::Finish(OutcomeKind kind) {
  const DeviceOperation operation = running_.operation;
  current_.Reset();
  resumePoint_ = {};
  awaited_ = Awaited::Nothing;
  if (kind == OutcomeKind::Refused) Abandon();
  replyTicks_ = 0;
  StopListening();
  Record(operation, kind, lastText_);
}

void DeviceController::End(OutcomeKind kind) {
  if (!current_) return;
  ++questionNumber_;  // an answer still to come is no longer wanted
  plat::KillTimer(events_, ID_PAUSE_TIMER);
  Finish(kind);
}

void DeviceController::Record(DeviceOperation operation, OutcomeKind kind, const std::string& text) {
  outcome_ = DeviceOutcome{operation, kind, text};
  view_.Ended(*outcome_);
}

// ---------------------------------------------------------------------------
// The operations
// ---------------------------------------------------------------------------
DeviceController::Operation DeviceController::Run(DeviceRequest request) {
  const UINT eprom = request.eprom % MAX_EPROMS;
  if (request.operation == DeviceOperation::VerifyEprom) {
    image_.EpromFlags[eprom] &= ~(efVerified | efVerifyFailed);
    lastVerify_ = EpromComparison{};
  }
  if (request.operation == DeviceOperation::ProgramEprom) image_.EpromFlags[eprom] = 0;
  // The blank check alone goes without asking whether the Kilnbox answers.
  if (request.operation != DeviceOperation::BlankCheck && !detected_) {
    Sequence<void> presence = CheckPresence();
    co_await presence;
  }
  Operation steps = Steps(request);
  if (!steps) co_return OutcomeKind::Cancelled;
  co_return co_await steps;
}

DeviceController::Operation DeviceController::Steps(const DeviceRequest& request) {
  switch (request.operation) {
    case DeviceOperation::GetData: return GetData(request);
    case DeviceOperation::SendData: return SendData(request);
    case DeviceOperation::ReadEprom:
    case DeviceOperation::VerifyEprom: return ReadOrVerify(request);
    case DeviceOperation::ProgramEprom: return Program(request);
    case DeviceOperation::BlankCheck: return BlankCheck(request);
    case DeviceOperation::None: break;
  }
  return Operation();
}

// Whether the Kilnbox answers: it is asked for block 16 of 1 KB.
Sequence<void> DeviceController::CheckPresence() {
  co_await Sent(SysexSetBlockSize(Output(), 16, 1));
  co_await Pause(250);
  ArmAndListen();
  co_await Sent(SysexRequestTransfer(Output(), 16));
  replyTicks_ = PRESENCE_TIMEOUT_TICKS;
  co_await Reply();
  // Whatever the reply carries, it shows that the Kilnbox answers.
  const std::string received = Format("Received Block %u:  %u bytes", reply_.blockNumber, reply_.receivedLength);
  ShowStatus(1, received);
  ShowStatus(0, "");
  detected_ = true;
  ShowStatus(2, "Kilnbox detected");
  replyTicks_ = 0;
  ShowStatus(1, received);
}

DeviceController::Operation DeviceController::GetData(DeviceRequest request) {
  ShowStatus(1, "");
  ShowStatus(0, "Setting Kilnbox block size");
  co_await Sent(SysexSetBlockSize(Output(), 1, static_cast<BYTE>(request.soundK)));
  co_await Pause(500);
  ShowStatus(0, "Reading block 1...");
  StartEstimate(TransferBytes(request.soundK));
  image_.SoundFileLoaded[0] = image_.SoundFileLoaded[1] = 0;
  image_.ClearEpromFlags();
  Operation take = TakeData(request, false);
  co_return co_await take;
}

DeviceController::Operation DeviceController::SendData(DeviceRequest request) {
  ShowStatus(1, "");
  ShowStatus(0, "Setting Kilnbox block size");
  co_await Sent(SysexSetBlockSize(Output(), 1, static_cast<BYTE>(request.soundK)));
  co_await Pause(500);
  Sequence<void> block = SendBlock(1, request.soundK, 0);
  co_await block;
  co_return OutcomeKind::Succeeded;
}

DeviceController::Operation DeviceController::ReadOrVerify(DeviceRequest request) {
  const bool verify = request.operation == DeviceOperation::VerifyEprom;
  ShowStatus(1, "");
  ShowStatus(0, "Setting Kilnbox block size");
  co_await Sent(SysexSetBlockSize(Output(), request.Block(), static_cast<BYTE>(request.epromK)));
  co_await Pause(500);
  ShowStatus(0, "Setting EPROM type");
  co_await Sent(SysexSetEPROMType(Output(), request.type));
  co_await Pause(500);
  StartEstimate(TransferBytes(request.epromK));
  ShowStatus(0, "Reading EPROM");
  co_await Sent(SysexReadEPROM(Output(), request.Block()));
  co_await Pause(2000);
  ShowStatus(0, Format("Reading block %d...", request.Block()));
  if (!verify) {
    image_.ClearEpromFlags();
    image_.SoundFileLoaded[0] = image_.SoundFileLoaded[1] = 0;
  }
  Operation take = TakeData(request, verify);
  co_return co_await take;
}

// Asks for the request's block and stores the reply in the image, or
// compares it with the image, at the EPROM the request named.
DeviceController::Operation DeviceController::TakeData(const DeviceRequest& request, bool verify) {
  const UINT eprom = request.eprom % MAX_EPROMS;
  ArmAndListen();
  co_await Sent(SysexRequestTransfer(Output(), request.Block()));
  replyTicks_ = ReplyTimeoutTicks(estimate_);
  if (verify) view_.MarksChanged();
  co_await Reply();
  const KilnboxReply reply = reply_;
  std::string result = Format("Received Block %u:  %u bytes", reply.blockNumber, reply.receivedLength);
  ShowStatus(1, result);
  ShowStatus(0, "");
  const DWORD destination = request.EpromOffset();
  bool complete = PacketIsUsable(reply, request);
  if (complete && !verify) {
    for (DWORD i = 0; i < reply.announced; ++i) image_.imgMemory[destination + i] = reply.DataByte(i);
  }
  if (complete && verify) {
    lastVerify_ = Compare(reply, image_.imgMemory.get() + destination);
    if (lastVerify_.differing.count != 0) {
      const DWORD at = lastVerify_.differing.first;
      result = Format("Verify error at address 0x%04X (0x%02X vs 0x%02X)", at, reply.DataByte(at),
                      image_.imgMemory[destination + at]);
      // The difference is the answer: no time-out may end it while the user reads it.
      replyTicks_ = 0;
      co_await Ask(DeviceQuestion::VerifyDifference, result.c_str());
      image_.EpromFlags[eprom] |= efVerified | efVerifyFailed;
      view_.MarksChanged();
      complete = false;
    }
  }
  if (complete && verify) {
    result += " - Verify OK.";
    image_.EpromFlags[eprom] |= efVerified;
    image_.EpromFlags[eprom] &= ~efVerifyFailed;
    view_.MarksChanged();
  } else if (complete) {
    result += " - Read OK.";
    view_.ImageChanged();
  } else {
    result += " - Error!";
  }
  replyTicks_ = 0;
  ShowStatus(1, result);
  lastText_ = result;
  co_return complete ? OutcomeKind::Succeeded : OutcomeKind::Failed;
}

// Sends `sizeK` KB of the image from `offset` as `block`, then waits until
// it has left the port and the estimate of its time on the wire has run
// out. The whole seconds the hand-over itself took count towards the
// estimate.
Sequence<void> DeviceController::SendBlock(BYTE block, long sizeK, DWORD offset) {
  ShowStatus(0, "Transferring data to Kilnbox...");
  estimate_ = TransferBytes(sizeK);
  const int64_t started = plat::TimeSeconds();
  const bool handedOver = SysexSendBlock(Output(), image_.imgMemory.get(), block, static_cast<BYTE>(sizeK), offset);
  estimate_ -= static_cast<long>(plat::TimeSeconds() - started) * MIDI_WIRE_RATE;
  co_await OnItsWay(handedOver);
  if (estimate_ > 0) {
    view_.ShowProgress(estimate_);
    progressShown_ = true;
  } else {
    ShowStatus(0, "");
    lastText_ = Format("Transferred %ld bytes", sizeK * 1024);
    ShowStatus(1, lastText_);
  }
  co_await TransferDone();
}

DeviceController::Operation DeviceController::Program(DeviceRequest request) {
  const UINT eprom = request.eprom % MAX_EPROMS;
  ShowStatus(1, "");
  estimate_ = 0;
  ShowStatus(0, "Setting Kilnbox block size");
  co_await Sent(SysexSetBlockSize(Output(), request.Block(), static_cast<BYTE>(request.epromK)));
  co_await Pause(500);
  ShowStatus(0, "Setting EPROM type");
  co_await Sent(SysexSetEPROMType(Output(), request.type));
  co_await Pause(500);
  // Nothing sent, nothing to program: the Kilnbox would burn stale memory.
  Sequence<void> block = SendBlock(request.Block(), request.epromK, request.EpromOffset());
  co_await block;
  view_.MarksChanged();
  ShowStatus(0, "Programming EPROM");
  programmingStarted_ = true;
  // Unsent, nothing was programmed: there is nothing to ask about.
  co_await Sent(SysexStartProgramming(Output(), request.Block()));
  const bool programmed =
      co_await Ask(DeviceQuestion::ProgrammedOk, "Watch Kilnbox display for progress...\nWas the EPROM programmed OK?");
  image_.EpromFlags[eprom] |= efProgrammed;
  image_.EpromFlags[eprom] &= ~efProgramFailed;
  view_.MarksChanged();
  if (!programmed) {
    image_.EpromFlags[eprom] |= efProgramFailed;
    view_.MarksChanged();
  }
  co_return programmed ? OutcomeKind::Succeeded : OutcomeKind::Failed;
}

DeviceController::Operation DeviceController::BlankCheck(DeviceRequest request) {
  ShowStatus(1, "");
  ShowStatus(0, "Setting EPROM type");
  co_await Sent(SysexSetEPROMType(Output(), request.type));
  co_await Pause(500);
  ShowStatus(0, "Blank Checking EPROM");
  co_await Sent(SysexBlankCheck(Output(), request.Block()));
  co_await Ask(DeviceQuestion::BlankCheckNotice, "See Kilnbox display for result");
  ShowStatus(0, "");
  co_return OutcomeKind::Succeeded;
}

// ---------------------------------------------------------------------------
// Events
// ---------------------------------------------------------------------------
void DeviceController::Timer(UINT id) {
  if (id == ID_TIMER) Tick();
  if (id == ID_PAUSE_TIMER) PauseTimer();
}

void DeviceController::Tick() {
  // A pause stands for the sleep it replaced: the clock of the time-out and
  // of the estimate stands still meanwhile.
  if (awaited_ == Awaited::Pause) return;
  if (replyTicks_ != 0 && --replyTicks_ == 0) TimeOut();
  estimate_ -= BYTES_PER_TICK;
  if (progressShown_) {
    view_.StepProgress();
    if (estimate_ < 0) {
      view_.HideProgress();
      progressShown_ = false;
      ShowStatus(0, "");
    }
  }
  if (app_.MidiInInfo.uDeviceStatus == MIDI_BUSY) {
    if (estimate_ < 0) estimate_ = 0;
    view_.ShowCountdown(Format("Receiving: %ld bytes remaining", estimate_));
  }
  ResumeIfReady();
}

// A pause never ends early, whatever the timer's own precision.
void DeviceController::PauseTimer() {
  if (awaited_ != Awaited::Pause || pauseOver_) {
    plat::KillTimer(events_, ID_PAUSE_TIMER);
    return;
  }
  const uint64_t now = plat::MonotonicMs();
  if (now < pauseDue_) {
    plat::SetTimer(events_, ID_PAUSE_TIMER, static_cast<UINT>(pauseDue_ - now));
    return;
  }
  plat::KillTimer(events_, ID_PAUSE_TIMER);
  pauseOver_ = true;
  ResumeIfReady();
}

// A reply is a whole System Exclusive message in the armed buffer.
void DeviceController::OnMidiLongData(LPMIDIINFO lpMidiInInfo) {
  const MIDIBUFFER& buffer = app_.MidiInInfo.Buffer;
  const BYTE* received = app_.MIDIinBuffer.get();
  const bool armed = lpMidiInInfo == &app_.MidiInInfo && buffer.lpData == reinterpret_cast<const char*>(received);
  if (!armed || !current_) {
    plat::DebugTrace("\r\nDeviceController: a message nobody waits for was ignored");
    return;
  }
  const DWORD n = buffer.dwBytesRecorded < BUFFER_SIZE ? buffer.dwBytesRecorded : BUFFER_SIZE;
  const KilnboxReply reply = DecodeReply(received, n);
  // One message per arming, whatever it was: another device's message ends
  // the reception, and the operation then waits for its time-out.
  MidiAssignBuffer(events_, &app_.MidiInInfo, nullptr, 0, 0);
  if (!reply.isDataBlock) return;
  reply_ = reply;
  replyArrived_ = true;
  ResumeIfReady();
}

void DeviceController::OnMidiLongError(LPMIDIINFO) { ShowStatus(1, "MIDI In Error"); }

void DeviceController::OnMidiOutputDone(LPMIDIINFO, UINT error) {
  if (sendsOnTheirWay_ > 0) --sendsOnTheirWay_;
  if (error != MMSYSERR_NOERROR && sendError_ == MMSYSERR_NOERROR) sendError_ = error;
  if (!current_ && sendError_ != MMSYSERR_NOERROR) {
    // What failed belonged to an operation that has ended.
    plat::DebugTrace("\r\nDeviceController: a message of an ended operation failed on its way out");
    sendError_ = MMSYSERR_NOERROR;
  }
  ResumeIfReady();
}

// ---------------------------------------------------------------------------
// Small steps
// ---------------------------------------------------------------------------
void DeviceController::ShowStatus(int part, const std::string& text) { view_.ShowStatus(part, text); }

SysexOutput DeviceController::Output() const { return {&app_.MidiOutInfo, app_.MIDIoutBuffer.get(), events_}; }

void DeviceController::ShowSendError() {
  const UINT error = std::exchange(sendError_, MMSYSERR_NOERROR);
  MidiShowError(events_, error, MIDI_OUTPUT);
}

void DeviceController::StartEstimate(long rawBytes) {
  estimate_ = rawBytes;
  view_.ShowProgress(estimate_);
  progressShown_ = true;
}

void DeviceController::ArmAndListen() {
  replyArrived_ = false;
  MidiAssignBuffer(events_, &app_.MidiInInfo, reinterpret_cast<char*>(app_.MIDIinBuffer.get()), BUFFER_SIZE, 1);
  MidiRecord(events_, &app_.MidiInInfo, 1);
}

void DeviceController::StopListening() {
  if (app_.MidiInInfo.Buffer.lpData == nullptr) return;
  MidiRecord(events_, &app_.MidiInInfo, 0);
  MidiAssignBuffer(events_, &app_.MidiInInfo, nullptr, 0, 0);
}

// An operation refused half-way leaves no transfer behind: its estimate
// and bar go, and with them the step it was for.
void DeviceController::Abandon() {
  if (progressShown_) view_.HideProgress();
  progressShown_ = false;
  estimate_ = 0;
  ShowStatus(0, "");
}
