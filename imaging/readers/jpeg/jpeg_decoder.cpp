#include "readers/jpeg/jpeg_decoder.h"

#include <cstring>
#include <new>

#include <jerror.h>

#include "pixolith/px_orientation.h"

namespace {

// Progressive files with more scans than this are refused: each scan revisits the whole
// coefficient buffer, so a file of many tiny scans would keep a reader busy for hours.
// Encoders write about ten.
constexpr int kMaxScans = 500;

JPEGDecoder* DecoderOf(j_common_ptr cinfo) {
  return reinterpret_cast<JPEGDecoder*>(reinterpret_cast<uint8_t*>(cinfo) -
                                        offsetof(JPEGDecoder, cinfo));
}

bool IsExif(const std::vector<uint8_t>& segment) {
  return segment.size() >= 6 && std::memcmp(segment.data(), "Exif\0\0", 6) == 0;
}

/* ---- Error routines --------------------------------------------------------------------- */

void OnFatalError(j_common_ptr cinfo) {
  JPEGDecoder* d = DecoderOf(cinfo);
  (*cinfo->err->format_message)(cinfo, d->error.message);
  px::Trace("PXLib JPG Error : %s\n", d->error.message);
  std::longjmp(d->error.jump, 1);
}

// Warnings and trace messages: to the trace hook, never to the terminal.
void OnMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  px::Trace("PXLib JPG Error : %s\n", text);
}

void OnProgress(j_common_ptr cinfo) {
  auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (dinfo->input_scan_number > kMaxScans) {
    JPEGDecoder* d = DecoderOf(cinfo);
    std::snprintf(d->error.message, sizeof d->error.message, "More than %d scans", kMaxScans);
    px::Trace("PXLib JPG Error : %s\n", d->error.message);
    std::longjmp(d->error.jump, 1);
  }
}

/* ---- Data source ------------------------------------------------------------------------ */

JPEGDecoder::Source* SourceOf(j_decompress_ptr cinfo) {
  return reinterpret_cast<JPEGDecoder::Source*>(cinfo->src);
}

void InitSource(j_decompress_ptr cinfo) {
  JPEGDecoder::Source* src = SourceOf(cinfo);
  src->startOfFile = true;
  src->fakeEnd = false;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  JPEGDecoder::Source* src = SourceOf(cinfo);
  size_t n = src->io->Read(src->buffer, sizeof src->buffer);
  src->fakeEnd = false;
  if (n == 0) {
    if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    // A truncated file: end it here, and libjpeg fills what is missing.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
    src->fakeEnd = true;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = n;
  src->startOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  JPEGDecoder::Source* src = SourceOf(cinfo);
  if (count <= 0) return;
  while (size_t(count) > src->pub.bytes_in_buffer) {
    count -= long(src->pub.bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  src->pub.next_input_byte += count;
  src->pub.bytes_in_buffer -= size_t(count);
}

// Puts back what libjpeg read ahead, so that the source stands right after the data.
void TermSource(j_decompress_ptr cinfo) {
  JPEGDecoder::Source* src = SourceOf(cinfo);
  if (src->rewindUnused && !src->fakeEnd && src->pub.bytes_in_buffer > 0)
    src->io->Seek(-int64_t(src->pub.bytes_in_buffer), PX_SEEK_CUR);
}

}  // namespace

bool JPEGGuarded(JPEGDecoder* decoder, JPEGStep step, void* arg) {
  if (setjmp(decoder->error.jump)) return false;
  step(decoder, arg);
  return true;
}

void JPEGRun(JPEGDecoder* decoder, int code, JPEGStep step, void* arg) {
  if (!JPEGGuarded(decoder, step, arg)) throw PXException(code, decoder->error.message);
}

JPEGDecoderOwner::~JPEGDecoderOwner() {
  if (decoder_) {
    jpeg_destroy_decompress(&decoder_->cinfo);  // also after a failed create
    GlobalFree(decoder_);
  }
  delete io_;
  GlobalFree(row_);
}

JPEGDecoder* JPEGDecoderOwner::Create(const CPXIO& io, bool rewindUnused, int codecError) {
  decoder_ = static_cast<JPEGDecoder*>(GlobalAlloc(GPTR, sizeof(JPEGDecoder)));
  io_ = new (std::nothrow) CPXIO(io);
  if (!decoder_ || !io_) throw PXException(PX_ERR_NO_MEMORY, "Out of memory");
  JPEGDecoder* d = decoder_;
  d->cinfo.err = jpeg_std_error(&d->error.pub);
  d->error.pub.error_exit = OnFatalError;
  d->error.pub.output_message = OnMessage;
  d->source.io = io_;
  d->source.rewindUnused = rewindUnused;
  JPEGRun(d, codecError, [](JPEGDecoder* d, void*) {
    jpeg_create_decompress(&d->cinfo);
    // No backing store exists, so this bounds what libjpeg may allocate for itself
    // (a progressive file keeps every coefficient of the image).
    d->cinfo.mem->max_memory_to_use = long(PX_MAX_GLOBAL_BLOCK);
    d->progress.progress_monitor = OnProgress;
    d->cinfo.progress = &d->progress;
    d->cinfo.src = &d->source.pub;
    d->source.pub.init_source = InitSource;
    d->source.pub.fill_input_buffer = FillInputBuffer;
    d->source.pub.skip_input_data = SkipInputData;
    d->source.pub.resync_to_restart = jpeg_resync_to_restart;
    d->source.pub.term_source = TermSource;
    jpeg_save_markers(&d->cinfo, JPEG_COM, 0xFFFF);
    for (int m = JPEG_APP0 + 1; m <= JPEG_APP0 + 14; ++m) jpeg_save_markers(&d->cinfo, m, 0xFFFF);
  });
  return d;
}

bool JPEGDecoderOwner::AllocRowBuffer() {
  size_t bytes;
  const jpeg_decompress_struct& c = decoder_->cinfo;
  if (!px::BlockSize(size_t(c.output_width) * 2, size_t(c.output_components), 0, &bytes))
    return false;
  row_ = static_cast<uint8_t*>(GlobalAlloc(GPTR, bytes));
  return row_ != nullptr;
}

void JPEGCopyMarkers(JPEGDecoder* decoder, PXThreadState& state) {
  bool exifSeen = false;
  state.jpeg.orientationRead = PX_ORIENTATION_TOP_LEFT;
  for (jpeg_saved_marker_ptr m = decoder->cinfo.marker_list; m; m = m->next) {
    CFileDataTag tag;
    tag.id = m->marker;
    tag.data.assign(m->data, m->data + m->data_length);
    if (m->marker == JPEG_COM) {
      tag.data.push_back(0);
      px::Trace("PXLib JPG comment : %s\n", reinterpret_cast<const char*>(tag.data.data()));
      state.jpeg.commentsRead.push_back(std::move(tag));
    } else {
      px::Trace("PXLib JPG marker # %d, len: %d\n", m->marker, int(m->data_length));
      // The first APP1 that is EXIF (XMP comes in APP1 too) holds the orientation.
      if (m->marker == JPEG_APP0 + 1 && !exifSeen && IsExif(tag.data)) {
        exifSeen = true;
        state.jpeg.orientationRead = PXGetExifOrientation(tag.data.data(), tag.data.size());
      }
      state.jpeg.markersRead.push_back(std::move(tag));
    }
  }
}
