// The first texture's figures on the current GL context, shared by the Windows benchmark and
// the native one: our mipmap chain of a picture in memory, a bare upload of the same levels
// from ready buffers in the same formats, and gluBuild2DMipmaps of the same pixels, one of
// each in every round so that a busy machine slows all three alike.
#pragma once

#include <vector>

namespace bench {

// A w x h picture with some structure (gradients and blocks) as the snapshot's pixel data:
// blue-green-red rows padded to 4 bytes.
std::vector<unsigned char> pictureRows(int width, int height);

struct FirstTexture {
  double ours = 0, upload = 0, glu = 0;  // medians, milliseconds
};

// `rounds` rounds after one to warm up; `now` is the platform's clock in seconds.
FirstTexture firstTexture(int width, int height, int rounds, double (*now)());

// "first texture WxH: ours O ms, upload U ms, GLU G ms (ours/upload R, GLU/ours S)"; with a
// `chain` named, "first texture WxH, CHAIN: ...". The chain is the one defaultOptions() picks:
// the native program's keeps the picture's own size (mipmap::keepOwnSize).
void printFirstTexture(int width, int height, const FirstTexture& t, const char* chain = nullptr);

// The levers of the first texture, each alone, in the same rounds (medians): our chain blue first
// and red first on one thread, on two and on all cores (up to 4); the bare upload of its levels
// as 24-bit GL_BGR_EXT, GL_BGRA, GL_BGRA with GL_UNSIGNED_INT_8_8_8_8_REV and GL_RGBA; the halving
// of level 0 alone. One "levers WxH: ..." line each (levers.cpp).
void levers(int width, int height, int rounds, double (*now)());

}  // namespace bench
