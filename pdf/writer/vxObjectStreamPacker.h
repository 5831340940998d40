// Objects gathered for one object stream (/Type /ObjStm): their numbers and
// their texts, until the stream is written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

class TvxObjectStreamPacker {
 public:
  // As many objects as qpdf packs; the byte bound keeps a stream of a few
  // huge arrays from growing without end.
  static constexpr int32_t MaxObjects = 100;
  static constexpr size_t MaxBytes = size_t{1} << 20;

  // Object Number's text, without "obj" and "endobj".
  void Add(int32_t Number, std::string_view Text);
  bool Full() const {
    return static_cast<int32_t>(FNumbers.size()) >= MaxObjects || FBody.size() >= MaxBytes;
  }
  bool Empty() const { return FNumbers.empty(); }
  // The numbers in the order of their index in the stream.
  const std::vector<int32_t>& Numbers() const { return FNumbers; }
  // The stream's data: the pairs "number offset", then the objects, which
  // begin at First.
  std::string Data(int64_t& First) const;
  void Clear();

 private:
  std::vector<int32_t> FNumbers;
  std::vector<int64_t> FOffsets;  // in FBody
  std::string FBody;
};

}  // namespace vx
