#pragma once

#include "history/ProcState.h"

namespace quarvel {

/// Transforms the spectra of state back at the size of its workImage and writes them into it,
/// each value rounded into a byte by RoundToByte: bytes 2, 1 and 0 of each 32-bit pixel for
/// red, green and blue (the fourth byte is left as it is), the pixel byte itself for grey. A
/// work image of 16-bit or floating-point samples gets them at its own depth (RoundToWord, or the
/// floats as they are; see DeepImage.h).
///
/// Without consumeSpectra the spectra are only read, and workImage is not touched unless every
/// channel could be transformed. With consumeSpectra each channel is transformed in its own
/// planes, which are released after it, so that no transform needs planes of its own: for a
/// state whose spectra are not wanted afterwards. False when a spectrum is missing or memory
/// runs out. A state processed one channel at a time (ProcState::soleChannel) gets that channel
/// alone written; the other channels of workImage stay as they are.
bool SynthesiseWorkImage(ProcState& state, bool consumeSpectra);

}  // namespace quarvel
