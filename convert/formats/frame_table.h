#pragma once

#include "display_formats.h"

#include <QVector>

// The frames of an animation in one header, each encoded by the format's own encoder with the
// same options, under the array name NAME_frameN (N from 0):
// - every array of a frame keeps its suffix (NAME_frame0, NAME_frame0_mask, NAME_frame0_black...);
//   index4 and index8 share one palette, NAME_palette, chosen from all the frames together
//   unless --palette gives it, so that a firmware swaps only the indices;
// - a table of pointers for each kind of array, NAME_frames (NAME_mask_frames,
//   NAME_black_frames...), NAME_delays_ms (uint16_t, each frame's delay, at most 65 535) and the
//   macro NAME_frame_count; NAME_width, NAME_height and the other macros are the frames' own;
//   coded by run length, each frame's NAME_frameN_rle, in the same tables, read from their pointers
//   with quillon_rle_init_near();
// - for LVGL, one descriptor a frame and NAME_frames, the descriptors' addresses as
//   lv_animimg_set_src() takes them (`(const void **)NAME_frames`).
// The tables go where the arrays go: in AVR program memory with them, read there with
// pgm_read_ptr() and pgm_read_word(). `shown` is the first frame's.
EncodedPicture encodeFrames(const DisplayFormat &format, const QVector<PreparedPicture> &frames,
                            const QVector<int> &delaysMs, const EncodingOptions &options);

// The same in steps, for frames prepared and encoded apart, on other threads:
// whether the frames share a palette chosen from all of them, which must then be chosen first;
bool framesShareAChosenPalette(const DisplayFormat &format, const EncodingOptions &options);
// the options every frame is encoded with: that palette, when they share one;
EncodingOptions frameOptions(const DisplayFormat &format, const QVector<PreparedPicture> &frames,
                             const EncodingOptions &options);
// frame `index` encoded alone with them, what it shows kept for every frame when `eachShown`
// (one preview a frame), else for the first only;
EncodedPicture encodeFrame(const DisplayFormat &format, PreparedPicture frame, const EncodingOptions &common,
                           int index, bool eachShown = false);
// then the header of them all, in order.
EncodedPicture assembleFrames(const DisplayFormat &format, QVector<EncodedPicture> frames,
                              const QVector<int> &delaysMs, const EncodingOptions &options);
