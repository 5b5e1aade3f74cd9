// The libjpeg decompressor as the JPEG reader drives it: its data source over CPXIO,
// its error routines and the guarded calls into libjpeg.
#ifndef PIXOLITH_READERS_JPEG_DECODER_H
#define PIXOLITH_READERS_JPEG_DECODER_H

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include "core/io.h"
#include "core/operation.h"

// libjpeg reports a fatal error by calling the error manager's error_exit, which must not
// return. Ours longjmps back to the setjmp in JPEGGuarded(), the only place that calls
// into libjpeg. A longjmp skips destructors, so nothing between that setjmp and the
// jump may own anything: JPEGGuarded, the step it runs, libjpeg itself and our source
// callbacks use only plain data (this struct lives in a global block, the source reads
// through a heap CPXIO). Everything with a destructor is owned by JPEGDecoderOwner in
// the entry function, above the setjmp. After a jump libjpeg's object is only destroyed.
// JPEGGuarded returns false and the reader turns the kept message into a PXException,
// which its entry point catches: neither a jump nor an exception crosses a public
// function.
struct JPEGDecoder {
  jpeg_decompress_struct cinfo;
  struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
  } error;
  struct Source {
    jpeg_source_mgr pub;
    CPXIO* io;
    bool startOfFile;
    bool fakeEnd;  // the buffer holds the inserted end-of-image marker, not file bytes
    bool rewindUnused;
    JOCTET buffer[4096];
  } source;
  jpeg_progress_mgr progress;
  JDIMENSION linesRead;  // result of the last scanline step
};

// Owns the decoder state, the CPXIO copy its source reads through and the row buffer.
class JPEGDecoderOwner {
 public:
  JPEGDecoderOwner() = default;
  ~JPEGDecoderOwner();
  JPEGDecoderOwner(const JPEGDecoderOwner&) = delete;
  JPEGDecoderOwner& operator=(const JPEGDecoderOwner&) = delete;

  // Allocates the state, creates the decompressor on a copy of `io` and asks it to save
  // COM and APP1..APP14. Throws PXException: PX_ERR_NO_MEMORY, `codecError` when
  // libjpeg refuses.
  JPEGDecoder* Create(const CPXIO& io, bool rewindUnused, int codecError);
  JPEGDecoder* get() const { return decoder_; }

  // Allocates the row buffer (output width x components x 2 bytes); false without memory.
  bool AllocRowBuffer();
  uint8_t* rowBuffer() const { return row_; }

 private:
  JPEGDecoder* decoder_ = nullptr;
  CPXIO* io_ = nullptr;
  uint8_t* row_ = nullptr;
};

// Runs one step that calls into libjpeg. False when libjpeg reported a fatal error; its
// message is in decoder->error.message.
using JPEGStep = void (*)(JPEGDecoder* decoder, void* arg);
bool JPEGGuarded(JPEGDecoder* decoder, JPEGStep step, void* arg = nullptr);

// Runs a step and throws PXException(code, libjpeg's message) when it fails.
void JPEGRun(JPEGDecoder* decoder, int code, JPEGStep step, void* arg = nullptr);

// Copies the saved COM and APPn segments into this thread's comment and marker lists.
void JPEGCopyMarkers(JPEGDecoder* decoder, PXThreadState& state);

#endif  // PIXOLITH_READERS_JPEG_DECODER_H
