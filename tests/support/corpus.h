// The shared corpus of real PDF files, when it is present beside the project.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
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

// The corpus files known to fail one test, with the reason. A listed file
// that passes, or one the test never tries, fails the test: the list stays
// true as the engine improves.
class KnownFailures {
 public:
  explicit KnownFailures(std::string ListName)
      : FListName(std::move(ListName)), FList(LoadExceptionList(FListName)) {}

  bool Listed(const std::string& File) const { return FList.count(File) > 0; }
  // The reason the list gives, empty for a file not listed.
  std::string Reason(const std::string& File) const {
    auto It = FList.find(File);
    return It == FList.end() ? std::string() : It->second;
  }
  // Records one tried file and what went wrong with it (empty when it
  // passed); gives the text to add to the test's failures.
  std::string Outcome(const std::string& File, const std::string& Problem) {
    FTried.insert(File);
    if (!Listed(File)) return Problem.empty() ? "" : File + ": " + Problem + "\n";
    return Problem.empty() ? File + ": listed in " + FListName + " but passes\n" : "";
  }
  // The listed files never tried, as failure text.
  std::string Untried() const {
    std::string Out;
    for (const auto& [File, Reason] : FList)
      if (!FTried.count(File)) Out += File + ": listed in " + FListName + " but never tried\n";
    return Out;
  }

 private:
  std::string FListName;
  std::map<std::string, std::string> FList;
  std::set<std::string> FTried;
};

// The least number of files a corpus test must try: a manifest that lost its
// columns, or a filter that lets nothing through, must not pass quietly.
inline void ExpectTriedAtLeast(int Tried, int Minimum) {
  EXPECT_GE(Tried, Minimum) << "too few corpus files tried";
}

}  // namespace vxtest
