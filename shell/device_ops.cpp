#include "shell/device_ops.h"

#include <cstdio>
#include <cstring>

#include "device/midi.h"
#include "device/reply.h"
#include "device/sysex.h"
#include "resources/command_ids.h"
#include "resources/dialog_templates.h"
#include "settings/dialogs.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "shell/playback.h"

namespace {
DeviceSession g_session;
}

DeviceSession& TheDeviceSession() { return g_session; }

ermEnum& ReadMode = g_session.ReadMode;
BYTE& kilnbox_detected = g_session.kilnbox_detected;
UINT& PendingMsg = g_session.PendingMsg;
UINT& PendingProgressCommand = g_session.PendingProgressCommand;
UINT& response_timeout = g_session.response_timeout;
long& rawbytecount = g_session.rawbytecount;
HWND& hwndPB = g_session.hwndPB;
char (&SzTimerInfo)[1024] = g_session.SzTimerInfo;
VerifyTally& LastVerify = g_session.LastVerify;

namespace {

void SetStatus(int part, const char* text) { plat::StatusSetText(hWndStatus, part, text); }
void ClearStatus(int part) { SetStatus(part, ""); }

void Redraw(HWND hWnd) { plat::InvalidateRect(hWnd, true); }

void AppendTo(char (&text)[sizeof szString], const char* suffix) {
  const size_t used = std::strlen(text);
  std::snprintf(text + used, sizeof text - used, "%s", suffix);
}

long EpromSizeK() { return static_cast<long>(EpromBytes() / 1024); }
long SoundSizeK() { return static_cast<long>(myDataSize() / 1024); }
BYTE BlockOfSelectedEprom() { return static_cast<BYTE>(WhichEPROM + 1); }
DWORD SelectedEpromOffset() { return static_cast<DWORD>(WhichEPROM) * EpromBytes(); }

void ArmAndListen(HWND hWnd) {
  MidiAssignBuffer(hWnd, &MidiInInfo, reinterpret_cast<char*>(MIDIinBuffer), BUFFER_SIZE, 1);
  MidiRecord(hWnd, &MidiInInfo, 1);
}

void ReleaseInput(HWND hWnd) { MidiAssignBuffer(hWnd, &MidiInInfo, nullptr, 0, 0); }

void SetReplyTimeout() { response_timeout = ReplyTimeoutTicks(rawbytecount); }

// ---------------------------------------------------------------------------
// Operations, their pauses and their outcomes
// ---------------------------------------------------------------------------
void Begin(DeviceOperation operation) { g_session.operation = operation; }

// Ends the operation under way (if any) with `kind`.
void End(OutcomeKind kind, const char* text = "") {
  if (g_session.operation == DeviceOperation::None) return;
  g_session.outcome = DeviceOutcome{g_session.operation, kind, text};
  g_session.operation = DeviceOperation::None;
}

// The pauses the Kilnbox needs between two commands. The window goes on
// painting meanwhile; everything else waits for the end of the sequence
// (DeviceSequencePaused), and the periodic timer stands still, as it would
// behind a sleep.
void PauseThen(HWND hWnd, UINT ms, DeviceStep next) {
  g_session.afterPause = next;
  plat::SetTimer(hWnd, ID_PAUSE_TIMER, ms);
}

// Asks the user, telling a caller without a window what the box is about.
int Ask(DeviceQuestion question, HWND owner, const char* text, const char* caption, UINT type) {
  g_session.asking = question;
  const int answer = plat::MessageBox(owner, text, caption, type);
  g_session.asking = DeviceQuestion::None;
  return answer;
}

// The operations need the image and both MIDI buffers; without them they are
// refused rather than run on missing memory.
bool BuffersReady(HWND hWnd) {
  if (imgMemory && MIDIinBuffer && MIDIoutBuffer) return true;
  plat::MessageBox(hWnd, "Unable to allocate image memory", nullptr, MB_OK);
  return false;
}

// Detect or defer: true when the Kilnbox is known to answer; otherwise a
// presence check runs and `command` is posted again once it answers.
bool Detected(HWND hWnd, UINT command) {
  if (KilnboxDetect(hWnd)) return true;
  PendingMsg = command;
  return false;
}

// A command the driver refused (its message has been shown) ends the
// operation there: going on would read the programmer's stale memory into
// the image, or program and mark an EPROM the programmer wasn't set up for.
// A reception set up for the operation is taken down with it, and so is a
// start-programming step still waiting for a bar that is gone: it would
// otherwise fire at the end of some later, unrelated operation.
void AbandonReception(HWND hWnd) {
  if (hwndPB) {
    plat::DestroyWindow(hwndPB);
    hwndPB = nullptr;
    PendingProgressCommand = 0;
  }
  rawbytecount = 0;
  response_timeout = 0;
  if (MidiInInfo.MidiHdr.lpData != nullptr) {
    MidiRecord(hWnd, &MidiInInfo, 0);
    ReleaseInput(hWnd);
  }
  ClearStatus(0);
  End(OutcomeKind::Refused);
}

// A command refused before anything was set up for a reply.
void Refuse() {
  ClearStatus(0);
  End(OutcomeKind::Refused);
}

// Sends `sizeK` KB of the image from `offset` as `block` and credits the
// whole seconds the hand-over took to the estimate. False when nothing
// could be sent.
bool SendBlockAndCredit(BYTE block, long sizeK, DWORD offset) {
  const int64_t started = plat::TimeSeconds();
  const bool sent = SysexSendBlock(block, MIDIoutBuffer, static_cast<BYTE>(sizeK), offset);
  const int64_t finished = plat::TimeSeconds();
  rawbytecount -= static_cast<long>(finished - started) * MIDI_WIRE_RATE;
  return sent;
}

void ShowTransferred(long sizeK) {
  ClearStatus(0);
  std::snprintf(szString, sizeof szString, "Transferred %ld bytes", sizeK * 1024);
  SetStatus(1, szString);
}

// The presence check, after its block size and pause.
void RequestPresenceReply(HWND hWnd) {
  ReadMode = ermNothing;
  ArmAndListen(hWnd);
  SysexRequestTransfer(16);
}

// Get data and Send data move one sound as block 1. First its size.
bool SizeBlock1ForOneSound() {
  ClearStatus(1);
  SetStatus(0, "Setting Kilnbox block size");
  return SysexSetBlockSize(1, static_cast<BYTE>(SoundSizeK()));
}

// --- Get data ------------------------------------------------------------------
void RequestBlock1(HWND hWnd) {
  SetStatus(0, "Reading block 1...");
  rawbytecount = TransferBytes(SoundSizeK());
  CreateProgressBar(hWnd, rawbytecount);
  SoundFileLoaded[0] = SoundFileLoaded[1] = 0;
  ClearEpromFlags();
  ReadMode = ermRead;
  WhichEPROM = 0;
  SetReplyTimeout();
  ArmAndListen(hWnd);
  if (!SysexRequestTransfer(1)) AbandonReception(hWnd);
}

void GetData(HWND hWnd) {
  if (!Detected(hWnd, IDM_GET_DATA)) return;
  if (!SizeBlock1ForOneSound()) return Refuse();
  PauseThen(hWnd, 500, RequestBlock1);
}

// --- Send data -----------------------------------------------------------------
void SendBlock1(HWND hWnd) {
  const long sizeK = SoundSizeK();
  SetStatus(0, "Transferring data to Kilnbox...");
  rawbytecount = TransferBytes(sizeK);
  WhichEPROM = 0;
  if (!SendBlockAndCredit(1, sizeK, 0)) return Refuse();
  if (rawbytecount > 0) {
    CreateProgressBar(hWnd, rawbytecount);
    g_session.barOwner = DeviceOperation::SendData;  // done when the estimate runs out
    return;
  }
  ShowTransferred(sizeK);
  End(OutcomeKind::Succeeded, szString);
}

void SendData(HWND hWnd) {
  if (!Detected(hWnd, IDM_SEND_DATA)) return;
  if (!SizeBlock1ForOneSound()) return Refuse();
  PauseThen(hWnd, 500, SendBlock1);
}

// --- Read and Verify EPROM -------------------------------------------------------
// Both size the EPROM's block, set its type and have the Kilnbox read it,
// with a pause after each, then ask for the block.
void RequestEpromBlock(HWND hWnd) {
  const BYTE block = BlockOfSelectedEprom();
  char text[64];
  std::snprintf(text, sizeof text, "Reading block %d...", block);
  SetStatus(0, text);
  const bool verify = g_session.operation == DeviceOperation::VerifyEprom;
  if (!verify) {
    ClearEpromFlags();
    SoundFileLoaded[0] = SoundFileLoaded[1] = 0;
  }
  ReadMode = verify ? ermVerify : ermRead;
  SetReplyTimeout();
  ArmAndListen(hWnd);
  if (!SysexRequestTransfer(block)) AbandonReception(hWnd);
  if (verify) Redraw(hWnd);
}

void ReadEpromIntoBlock(HWND hWnd) {
  rawbytecount = TransferBytes(EpromSizeK());
  CreateProgressBar(hWnd, rawbytecount);
  SetStatus(0, "Reading EPROM");
  if (!SysexReadEPROM(BlockOfSelectedEprom())) return AbandonReception(hWnd);
  PauseThen(hWnd, 2000, RequestEpromBlock);
}

void SetTypeForRead(HWND hWnd) {
  SetStatus(0, "Setting EPROM type");
  if (!SysexSetEPROMType(EPROM_type)) return AbandonReception(hWnd);
  PauseThen(hWnd, 500, ReadEpromIntoBlock);
}

void SizeBlockForRead(HWND hWnd) {
  ClearStatus(1);
  SetStatus(0, "Setting Kilnbox block size");
  if (!SysexSetBlockSize(BlockOfSelectedEprom(), static_cast<BYTE>(EpromSizeK()))) return AbandonReception(hWnd);
  PauseThen(hWnd, 500, SetTypeForRead);
}

void ReadSelected(HWND hWnd) {
  if (!Detected(hWnd, IDM_READ_SELECTED)) return;
  SizeBlockForRead(hWnd);
}

void VerifySelected(HWND hWnd) {
  EpromFlags[WhichEPROM % MAX_EPROMS] &= ~(efVerified | efVerifyFailed);
  LastVerify = VerifyTally{};
  if (!Detected(hWnd, IDM_VERIFY_SELECTED)) return;
  SizeBlockForRead(hWnd);
}

// --- Program EPROM ---------------------------------------------------------------
void StartProgramming(HWND hWnd) {
  const UINT eprom = WhichEPROM % MAX_EPROMS;
  SetStatus(0, "Programming EPROM");
  // Unsent, nothing was programmed: there is nothing to ask about.
  if (!SysexStartProgramming(BlockOfSelectedEprom())) return Refuse();
  const int answer = Ask(DeviceQuestion::ProgrammedOk, hWnd,
                         "Watch Kilnbox display for progress...\nWas the EPROM programmed OK?", "Programming...",
                         MB_YESNO);
  EpromFlags[eprom] |= efProgrammed;
  EpromFlags[eprom] &= ~efProgramFailed;
  Redraw(hWnd);
  if (answer == IDNO) {
    EpromFlags[eprom] |= efProgramFailed;
    Redraw(hWnd);
  }
  End(answer == IDNO ? OutcomeKind::Failed : OutcomeKind::Succeeded);
}

void SendEpromSection(HWND hWnd) {
  const long sizeK = EpromSizeK();
  SetStatus(0, "Transferring data to Kilnbox...");
  rawbytecount = TransferBytes(sizeK);
  // Nothing sent, nothing to program: the Kilnbox would burn stale memory.
  if (!SendBlockAndCredit(BlockOfSelectedEprom(), sizeK, SelectedEpromOffset())) return Refuse();
  if (rawbytecount > 0) {
    CreateProgressBar(hWnd, rawbytecount);
    PendingProgressCommand = IDM_START_PROGRAMMING;
    return;
  }
  ShowTransferred(sizeK);
  Redraw(hWnd);
  StartProgramming(hWnd);
}

void SetTypeForProgram(HWND hWnd) {
  SetStatus(0, "Setting EPROM type");
  if (!SysexSetEPROMType(EPROM_type)) return Refuse();
  PauseThen(hWnd, 500, SendEpromSection);
}

void ProgramSelected(HWND hWnd) {
  EpromFlags[WhichEPROM % MAX_EPROMS] = 0;
  if (!Detected(hWnd, IDM_PROGRAM_SELECTED)) return;
  ClearStatus(1);
  rawbytecount = 0;
  SetStatus(0, "Setting Kilnbox block size");
  if (!SysexSetBlockSize(BlockOfSelectedEprom(), static_cast<BYTE>(EpromSizeK()))) return Refuse();
  PauseThen(hWnd, 500, SetTypeForProgram);
}

// --- Blank check ---------------------------------------------------------------
void StartBlankCheck(HWND hWnd) {
  SetStatus(0, "Blank Checking EPROM");
  if (!SysexBlankCheck(BlockOfSelectedEprom())) return Refuse();
  Ask(DeviceQuestion::BlankCheckNotice, hWnd, "See Kilnbox display for result", "Blank Checking...",
      MB_ICONINFORMATION | MB_OK);
  ClearStatus(0);
  End(OutcomeKind::Succeeded);
}

void BlankCheck(HWND hWnd) {
  ClearStatus(1);
  SetStatus(0, "Setting EPROM type");
  if (!SysexSetEPROMType(EPROM_type)) return Refuse();
  PauseThen(hWnd, 500, StartBlankCheck);
}

// --- Cancel --------------------------------------------------------------------
void Cancel(HWND hWnd) {
  // An operation waiting for the Kilnbox's presence or its data ends here;
  // a transfer's estimate and a programming step waiting for it run on.
  const DeviceOperation waiting = g_session.operation;
  if (PendingMsg != 0 || waiting == DeviceOperation::GetData || waiting == DeviceOperation::ReadEprom ||
      waiting == DeviceOperation::VerifyEprom)
    End(OutcomeKind::Cancelled);
  PendingMsg = 0;
  response_timeout = 0;
  MidiRecord(hWnd, &MidiInInfo, 0);
  ReleaseInput(hWnd);
  ClearStatus(0);
  ClearStatus(1);
}

// Commands 106, 111 and 112 first ask which EPROM when there are several.
bool ChooseEprom(HWND hWnd) {
  if (EPROM_Arrangement != eaTwoEpromsOneSound && EPROM_Arrangement != eaFourEpromsOneSound) {
    WhichEPROM = 0;
    return true;
  }
  const INT_PTR choice = plat::DialogBoxParam(hWnd, IDD_WHICH_EPROM, WhichEPROMDialog, WhichEPROM);
  if (choice < 0) {
    End(OutcomeKind::Cancelled);
    return false;
  }
  WhichEPROM = static_cast<BYTE>(choice);
  return true;
}

// The operation a command belongs to; None for Cancel and unknown ids.
DeviceOperation OperationOf(int id) {
  switch (id) {
    case IDM_GET_DATA: return DeviceOperation::GetData;
    case IDM_SEND_DATA: return DeviceOperation::SendData;
    case IDM_READ_EPROM:
    case IDM_READ_SELECTED: return DeviceOperation::ReadEprom;
    case IDM_VERIFY_EPROM:
    case IDM_VERIFY_SELECTED: return DeviceOperation::VerifyEprom;
    case IDM_PROGRAM_EPROM:
    case IDM_PROGRAM_SELECTED:
    case IDM_START_PROGRAMMING: return DeviceOperation::ProgramEprom;
    case IDM_BLANK_CHECK: return DeviceOperation::BlankCheck;
    default:
      if (id >= IDB_PROGRAM_FIRST && id < IDB_PROGRAM_FIRST + 4) return DeviceOperation::ProgramEprom;
      if (id >= IDB_VERIFY_FIRST && id < IDB_VERIFY_FIRST + 4) return DeviceOperation::VerifyEprom;
      return DeviceOperation::None;
  }
}

// ---------------------------------------------------------------------------
// The reply
// ---------------------------------------------------------------------------
// The data of a packet can be stored or compared only when its pairs are
// whole and well formed and the bytes lie within the image.
bool PacketIsUsable(const KilnboxReply& reply, DWORD destination) {
  return reply.pairsWellFormed && destination <= IMAGE_SIZE && reply.announced <= IMAGE_SIZE - destination;
}

// Every byte of a verify reply against the image, for a caller that wants
// more than the first difference the box reports.
void TallyDifferences(const KilnboxReply& reply, DWORD destination) {
  LastVerify = VerifyTally{};
  LastVerify.compared = reply.announced;
  for (DWORD i = 0; i < reply.announced; ++i) {
    if (reply.DataByte(i) == imgMemory[destination + i]) continue;
    if (LastVerify.differing++ == 0) LastVerify.first = i;
    LastVerify.last = i;
  }
}

// Steps through the data of a usable packet; false when a verify difference
// stopped it early, with the difference in `result`.
bool ProcessData(const KilnboxReply& reply, DWORD destination, char (&result)[sizeof szString]) {
  if (ReadMode == ermRead) {
    for (DWORD i = 0; i < reply.announced; ++i) imgMemory[destination + i] = reply.DataByte(i);
    return true;
  }
  if (ReadMode != ermVerify) return true;
  TallyDifferences(reply, destination);
  for (DWORD i = 0; i < reply.announced; ++i) {
    const BYTE v = reply.DataByte(i);
    const BYTE expected = imgMemory[destination + i];
    if (v == expected) continue;
    std::snprintf(result, sizeof result, "Verify error at address 0x%04X (0x%02X vs 0x%02X)", i, v, expected);
    std::snprintf(szString, sizeof szString, "%s", result);
    // The difference is the answer: no time-out may cancel while the user reads it.
    response_timeout = 0;
    Ask(DeviceQuestion::VerifyDifference, nullptr, result, nullptr, MB_OK);
    EpromFlags[WhichEPROM % MAX_EPROMS] |= efVerified | efVerifyFailed;
    Redraw(MyWindow);
    return false;
  }
  return true;
}

void FinishCompleteReply(HWND hWnd, char (&result)[sizeof szString]) {
  switch (ReadMode) {
    case ermRead:
      AppendTo(result, " - Read OK.");
      ComputeWAVfromBuffer();
      Redraw(hWnd);
      break;
    case ermVerify:
      AppendTo(result, " - Verify OK.");
      EpromFlags[WhichEPROM % MAX_EPROMS] |= efVerified;
      EpromFlags[WhichEPROM % MAX_EPROMS] &= ~efVerifyFailed;
      Redraw(hWnd);
      break;
    case ermNothing:
      if (response_timeout != 0) {
        kilnbox_detected = 1;
        SetStatus(2, "Kilnbox detected");
        if (PendingMsg != 0) plat::PostMessage(hWnd, WM_COMMAND, PendingMsg, 0);
      }
      break;
    default:
      break;
  }
}

// The result is built apart from `szString`: a box opened on the way runs a
// nested loop whose paints format their own texts into `szString`.
void HandleDataBlock(HWND hWnd, const KilnboxReply& reply) {
  char result[sizeof szString];
  std::snprintf(result, sizeof result, "Received Block %u:  %u bytes", reply.blockNumber, reply.receivedLength);
  std::snprintf(szString, sizeof szString, "%s", result);
  SetStatus(1, result);
  ClearStatus(0);
  bool complete = true;
  // Whatever a presence reply carries, it shows that the Kilnbox answers;
  // only the bytes that are stored or compared must be whole.
  if (ReadMode == ermRead || ReadMode == ermVerify) {
    const DWORD destination = SelectedEpromOffset();
    complete = PacketIsUsable(reply, destination) && ProcessData(reply, destination, result);
  }
  if (complete) {
    FinishCompleteReply(hWnd, result);
  } else {
    AppendTo(result, " - Error!");
  }
  response_timeout = 0;
  std::snprintf(szString, sizeof szString, "%s", result);
  SetStatus(1, szString);
  if (ReadMode == ermRead || ReadMode == ermVerify)
    End(complete ? OutcomeKind::Succeeded : OutcomeKind::Failed, result);
}

}  // namespace

