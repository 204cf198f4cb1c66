#pragma once

#include "model/ListInfo.h"
#include "model/MediaInfo.h"
#include "platform/ResultCodes.h"

namespace kolvane {

class CDirectSound;

// Opens the clip of a sound item's record and measures it in scene frames at
// `frameRate`: samples per scene frame s = rate / f, length in frames =
// length / s, values per frame = s × channels, and a read buffer of ceil(s)
// whole sample frames. Nothing happens for a clip already open. 60126 ("Can't
// read the sound") when the file cannot be read.
Result OpenSoundClip(CSoundInfo& clip, int frameRate);

// Closes the decoder and frees the read buffer and the waveform.
void CloseSoundClip(CSoundInfo& clip);

// Writes one scene frame of the track's current sound cell into its ring at
// the write cursor, resampled to the output format (reversed when
// `backwards`). A track whose current cell is not a numbered sound cell, or
// whose cell lies past the clip's end, gets silence. kFail, writing nothing,
// when the cell's clip is not open; 60126 when the decoder reported a read
// error (that frame is silent); else 0.
Result WriteSoundFrame(CListInfo& track, bool backwards, CDirectSound& output);

// Fills the clip's waveform with one (minimum, maximum) pair per display row,
// for rows `rowHeight` pixels per scene frame, streaming through the clip.
// kFail when the clip is not open or cannot be read.
Result BuildWaveform(CSoundInfo& clip, int rowHeight);

}  // namespace kolvane
