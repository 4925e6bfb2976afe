#pragma once

#include "animation_decoding.h"
#include "picture_decoding.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <atomic>

// Pictures whose reader is another package's code (TIFF, WebP, HDR, PSD, XCF, HEIF, JXL, EXR,
// EPS...) are decoded in a child process: a reader that crashes, runs away with memory or time, or
// starts programs of its own (ghostscript) hurts only the child and its picture.
//
// The children come from a decoding server, which forks them (a fraction of a millisecond, where
// starting a program costs ten) and ends with its parent. A child decodes pictures one at a time:
// once it has handed one back, it waits for the next one of any thread, while a child forked anew
// would decode that picture the same (see mayServeAgain()); any failure ends it. The server is a
// copy of the program forked at its start, when its main() calls forkDecoderServer(), or else this
// program again, started with a hidden argument the first time a picture needs it. The children's
// temporary files go to one folder, removed with the parent. A child runs under limits the kernel
// enforces: 768 MiB of address space, 10 s of processor time a picture, no core file, 30 s a
// picture in all; in a process group of its own, which is killed whole when the run is interrupted,
// the time is up, or the parent dies. Its fresh memory is filled with a fixed byte, so a reader
// that leaves pixels unset gives the same picture on every run. It hands back the decoded picture's
// description (its size, format and colour table) on a socket; the parent copies its bytes straight
// from the child's memory, or where the system does not allow that, maps the memory file the child
// writes them to, once sealed against any change of its size or bytes. The child's process group is
// killed only when the number the child answers is the server's child that leads its own group; a
// program that leaves the group (setsid()) escapes it. A crash, a limit or a time-out gives
// DecodedPicture::Hostile; a reader that fails once its child ran out of memory gives
// DecodedPicture::NotAPicture with the system error ENOMEM.

// The address space a child may take, in MiB.
constexpr int readerMemoryMiB = 768;

// Decodes the picture in `filePath`, which the parent has already checked to be a regular file,
// in a child process. `format` names the reader. With `rows` allowed, a picture too large to be
// decoded whole, of a reader that reads by rows (TIFF's), is decoded by rows and fitted as
// `display` says in the child, which hands back the fitted picture only (see row_decoding.h).
DecodedPicture decodeInChild(const QString &filePath, const QByteArray &format,
                             const std::atomic<int> *interrupted = nullptr,
                             const DisplayOptions &display = DisplayOptions(), const RowFitting &rows = {});

// The frames asked for of the animation in `filePath`, decoded in a child process as
// decodeAnimation() decodes a GIF's (see animation_decoding.h) and handed back together: their
// bytes one after another in the memory file, their sizes, formats and delays on the socket. A
// reader that reads no animation gives its one picture. `problem` is left unworded.
DecodedAnimation decodeFramesInChild(const QString &filePath, const QByteArray &format,
                                     const FrameRange &range, const std::atomic<int> *interrupted = nullptr,
                                     const std::function<void(QImage &&, QSize, int)> &takeFrame = {});

// The program started as the decoding server: by default the running program itself
// (/proc/self/exe). Programs whose main() does not hand the server's arguments to
// runDecoderChild(), such as test runners, name one that does.
void setDecoderProgram(const QString &program);

// Forks the decoding server from this process, now: called first in main(), while the process has
// one thread and nothing of Qt's made, when a picture will need it, it spares that picture a
// second start of the program (its libraries loaded and linked again, some ten milliseconds).
// The server makes its Qt application object, reads the list of readers and loads `reader`
// (readerApartOf()) at once, while this process goes on; it ends with this process.
void forkDecoderServer(const QByteArray &reader = QByteArray());

// The reader of another package that the picture in the file `filePath` (in the system's
// encoding) needs, decoded in a child process, as its first bytes tell; "?" when they tell no
// format (the readers are then asked in turn). Empty when one of Qt's readers or Quillon's
// decodes it, or when it is no regular file that can be read.
QByteArray readerApartOf(const QByteArray &filePath);

// Whether the program was started as the decoding server; its main() then returns
// runDecoderChild() before doing anything else.
bool isDecoderChild(int argc, char **argv);
int runDecoderChild(int argc, char **argv);
