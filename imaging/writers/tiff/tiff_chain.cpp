// The directory chain of a TIFF being written: how many directories it holds, and ending
// it early. Read straight from the file (classic and BigTIFF, either byte order), because
// libtiff's view of it is gone once a write has failed.
#include <unordered_set>

#include "core/entry.h"
#include "writers/tiff/tiff_writer.h"

namespace pxtiffw {

namespace {

// Far more directories than any file holds; a chain that runs on is looping.
constexpr uint32_t kMaxDirectories = 1u << 20;

class Chain {
 public:
  explicit Chain(CPXIO& io) : io_(io) {}

  // Reads the header; false when the data is no TIFF.
  bool Start() {
    uint8_t h[16];
    if (!io_.Rewind() || !io_.ReadExactly(h, 8)) return false;
    if (h[0] == 'I' && h[1] == 'I')
      little_ = true;
    else if (h[0] == 'M' && h[1] == 'M')
      little_ = false;
    else
      return false;
    const uint16_t version = uint16_t(Value(h + 2, 2));
    if (version == 42) {
      link_ = 4;
      return Read(link_, &next_);
    }
    if (version != 43 || Value(h + 4, 2) != 8) return false;
    big_ = true;
    link_ = 8;
    return Read(link_, &next_);
  }

  // Steps to the next directory: false at the end of the chain, on a broken one, or where
  // it comes back to a directory it has passed.
  bool Advance() {
    if (next_ == 0 || !seen_.insert(next_).second) return false;
    uint64_t entries;
    if (!ReadSized(next_, big_ ? 8 : 2, &entries)) return false;
    const uint64_t link = next_ + (big_ ? 8 + entries * 20 : 2 + entries * 12);
    if (entries > 0xFFFF || !Read(link, &next_)) return false;
    link_ = link;
    return true;
  }

  // Makes the current link (the header's, or the last directory's) end the chain.
  void Cut() {
    if (next_ == 0) return;
    const uint8_t zeros[8] = {};
    if (io_.Seek(int64_t(link_), PX_SEEK_SET)) io_.Write(zeros, 1, big_ ? 8 : 4);
  }

 private:
  uint64_t Value(const uint8_t* p, int bytes) const {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) {
      const int at = little_ ? bytes - 1 - i : i;
      v = (v << 8) | p[at];
    }
    return v;
  }
  bool ReadSized(uint64_t offset, int bytes, uint64_t* out) {
    uint8_t b[8];
    if (offset > uint64_t(INT64_MAX) || !io_.Seek(int64_t(offset), PX_SEEK_SET) ||
        !io_.ReadExactly(b, size_t(bytes)))
      return false;
    *out = Value(b, bytes);
    return true;
  }
  bool Read(uint64_t offset, uint64_t* out) { return ReadSized(offset, big_ ? 8 : 4, out); }

  CPXIO& io_;
  bool little_ = true;
  bool big_ = false;
  uint64_t link_ = 0;  // where the offset of the next directory is stored
  uint64_t next_ = 0;  // offset of the next directory, 0 at the end
  std::unordered_set<uint64_t> seen_;
};

}  // namespace

uint32_t CountDirectories(CPXIO& io) {
  Chain chain(io);
  if (!chain.Start()) return 0;
  uint32_t count = 0;
  while (count < kMaxDirectories && chain.Advance()) ++count;
  return count;
}

void CutDirectoryChain(CPXIO& io, uint32_t keep) {
  Chain chain(io);
  if (!chain.Start()) return;
  for (uint32_t i = 0; i < keep; ++i)
    if (!chain.Advance()) return;  // the chain is shorter already
  chain.Cut();
}

}  // namespace pxtiffw

extern "C" uint32_t PXCountTIFFDirectories(PXSource source) {
  return px::RunEntry<uint32_t>(
      source, 0, {}, [](px::Operation&, CPXIO& io) { return pxtiffw::CountDirectories(io); });
}
