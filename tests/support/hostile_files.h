// Small files built to make a careless load take time or memory out of
// proportion to their size. Shared by the tests, the benchmarks and the
// fuzzer's seeds; no test framework needed.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vxtest {

// Objects 1, 2, ... with the given bodies, a classic table and a trailer.
inline std::string FileOfObjects(const std::vector<std::string>& Bodies,
                                 const std::string& TrailerEntries = "/Root 1 0 R") {
  std::string S = "%PDF-1.4\n";
  std::vector<size_t> Offsets;
  for (size_t I = 0; I < Bodies.size(); ++I) {
    Offsets.push_back(S.size());
    S += std::to_string(I + 1) + " 0 obj\n" + Bodies[I] + "\nendobj\n";
  }
  size_t XRef = S.size();
  S += "xref\n0 " + std::to_string(Bodies.size() + 1) + "\n0000000000 65535 f\r\n";
  char Line[32];
  for (size_t Offset : Offsets) {
    std::snprintf(Line, sizeof Line, "%010zu 00000 n\r\n", Offset);
    S += Line;
  }
  S += "trailer\n<< /Size " + std::to_string(Bodies.size() + 1) + " " + TrailerEntries +
       " >>\nstartxref\n" + std::to_string(XRef) + "\n%%EOF\n";
  return S;
}

// One page whose /Contents names objects 4 .. 3 + Count, each made by Make.
template <typename F>
std::string PageWithStreams(int Count, F Make) {
  std::vector<std::string> Bodies = {"<< /Type /Catalog /Pages 2 0 R >>",
                                     "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", ""};
  std::string Contents;
  for (int I = 0; I < Count; ++I) {
    Contents += std::to_string(4 + I) + " 0 R ";
    Bodies.push_back(Make(I));
  }
  Bodies[2] = "<< /Type /Page /MediaBox [0 0 100 100] /Contents [" + Contents + "] >>";
  return FileOfObjects(Bodies);
}

// Pages, each drawing one Flate stream of Size blank bytes: a few hundred
// bytes each that decode to Size, many times over.
inline std::string PagesWithLargeContents(int Pages, int Size) {
  const std::string Plain(static_cast<size_t>(Size), ' ');
  uLongf Packed = compressBound(static_cast<uLong>(Plain.size()));
  std::string Data(Packed, '\0');
  compress2(reinterpret_cast<Bytef*>(Data.data()), &Packed,
            reinterpret_cast<const Bytef*>(Plain.data()), static_cast<uLong>(Plain.size()), 9);
  Data.resize(Packed);
  std::vector<std::string> Bodies = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
  std::string Kids;
  for (int I = 0; I < Pages; ++I) {
    const int Page = 3 + 2 * I;
    Kids += std::to_string(Page) + " 0 R ";
    Bodies.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents " +
                     std::to_string(Page + 1) + " 0 R >>");
    Bodies.push_back("<< /Length " + std::to_string(Data.size()) +
                     " /Filter /FlateDecode >>\nstream\n" + Data + "\nendstream");
  }
  Bodies[1] = "<< /Type /Pages /Kids [" + Kids + "] /Count " + std::to_string(Pages) + " >>";
  return FileOfObjects(Bodies);
}

// Pages all drawing one /Contents array of Streams small streams: a copy of
// the array for each page stamped would multiply it by the pages.
inline std::string PagesSharingOneContentsArray(int Pages, int Streams) {
  std::vector<std::string> Bodies = {"<< /Type /Catalog /Pages 2 0 R >>", "", ""};
  std::string Array;
  for (int I = 0; I < Streams; ++I) {
    Array += std::to_string(4 + Pages + I) + " 0 R ";
  }
  Bodies[2] = "[" + Array + "]";
  std::string Kids;
  for (int I = 0; I < Pages; ++I) {
    Kids += std::to_string(4 + I) + " 0 R ";
    Bodies.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 3 0 R >>");
  }
  for (int I = 0; I < Streams; ++I) Bodies.push_back("<< /Length 1 >>\nstream\nn\nendstream");
  Bodies[1] = "<< /Type /Pages /Kids [" + Kids + "] /Count " + std::to_string(Pages) + " >>";
  return FileOfObjects(Bodies);
}

// Streams whose /Length runs far past the end of the file.
inline std::string StreamsWithLongLengths(int Count) {
  return PageWithStreams(Count, [](int I) {
    std::string Data = "% stream " + std::to_string(I);
    return "<< /Length 99999999 >>\nstream\n" + Data + "\nendstream";
  });
}

// Streams with no "endstream"; only the last stream is whole.
inline std::string StreamsWithoutEndstream(int Count) {
  return PageWithStreams(Count, [Count](int I) {
    std::string Data = "% stream " + std::to_string(I);
    if (I == Count - 1) return "<< /Length 99999999 >>\nstream\n" + Data + "\nendstream";
    return "<< /Length 99999999 >>\nstream\n" + Data;
  });
}

// An /Encrypt array whose elements name the next array twice, Levels deep:
// a copy that follows every reference holds 2^Levels values.
inline std::string SharedArrayGraph(int Levels) {
  std::vector<std::string> Bodies = {"<< /Type /Catalog /Pages 2 0 R >>",
                                     "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                     "<< /Type /Page /MediaBox [0 0 100 100] >>"};
  for (int I = 0; I < Levels; ++I) {
    std::string Next = std::to_string(5 + I) + " 0 R ";
    Bodies.push_back("[" + Next + Next + "]");
  }
  Bodies.push_back("[1 2]");
  return FileOfObjects(Bodies, "/Root 1 0 R /Encrypt 4 0 R");
}

// Levels of /Pages nodes, each listing the next node Kids times; the last
// level lists one page Kids times.
inline std::string RepeatedKids(int Levels, int Kids) {
  std::vector<std::string> Bodies = {"<< /Type /Catalog /Pages 2 0 R >>"};
  for (int L = 0; L < Levels; ++L) {
    std::string Next = std::to_string(3 + L) + " 0 R ";
    std::string List;
    for (int K = 0; K < Kids; ++K) List += Next;
    Bodies.push_back("<< /Type /Pages /Kids [" + List + "] >>");
  }
  Bodies.push_back("<< /Type /Page /MediaBox [0 0 100 100] >>");
  return FileOfObjects(Bodies);
}

// A one-page file with a second section giving one entry for the highest
// object number.
inline std::string HighestObjectNumber() {
  std::string S = FileOfObjects({"<< /Type /Catalog /Pages 2 0 R >>",
                                 "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                 "<< /Type /Page /MediaBox [0 0 100 100] >>"});
  size_t Prev = S.rfind("xref");
  size_t Obj = S.size();
  S += "8388607 0 obj\n<< >>\nendobj\n";
  size_t XRef = S.size();
  char Line[32];
  std::snprintf(Line, sizeof Line, "%010zu 00000 n\r\n", Obj);
  S += "xref\n8388607 1\n" + std::string(Line) + "trailer\n<< /Size 8388608 /Root 1 0 R /Prev " +
       std::to_string(Prev) + " >>\nstartxref\n" + std::to_string(XRef) + "\n%%EOF\n";
  return S;
}

}  // namespace vxtest
