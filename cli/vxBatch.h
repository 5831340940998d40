// Stamping many files in one run: where each result goes, the variables a
// job can name, and the workers that stamp the files side by side.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/vxCliOptions.h"
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/watermark/vxWatermarkJob.h"

namespace vxcli {

// What a watermark's text can name as <%Name%> besides the engine's own.
struct TvxJobVariables {
  std::tm Now{};  // the run's start, local time
  int64_t BatesStart = 1;
  int32_t BatesDigits = 6;
  std::string BatesPrefix;
  std::vector<std::pair<std::string, std::string>> Values;  // --var NAME=VALUE
};

// Gives Doc the values of Variables for the input File, whose first page
// has the Bates number BatesStart + PagesBefore. Names are matched without
// regard to case; a name the run does not define stays as typed.
void SetJobVariables(vx::TvxCustomPDFDocument& Doc, const TvxJobVariables& Variables,
                     const std::string& File, int64_t PagesBefore);

// Text with each <%Name%> the run defines for the input File replaced, as a
// watermark's text would have it; what depends on the page (<%Bates%>) and
// what nobody defines stays as typed.
std::string ExpandJobVariables(const std::string& Text, const TvxJobVariables& Variables,
                               const std::string& File);

// Whether Text names <%Bates%>, so that page counts must be known in order.
bool UsesBates(const std::u16string& Text);

// The path as it names the file, so that two spellings compare equal.
std::string PathIdentity(const std::string& Path);

struct TvxBatchFile {
  std::string Input;
  std::string Output;
  std::string Refused;  // why the file is not stamped at all, if it is not
  std::string Label;    // what messages name the file by, when not Input
  // Variables of this file alone, over the run's.
  std::vector<std::pair<std::string, std::string>> Values;
};

// Where the results go: into OutDir (when given) under the input's name, or
// NAME+Suffix+".pdf" there or beside the input, or over the input with
// InPlace. Folders among Inputs give their *.pdf files, sorted by path, with
// Recursive; their results keep the subfolder they were found in under
// OutDir. A result that would replace an input without InPlace, or that
// another input's result already takes, is refused.
std::vector<TvxBatchFile> BatchFiles(const std::vector<std::string>& Inputs, bool Recursive,
                                     const std::optional<std::string>& OutDir,
                                     const std::optional<std::string>& Suffix, bool InPlace);

struct TvxBatchSettings {
  vx::TvxWatermarkJob Job;
  TvxOptions LoadOptions;  // --password, --repair and the like
  TvxJobVariables Variables;
  // File I draws its names and identifier from Seed + I (skipping 0), as a
  // single stamp with that seed would.
  std::optional<uint64_t> Seed;
  unsigned Jobs = 1;
  // Every file a copy of this document, loaded once and stamped from
  // Snapshot each time (not owned); other workers than the first load a
  // document of their own once.
  vx::TvxCustomPDFDocument* Source = nullptr;
  const vx::TvxDocumentSnapshot* Snapshot = nullptr;
  bool Json = false;
  bool Progress = false;
};

// Stamps every file, Settings.Jobs at a time. Failures are named on
// standard error and do not stop the others; returns 1 when any failed.
int RunBatch(const std::vector<TvxBatchFile>& Files, const TvxBatchSettings& Settings);

}  // namespace vxcli