// ---------------------------------------------------------------------------
BYTE KilnboxDetect(HWND hWnd) {
  if (kilnbox_detected) return 1;
  response_timeout = PRESENCE_TIMEOUT_TICKS;
  SysexSetBlockSize(16, 1);
  PauseThen(hWnd, 250, RequestPresenceReply);
  return 0;
}

void CreateProgressBar(HWND hwndParent, long nBytes) {
  // Only one bar at a time: a newer estimate replaces the older bar, and a
  // start-programming step that waited for the old one goes with it, or it
  // would fire at the end of this unrelated transfer.
  if (hwndPB) {
    plat::DestroyWindow(hwndPB);
    PendingProgressCommand = 0;
  }
  g_session.barOwner = DeviceOperation::None;
  const RECT client = plat::GetClientRect(hwndParent);
  hwndPB = plat::CreateProgressBar(hwndParent, client.left, client.bottom - 44, client.right, 24);
  const unsigned long steps = static_cast<unsigned long>(nBytes > 0 ? nBytes : 0) / 1000 + 1;
  plat::ProgressSetRange(hwndPB, 0, static_cast<int>(steps & 0xFFFF));
  plat::ProgressSetStep(hwndPB, 1);
}

bool DeviceCommand(HWND hWnd, int id) {
  const DeviceOperation operation = OperationOf(id);
  if (operation == DeviceOperation::None && id != IDM_CANCEL) return false;
  const bool isButton = (id >= IDB_PROGRAM_FIRST && id < IDB_PROGRAM_FIRST + 4) ||
                        (id >= IDB_VERIFY_FIRST && id < IDB_VERIFY_FIRST + 4);
  if (operation != DeviceOperation::None) Begin(operation);
  if (id != IDM_CANCEL && !isButton && !BuffersReady(hWnd)) {
    End(OutcomeKind::Refused, "Unable to allocate image memory");
    return true;
  }
  switch (id) {
    case IDM_GET_DATA: GetData(hWnd); break;
    case IDM_SEND_DATA: SendData(hWnd); break;
    case IDM_READ_EPROM:
      if (ChooseEprom(hWnd)) ReadSelected(hWnd);
      break;
    case IDM_READ_SELECTED: ReadSelected(hWnd); break;
    case IDM_PROGRAM_EPROM:
      if (ChooseEprom(hWnd)) ProgramSelected(hWnd);
      break;
    case IDM_PROGRAM_SELECTED: ProgramSelected(hWnd); break;
    case IDM_START_PROGRAMMING: StartProgramming(hWnd); break;
    case IDM_VERIFY_EPROM:
      if (ChooseEprom(hWnd)) VerifySelected(hWnd);
      break;
    case IDM_VERIFY_SELECTED: VerifySelected(hWnd); break;
    case IDM_BLANK_CHECK: BlankCheck(hWnd); break;
    case IDM_CANCEL: Cancel(hWnd); break;
    default:
      if (id < IDB_VERIFY_FIRST) {
        WhichEPROM = static_cast<BYTE>(id - IDB_PROGRAM_FIRST);
        plat::PostMessage(hWnd, WM_COMMAND, IDM_PROGRAM_SELECTED, 0);
      } else {
        WhichEPROM = static_cast<BYTE>(id - IDB_VERIFY_FIRST);
        plat::PostMessage(hWnd, WM_COMMAND, IDM_VERIFY_SELECTED, 0);
      }
      break;
  }
  return true;
}

