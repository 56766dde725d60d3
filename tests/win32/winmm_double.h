// A test double of the WinMM MIDI functions, keeping their documented
// contracts: headers must be prepared before they are added or sent; an
// input buffer comes back marked MHDR_DONE with MIM_LONGDATA and
// dwBytesRecorded, a System Exclusive message longer than one buffer going
// on in the next; midiInReset hands every queued buffer back, done, with
// whatever it had recorded; a port with queued buffers can't be closed; a
// long output message is done (MHDR_DONE, MOM_DONE) some time after
// midiOutLongMsg returns, on the driver's own thread. It records what was
// sent and when, and can fail a message or refuse to give a header back.
// Neutral header.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace w32 {
struct WinMmCalls;
}

namespace winmmdouble {

// A fresh driver with these ports.
void Reset(std::vector<std::string> inputNames, std::vector<std::string> outputNames);
const w32::WinMmCalls& Calls();

// Every call made, in order: "inOpen", "inPrepare", "inAdd", "inStart",
// "inReset", "inUnprepare", "inClose", "outOpen", "outPrepare",
// "outLongMsg", "outShortMsg", "outUnprepare", "outReset", "outClose".
std::vector<std::string> Log();

// The driver receives bytes from the cable (on its own thread, as a
// driver does); true once they are handed to the program.
void Receive(const std::vector<uint8_t>& bytes);
size_t QueuedInputBuffers();
size_t PreparedHeaders();  // input and output, not yet unprepared

// What was sent: each long message whole, and the short ones packed.
std::vector<std::vector<uint8_t>> LongMessages();
std::vector<uint32_t> ShortMessages();
// When false, a long message is never done until a reset.
void SetOutputFinishes(bool finishes);
// The next open fails with this error (0: it succeeds).
void FailNextOpen(unsigned error);

// The times outLongMsg and outShortMsg were called, read from `clock`.
void SetClock(std::function<std::chrono::microseconds()> clock);
std::vector<std::chrono::microseconds> SendTimes();
// The `nth` long message from now on (1: the next) fails with `error`.
void FailLongMessage(size_t nth, unsigned error);
// While true, every unprepare fails as if the driver still held the header.
void SetUnprepareRefused(bool refused);
// True when every header still prepared keeps the buffer it was prepared
// with, and an output header the bytes it had then: nothing freed it.
bool PreparedHeadersIntact();

}  // namespace winmmdouble
