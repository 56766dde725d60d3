// The MIDI port operations of the platform, over a list of port devices.
//
// A back end (Qt, headless) owns one MidiPortSet, registers the devices it
// finds (system ports, raw byte-stream devices, the simulated Kilnbox,
// in-memory test ports) and forwards its midi* operations here. Devices may
// hand over received bytes from any thread; they are framed and turned into
// MM_MIM_* messages only by Deliver(), which the back end calls on the GUI
// thread, so that the core's buffers are touched there alone.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/platform.h"

// Receives raw bytes from an input device; may be called from any thread.
using MidiByteSink = std::function<void(const BYTE* data, size_t size)>;

class MidiInputDevice {
 public:
  virtual ~MidiInputDevice() = default;
  virtual std::string Name() const = 0;
  // Starts handing received bytes to `sink`; MMSYSERR_* result.
  virtual UINT Open(MidiByteSink sink) = 0;
  // Stops calling the sink; no call may be under way when it returns.
  virtual void Close() = 0;
  // Text for an error this device reported, or "" for the generic text.
  virtual std::string ErrorText(UINT /*error*/) const { return ""; }
};

class MidiOutputDevice {
 public:
  virtual ~MidiOutputDevice() = default;
  virtual std::string Name() const = 0;
  virtual UINT Open() = 0;
  virtual void Close() = 0;
  // Takes a whole message (System Exclusive or short); returns once it has
  // been handed over. A message handed over is never cut by a later Reset;
  // later messages go out after it.
  virtual UINT Send(const BYTE* data, size_t size) = 0;
  // From now on, every message Send took is reported, in order, once its
  // last byte has left the device (MMSYSERR_NOERROR) or once it could not
  // go out (the error, with the device's own words or ""). The report may
  // come from any thread, and also for a message taken before a Close.
  using SentReport = std::function<void(UINT error, const std::string& text)>;
  virtual void ReportSent(SentReport report) = 0;
  // Text for an error this device reported, or "" for the generic text.
  virtual std::string ErrorText(UINT /*error*/) const { return ""; }
};

// Where a device's two ports stand in the port lists.
struct MidiPortPair {
  UINT input = 0;
  UINT output = 0;
};

// A device's name as a port name: itself, or "..." and its end when it is
// longer than a port name may be (31 characters).
std::string ShortPortName(const std::string& device);

class MidiPortSet {
 public:
  // `post` puts a message in the GUI thread's queue for `target`.
  using PostFunction = std::function<void(HWND target, UINT msg, WPARAM wParam, LPARAM lParam)>;
  explicit MidiPortSet(PostFunction post);
  ~MidiPortSet();
  MidiPortSet(const MidiPortSet&) = delete;
  MidiPortSet& operator=(const MidiPortSet&) = delete;

  // Adds a device at the end of its direction's list; returns its index.
  UINT AddInput(std::unique_ptr<MidiInputDevice> device);
  UINT AddOutput(std::unique_ptr<MidiOutputDevice> device);

  // Frames the bytes received since the last call and posts MM_MIM_DATA,
  // MM_MIM_LONGDATA and MM_MIM_LONGERROR to each open input's target, and
  // MM_MOM_DONE (lParam: MMSYSERR_NOERROR, or the error it failed with) to
  // an output's target for each message that has left its device.
  // Call on the GUI thread only.
  void Deliver();
  // True when bytes or sent reports wait for Deliver(); safe from any thread.
  bool HasPendingInput() const;
  // Called (from any thread) whenever bytes arrive, so that a back end can
  // wake its GUI thread; may be empty.
  void SetWakeup(std::function<void()> wakeup);

  // Called on the GUI thread for every message handed to an output device
  // and every complete message received on an open input (whether or not
  // a buffer took it); may be empty.
  using Monitor = std::function<void(bool outgoing, const BYTE* data, size_t size)>;
  void SetMonitor(Monitor monitor);

  // The longest System Exclusive message an input frames; a longer one is
  // reported as an error and its bytes dropped.
  static constexpr size_t kMaxSysexBytes = 1 << 20;
  // Bytes an input keeps for Deliver(); beyond that, arriving bytes are
  // dropped and the message they belong to is reported as an error.
  static constexpr size_t kMaxPendingBytes = 4 << 20;

  // The platform's MIDI operations, with their contracts.
  UINT midiInGetNumDevs();
  UINT midiOutGetNumDevs();
  UINT midiInGetDevCaps(UINT id, MIDICAPS* caps);
  UINT midiOutGetDevCaps(UINT id, MIDICAPS* caps);
  UINT midiInOpen(HMIDIIN* handle, UINT id, HWND target);
  UINT midiOutOpen(HMIDIOUT* handle, UINT id, HWND target);
  UINT midiInClose(HMIDIIN h);
  UINT midiOutClose(HMIDIOUT h);
  UINT midiInReset(HMIDIIN h);
  UINT midiOutReset(HMIDIOUT h);
  UINT midiInPrepareHeader(HMIDIIN h, MIDIHDR* hdr);
  UINT midiOutPrepareHeader(HMIDIOUT h, MIDIHDR* hdr);
  UINT midiInUnprepareHeader(HMIDIIN h, MIDIHDR* hdr);
  UINT midiOutUnprepareHeader(HMIDIOUT h, MIDIHDR* hdr);
  UINT midiInAddBuffer(HMIDIIN h, MIDIHDR* hdr);
  UINT midiOutLongMsg(HMIDIOUT h, MIDIHDR* hdr);
  UINT midiOutShortMsg(HMIDIOUT h, DWORD packed);
  UINT midiInStart(HMIDIIN h);
  UINT midiInStop(HMIDIIN h);
  UINT midiInGetErrorText(UINT error, char* text, UINT size);
  UINT midiOutGetErrorText(UINT error, char* text, UINT size);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