void DeviceTimer(HWND hWnd) {
  if (response_timeout != 0 && --response_timeout == 0) {
    SetStatus(2, "Kilnbox not responding!");
    kilnbox_detected = 0;
    End(OutcomeKind::TimedOut, "Kilnbox not responding!");
    plat::PostMessage(hWnd, WM_COMMAND, IDM_CANCEL, 0);
  }
  rawbytecount -= BYTES_PER_TICK;
  if (hwndPB) {
    plat::ProgressStepIt(hwndPB);
    if (rawbytecount < 0) {
      plat::DestroyWindow(hwndPB);
      hwndPB = nullptr;
      ClearStatus(0);
      if (PendingProgressCommand != 0) plat::PostMessage(hWnd, WM_COMMAND, PendingProgressCommand, 0);
      PendingProgressCommand = 0;
      // A block sent to the Kilnbox's memory is there once its estimate runs out.
      if (g_session.barOwner == DeviceOperation::SendData && g_session.operation == DeviceOperation::SendData)
        End(OutcomeKind::Succeeded);
      g_session.barOwner = DeviceOperation::None;
    }
  }
  if (MidiInInfo.uDeviceStatus == MIDI_BUSY) {
    if (rawbytecount < 0) rawbytecount = 0;
    std::snprintf(SzTimerInfo, sizeof SzTimerInfo, "Receiving: %ld bytes remaining", rawbytecount);
    g_session.showingCountdown = true;
    SetStatus(1, SzTimerInfo);
    g_session.showingCountdown = false;
  }
}

