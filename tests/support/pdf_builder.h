// Builds small PDF files byte by byte, so that tests see exactly the syntax
// under test, with correct cross-reference offsets.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vxtest {

// N bytes of seeded pseudo-random data, in which no byte pattern of the
// syntax ("endstream", say) turns up by design.
inline std::string Noise(size_t N, unsigned Seed) {
  std::string S(N, '\0');
  for (char& C : S) {
    Seed = Seed * 1103515245u + 12345u;
    C = static_cast<char>(Seed >> 16);
  }
  return S;
}

inline std::string Deflate(const std::string& In) {
  uLongf Size = compressBound(static_cast<uLong>(In.size()));
  std::string Out(Size, '\0');
  compress2(reinterpret_cast<Bytef*>(Out.data()), &Size, reinterpret_cast<const Bytef*>(In.data()),
            static_cast<uLong>(In.size()), 6);
  Out.resize(Size);
  return Out;
}

class PdfBuilder {
 public:
  explicit PdfBuilder(std::string Header = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n")
      : FData(std::move(Header)) {}

  // Appends "N G obj Body endobj" and records its offset.
  void Object(int N, const std::string& Body, int Gen = 0) {
    FOffsets[N] = {FData.size(), Gen};
    FData += std::to_string(N) + " " + std::to_string(Gen) + " obj\n" + Body + "\nendobj\n";
  }
  void Stream(int N, const std::string& Dict, const std::string& Data) {
    Object(N, "<< " + Dict + " /Length " + std::to_string(Data.size()) + " >>\nstream\n" + Data +
                  "\nendstream");
  }
  // Objects placed in an object stream N (Flate-compressed unless Plain);
  // Seal, when given, turns the stored data into what is written (to
  // encrypt it).
  void ObjectStream(int N, const std::vector<std::pair<int, std::string>>& Objects,
                    bool Plain = false,
                    const std::function<std::string(const std::string&)>& Seal = nullptr) {
    std::string Head, Body;
    for (const auto& [Num, Text] : Objects) {
      Head += std::to_string(Num) + " " + std::to_string(Body.size()) + " ";
      Body += Text + "\n";
      FCompressed[Num] = {N, FCompressedIndex[N]++};
    }
    std::string Data = Head + Body;
    std::string Dict = "/Type /ObjStm /N " + std::to_string(Objects.size()) + " /First " +
                       std::to_string(Head.size());
    if (!Plain) {
      Dict += " /Filter /FlateDecode";
      Data = Deflate(Data);
    }
    Stream(N, Dict, Seal ? Seal(Data) : Data);
  }
  void Raw(const std::string& Text) { FData += Text; }

  // The smallest document frame: catalog 1 (with CatalogEntries) over the
  // page tree root 2 (with PagesEntries, e.g. an inherited /MediaBox) whose
  // kids are the objects Kids, counted in /Count.
  void PageTree(const std::vector<int>& Kids, const std::string& CatalogEntries = "",
                const std::string& PagesEntries = "") {
    std::string List;
    for (int K : Kids) List += (List.empty() ? "" : " ") + std::to_string(K) + " 0 R";
    Object(1, "<< /Type /Catalog /Pages 2 0 R" +
                  (CatalogEntries.empty() ? "" : " " + CatalogEntries) + " >>");
    Object(2, "<< /Type /Pages /Kids [" + List + "] /Count " + std::to_string(Kids.size()) +
                  (PagesEntries.empty() ? "" : " " + PagesEntries) + " >>");
  }
  size_t Size() const { return FData.size(); }

  // A classic table over every object so far, then trailer and startxref.
  std::string FinishTable(const std::string& TrailerEntries, int64_t StartXRefDelta = 0) {
    size_t XRef = FData.size();
    int Max = FOffsets.empty() ? 0 : FOffsets.rbegin()->first;
    FData += "xref\n0 " + std::to_string(Max + 1) + "\n0000000000 65535 f\r\n";
    for (int N = 1; N <= Max; ++N) {
      auto It = FOffsets.find(N);
      char Line[32];
      if (It == FOffsets.end())
        std::snprintf(Line, sizeof Line, "%010d %05d f\r\n", 0, 0);
      else
        std::snprintf(Line, sizeof Line, "%010zu %05d n\r\n", It->second.first, It->second.second);
      FData += Line;
    }
    FData += "trailer\n<< /Size " + std::to_string(Max + 1) + " " + TrailerEntries + " >>\n";
    FData +=
        "startxref\n" + std::to_string(static_cast<int64_t>(XRef) + StartXRefDelta) + "\n%%EOF\n";
    FLastXRef = XRef;
    return FData;
  }

  // One cross-reference stream entry with the widths [1 4 2].
  static std::string XRefRow(int Type, uint32_t F2, uint16_t F3) {
    std::string Row(1, static_cast<char>(Type));
    for (int S = 24; S >= 0; S -= 8) Row.push_back(static_cast<char>(F2 >> S));
    Row.push_back(static_cast<char>(F3 >> 8));
    Row.push_back(static_cast<char>(F3));
    return Row;
  }

  // A cross-reference stream (number N, /W [1 4 2]) over every object so far.
  std::string FinishStream(int N, const std::string& TrailerEntries, bool Compress = true) {
    size_t XRef = FData.size();
    int Max = N;
    for (const auto& [Num, _] : FOffsets) Max = std::max(Max, Num);
    for (const auto& [Num, _] : FCompressed) Max = std::max(Max, Num);
    FOffsets[N] = {XRef, 0};
    std::string Rows;
    auto Put = [&Rows](int Type, uint32_t F2, uint16_t F3) { Rows += XRefRow(Type, F2, F3); };
    for (int K = 0; K <= Max; ++K) {
      if (auto C = FCompressed.find(K); C != FCompressed.end())
        Put(2, static_cast<uint32_t>(C->second.first), static_cast<uint16_t>(C->second.second));
      else if (auto O = FOffsets.find(K); O != FOffsets.end())
        Put(1, static_cast<uint32_t>(O->second.first), static_cast<uint16_t>(O->second.second));
      else
        Put(0, 0, K == 0 ? 65535 : 0);
    }
    std::string Dict =
        "/Type /XRef /Size " + std::to_string(Max + 1) + " /W [1 4 2] " + TrailerEntries;
    std::string Data = Compress ? Deflate(Rows) : Rows;
    if (Compress) Dict += " /Filter /FlateDecode";
    FData += std::to_string(N) + " 0 obj\n<< " + Dict + " /Length " + std::to_string(Data.size()) +
             " >>\nstream\n" + Data + "\nendstream\nendobj\n";
    FData += "startxref\n" + std::to_string(XRef) + "\n%%EOF\n";
    FLastXRef = XRef;
    return FData;
  }

  // An update section: a classic table with one subsection per object added
  // since ForgetObjects, so that it frees nothing.
  std::string FinishTableUpdate(const std::string& TrailerEntries) {
    size_t XRef = FData.size();
    FData += "xref\n";
    for (const auto& [Num, At] : FOffsets) {
      char Line[64];
      std::snprintf(Line, sizeof Line, "%d 1\n%010zu %05d n\r\n", Num, At.first, At.second);
      FData += Line;
    }
    FData += "trailer\n<< " + TrailerEntries + " /Prev " + std::to_string(FLastXRef) + " >>\n";
    FData += "startxref\n" + std::to_string(XRef) + "\n%%EOF\n";
    FLastXRef = XRef;
    return FData;
  }

  // An update section as a cross-reference stream (number N, /W [1 4 2])
  // listing, through /Index, only the objects added since ForgetObjects and
  // the numbers in Freed.
  std::string FinishStreamUpdate(int N, const std::string& TrailerEntries,
                                 const std::vector<int>& Freed = {}) {
    size_t XRef = FData.size();
    FOffsets[N] = {XRef, 0};
    std::map<int, std::string> Rows;
    for (const auto& [Num, C] : FCompressed)
      Rows[Num] = XRefRow(2, static_cast<uint32_t>(C.first), static_cast<uint16_t>(C.second));
    for (const auto& [Num, O] : FOffsets)
      Rows[Num] = XRefRow(1, static_cast<uint32_t>(O.first), static_cast<uint16_t>(O.second));
    for (int Num : Freed) Rows[Num] = XRefRow(0, 0, 1);
    std::string Index, Data;
    for (const auto& [Num, Row] : Rows) {
      Index += std::to_string(Num) + " 1 ";
      Data += Row;
    }
    int Size = Rows.empty() ? 1 : Rows.rbegin()->first + 1;
    std::string Dict = "/Type /XRef /Size " + std::to_string(Size) + " /W [1 4 2] /Index [" +
                       Index + "] /Prev " + std::to_string(FLastXRef) + " " + TrailerEntries;
    FData += std::to_string(N) + " 0 obj\n<< " + Dict + " /Length " + std::to_string(Data.size()) +
             " >>\nstream\n" + Data + "\nendstream\nendobj\n";
    FData += "startxref\n" + std::to_string(XRef) + "\n%%EOF\n";
    FLastXRef = XRef;
    return FData;
  }

  size_t LastXRef() const { return FLastXRef; }
  void ForgetObjects() {
    FOffsets.clear();
    FCompressed.clear();
  }
  const std::string& Data() const { return FData; }

 private:
  std::string FData;
  std::map<int, std::pair<size_t, int>> FOffsets;
  std::map<int, std::pair<int, int>> FCompressed;
  std::map<int, int> FCompressedIndex;
  size_t FLastXRef = 0;
};

// A path in the temp folder that no other test process uses.
inline std::string TempPath(const std::string& Name) {
  return ::testing::TempDir() + "vx" + std::to_string(::getpid()) + "_" + Name;
}

// Writes Bytes to a file under the test temp folder and returns its path.
inline std::string WriteTempFile(const std::string& Name, const std::string& Bytes) {
  std::string Path = TempPath(Name);
  std::FILE* F = std::fopen(Path.c_str(), "wb");
  std::fwrite(Bytes.data(), 1, Bytes.size(), F);
  std::fclose(F);
  return Path;
}

}  // namespace vxtest
