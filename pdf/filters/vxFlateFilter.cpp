#include "pdf/filters/vxFlateFilter.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "pdf/objects/vxExceptions.h"

namespace vx {

namespace {

// zlib counts in uInt; larger inputs are fed in slices.
constexpr size_t MaxSlice = size_t{1} << 30;

Bytef* InBytes(const std::string& S, size_t Offset) {
  return reinterpret_cast<Bytef*>(const_cast<char*>(S.data() + Offset));
}

struct TvxInflateGuard {
  z_stream* Z;
  ~TvxInflateGuard() { inflateEnd(Z); }
};

struct TvxDeflateGuard {
  z_stream* Z;
  ~TvxDeflateGuard() { deflateEnd(Z); }
};

}  // namespace

int ZlibLevel(TvxCompressionLevel Level) {
  switch (Level) {
    case clNone: return 0;
    case clFastest: return 1;
    case clMax: return 9;
    case clDefault: break;
  }
  return Z_DEFAULT_COMPRESSION;
}

std::string TvxFlateFilter::EncodeString(const std::string& Source) {
  return EncodeString(Source, clDefault);
}

std::string TvxFlateFilter::EncodeString(const std::string& Source, TvxCompressionLevel Level) {
  z_stream Z{};
  int Rc = deflateInit2(&Z, ZlibLevel(Level), Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
  if (Rc != Z_OK) throw EZCompressionError(zError(Rc));
  TvxDeflateGuard Guard{&Z};

  std::string Out;
  if (Source.size() <= MaxSlice) {
    // One call with room for the worst case, as zlib's own compress2 does:
    // stored blocks are cut to the output space, so chunked output would
    // give other bytes at level 0.
    Out.resize(deflateBound(&Z, static_cast<uLong>(Source.size())));
    Z.next_in = InBytes(Source, 0);
    Z.avail_in = static_cast<uInt>(Source.size());
    Z.next_out = reinterpret_cast<Bytef*>(Out.data());
    Z.avail_out = static_cast<uInt>(Out.size());
    Rc = deflate(&Z, Z_FINISH);
    if (Rc != Z_STREAM_END) throw EZCompressionError(zError(Rc == Z_OK ? Z_BUF_ERROR : Rc));
    Out.resize(Z.total_out);
    return Out;
  }
  size_t Fed = 0;
  std::string Chunk(MaxSlice / 16, '\0');
  for (;;) {
    if (Z.avail_in == 0 && Fed < Source.size()) {
      size_t Slice = std::min(Source.size() - Fed, MaxSlice);
      Z.next_in = InBytes(Source, Fed);
      Z.avail_in = static_cast<uInt>(Slice);
      Fed += Slice;
    }
    int Flush = Fed == Source.size() ? Z_FINISH : Z_NO_FLUSH;
    Z.next_out = reinterpret_cast<Bytef*>(Chunk.data());
    Z.avail_out = static_cast<uInt>(Chunk.size());
    Rc = deflate(&Z, Flush);
    if (Rc != Z_OK && Rc != Z_STREAM_END && Rc != Z_BUF_ERROR) throw EZCompressionError(zError(Rc));
    Out.append(Chunk, 0, Chunk.size() - Z.avail_out);
    if (Rc == Z_STREAM_END) break;
  }
  return Out;
}

std::string TvxFlateFilter::DecodeString(const std::string& Source) {
  std::string Out;
  if (Source.empty()) return Out;
  z_stream Z{};
  int Rc = inflateInit2(&Z, 15);
  if (Rc != Z_OK) throw EZDecompressionError(zError(Rc));
  TvxInflateGuard Guard{&Z};

  size_t Fed = 0;
  char Chunk[FlateChunkSize];
  for (;;) {
    if (Z.avail_in == 0 && Fed < Source.size()) {
      size_t Slice = std::min(Source.size() - Fed, MaxSlice);
      Z.next_in = InBytes(Source, Fed);
      Z.avail_in = static_cast<uInt>(Slice);
      Fed += Slice;
    }
    Z.next_out = reinterpret_cast<Bytef*>(Chunk);
    Z.avail_out = sizeof(Chunk);
    Rc = inflate(&Z, Z_NO_FLUSH);
    size_t Got = sizeof(Chunk) - Z.avail_out;
    if (Got) {
      CheckDecodedSize(Out.size() + Got);
      Out.append(Chunk, Got);
    }
    if (Rc == Z_STREAM_END) break;
    if (Rc == Z_NEED_DICT) throw EZDecompressionError(zError(Rc));
    // Z_BUF_ERROR: no progress possible, i.e. the data ended early.
    if (Rc != Z_OK && Rc != Z_BUF_ERROR) throw EZDecompressionError(zError(Rc));
    if (Z.avail_in == 0 && Fed == Source.size() && Z.avail_out != 0) break;
  }
  return Out;
}

// --- TvxFlateEncoder ---

struct TvxFlateEncoder::TvxZ {
  z_stream Z{};
  ~TvxZ() { deflateEnd(&Z); }
};

namespace {

// zlib's own stored blocks hold at most this many bytes.
constexpr size_t MaxStoredBlock = 65535;

}  // namespace

TvxFlateEncoder::TvxFlateEncoder(TvxCompressionLevel Level) {
  const int ZLevel = ZlibLevel(Level);
  if (ZLevel == 0) return;
  auto Z = std::make_unique<TvxZ>();
  int Rc = deflateInit2(&Z->Z, ZLevel, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
  if (Rc != Z_OK) {
    // Nothing to end: the stream was never set up.
    Z->Z.state = nullptr;
    throw EZCompressionError(zError(Rc));
  }
  FZ = std::move(Z);
}

TvxFlateEncoder::~TvxFlateEncoder() = default;

void TvxFlateEncoder::StoredBlock(std::string_view Data, bool Final, std::string& Out) {
  const auto Len = static_cast<uint16_t>(Data.size());
  const auto NLen = static_cast<uint16_t>(~Len);
  Out.push_back(static_cast<char>(Final ? 1 : 0));
  Out.push_back(static_cast<char>(Len & 0xFF));
  Out.push_back(static_cast<char>(Len >> 8));
  Out.push_back(static_cast<char>(NLen & 0xFF));
  Out.push_back(static_cast<char>(NLen >> 8));
  Out.append(Data);
}

void TvxFlateEncoder::Update(std::string_view Piece, bool Last, std::string& Out) {
  if (!FZ) {
    // Level 0, as deflate writes it with room for all of it: blocks of the
    // largest stored size, the last one marked final (empty data gives one
    // empty final block).
    if (!FStarted) {
      Out.push_back(static_cast<char>(0x78));
      Out.push_back(static_cast<char>(0x01));
      FStarted = true;
    }
    while (!Piece.empty()) {
      // A full block is written only when more data follows it: the last
      // block carries the final mark.
      if (FPending.size() == MaxStoredBlock) {
        StoredBlock(FPending, false, Out);
        FPending.clear();
      }
      const size_t Take = std::min(Piece.size(), MaxStoredBlock - FPending.size());
      FAdler = static_cast<uint32_t>(
          adler32(FAdler, reinterpret_cast<const Bytef*>(Piece.data()), static_cast<uInt>(Take)));
      FPending.append(Piece.substr(0, Take));
      Piece.remove_prefix(Take);
    }
    if (Last) {
      StoredBlock(FPending, true, Out);
      FPending.clear();
      for (int Shift = 24; Shift >= 0; Shift -= 8)
        Out.push_back(static_cast<char>((FAdler >> Shift) & 0xFF));
    }
    return;
  }
  z_stream& Z = FZ->Z;
  char Chunk[16384];
  do {
    const size_t Slice = std::min(Piece.size(), MaxSlice);
    Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Piece.data()));
    Z.avail_in = static_cast<uInt>(Slice);
    Piece.remove_prefix(Slice);
    const int Flush = Last && Piece.empty() ? Z_FINISH : Z_NO_FLUSH;
    int Rc;
    do {
      Z.next_out = reinterpret_cast<Bytef*>(Chunk);
      Z.avail_out = sizeof Chunk;
      Rc = deflate(&Z, Flush);
      if (Rc != Z_OK && Rc != Z_STREAM_END && Rc != Z_BUF_ERROR)
        throw EZCompressionError(zError(Rc));
      Out.append(Chunk, sizeof Chunk - Z.avail_out);
    } while (Flush == Z_FINISH ? Rc != Z_STREAM_END : Z.avail_out == 0);
  } while (!Piece.empty());
}

}  // namespace vx