void DeviceStepAfterPause(HWND hWnd) {
  plat::KillTimer(hWnd, ID_PAUSE_TIMER);
  const DeviceStep step = g_session.afterPause;
  g_session.afterPause = nullptr;
  if (step != nullptr) step(hWnd);
}

bool DeviceSequencePaused() { return g_session.afterPause != nullptr; }

void DeviceReply(HWND hWnd, UINT message, LPARAM lParam) {
  // A reply arriving in the nested loop of the verify-difference box must
  // not release the buffer a second time.
  if (g_session.inReply) return;
  MIDIHDR& header = MidiInInfo.MidiHdr;
  // Only a long message delivered into the armed buffer is a reply. A short
  // message ends the reception as well, but must not make the handler
  // re-read an older packet still standing in the buffer.
  if (message == MM_MIM_LONGDATA) {
    const bool ours = reinterpret_cast<MIDIHDR*>(lParam) == &header &&
                      header.lpData == reinterpret_cast<char*>(MIDIinBuffer) && (header.dwFlags & MHDR_DONE);
    // A stale message of an earlier reception: the buffer now belongs to a
    // later one, which it must not end.
    if (!ours) return;
  }
  g_session.inReply = true;
  if (message == MM_MIM_LONGDATA && MIDIinBuffer) {
    const DWORD n = header.dwBytesRecorded < BUFFER_SIZE ? header.dwBytesRecorded : BUFFER_SIZE;
    const KilnboxReply reply = DecodeReply(MIDIinBuffer, n);
    if (reply.isDataBlock) HandleDataBlock(hWnd, reply);
  }
  ReleaseInput(hWnd);
  g_session.inReply = false;
}

void DeviceInputError(HWND) { SetStatus(1, "MIDI In Error"); }
