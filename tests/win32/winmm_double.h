// A test double of the WinMM MIDI functions, keeping their documented
// contracts: headers must be prepared before they are added or sent; an
// input buffer comes back marked MHDR_DONE with MIM_LONGDATA and
// dwBytesRecorded, a System Exclusive message longer than one buffer going
// on in the next; midiInReset hands every queued buffer back, done, with
// whatever it had recorded; a port with queued buffers can't be closed; a
// long output message is done (MHDR_DONE, MOM_DONE) some time after
// midiOutLongMsg returns, on the driver's own thread. Neutral header.
#pragma once

#include <cstdint>
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

}  // namespace winmmdouble
