// The shared corpus of real PDF files, when it is present beside the project.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace vxtest {

struct CorpusFile {
  std::string Name;
  std::map<std::string, std::string> Fields;  // manifest columns
  std::string Path;
};

inline std::string CorpusDir() {
  return std::string(VX_SHARED_DIR) + "/corpus";
}

// Every manifest row; empty when the corpus is absent.
inline std::vector<CorpusFile> LoadManifest() {
  std::vector<CorpusFile> Files;
  std::ifstream In(CorpusDir() + "/manifest.tsv");
  if (!In) return Files;
  std::string Line;
  std::vector<std::string> Header;
  auto Split = [](const std::string& L) {
    std::vector<std::string> Cells;
    std::stringstream S(L);
    std::string Cell;
    while (std::getline(S, Cell, '\t')) Cells.push_back(Cell);
    return Cells;
  };
  if (std::getline(In, Line)) Header = Split(Line);
  while (std::getline(In, Line)) {
    std::vector<std::string> Cells = Split(Line);
    if (Cells.empty()) continue;
    CorpusFile F;
    F.Name = Cells[0];
    for (size_t I = 0; I < Header.size() && I < Cells.size(); ++I) F.Fields[Header[I]] = Cells[I];
    F.Path = CorpusDir() + "/files/" + F.Name;
    Files.push_back(std::move(F));
  }
  return Files;
}

// "file<TAB>reason" lines of a file under tests/data; # starts a comment.
inline std::map<std::string, std::string> LoadExceptionList(const std::string& Name) {
  std::map<std::string, std::string> List;
  std::ifstream In(std::string(VX_TEST_DATA_DIR) + "/" + Name);
  std::string Line;
  while (std::getline(In, Line)) {
    if (Line.empty() || Line[0] == '#') continue;
    size_t Tab = Line.find('\t');
    List[Line.substr(0, Tab)] = Tab == std::string::npos ? "" : Line.substr(Tab + 1);
  }
  return List;
}

}  // namespace vxtest
