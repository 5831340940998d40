// The bytes of a loaded PDF file. While the document loads, the tokenizer
// walks them as one contiguous read-only view (a memory map of the file, or
// the caller's memory); afterwards stream data that nobody changed stays in
// the file and is read by range when it is needed or copied to the output.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/objects/vxStreams.h"

namespace vx {

class TvxPDFSource {
 public:
  // Maps the file read-only and keeps it open until the last holder lets go:
  // the data stays readable when the file is renamed over or removed.
  static std::shared_ptr<TvxPDFSource> OpenFile(const std::string& FileName);
  static std::shared_ptr<TvxPDFSource> FromMemory(std::string Bytes);
  // The same bytes from Start on; offsets of the result count from Start.
  std::shared_ptr<TvxPDFSource> Tail(int64_t Start) const;

  // The whole contiguous view; empty once a file's view is released.
  std::string_view View() const;
  int64_t Size() const { return FSize; }
  bool IsFile() const;
  const std::string& FileName() const;
  // Ends the memory map of a file (ranged reads go on through the open file).
  void ReleaseView();
  // True when the file lost bytes of the view while it was mapped (cut
  // short by another program): those bytes read as zeros instead of ending
  // the process, and what was read from them cannot be trusted.
  bool ViewFaulted() const;
  // Pages of the view read so far no longer count against the process's
  // memory; touched again, they come back from the file.
  void DropPages() const;

  // Count bytes at Offset. Raises ESourceChangedError when the file no
  // longer holds them.
  std::string Read(int64_t Offset, int64_t Count) const;
  // The same into Buffer, whose memory is reused from piece to piece.
  void ReadPiece(std::string& Buffer, int64_t Offset, int64_t Count) const;
  // Copies Count bytes at Offset to Out in bounded chunks.
  void CopyTo(TvxStream& Out, int64_t Offset, int64_t Count) const;
  // Raises ESourceChangedError when the file was written to since it was
  // opened (a file renamed over it or removed does not count: the open file
  // still holds the loaded bytes).
  void CheckUnchanged() const;

 private:
  struct TvxShared;
  TvxPDFSource(std::shared_ptr<TvxShared> Shared, int64_t Start, int64_t Size);
  // Fills Buffer with Count bytes at Offset (of the whole file) or raises.
  void ReadInto(char* Buffer, int64_t Offset, int64_t Count) const;

  std::shared_ptr<TvxShared> FShared;
  int64_t FStart = 0;
  int64_t FSize = 0;
};

using TvxPDFSourcePtr = std::shared_ptr<TvxPDFSource>;

}  // namespace vx
