// The in-memory WAV images that a click on a sound panel plays.
#pragma once

class CoreSession;

// Rebuilds the playback images of the image's sounds at the playback rate.
void ComputeWAVfromBuffer(CoreSession& session);
