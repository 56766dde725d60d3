// The in-memory WAV images that a click on a sound panel plays.
#pragma once

// Rebuilds the playback images of the sounds from the image.
void ComputeWAVfromBuffer();
