#include "cli/vxRecipients.h"

#include <filesystem>
#include <set>

#include "pdf/document/vxCstPDFDoc.h"

namespace vxcli {

namespace fs = std::filesystem;

std::string SafeFileName(std::string Name) {
  for (char& C : Name)
    if (C == '/' || C == '\0') C = '_';
  return Name;
}

std::vector<TvxBatchFile> RecipientFiles(const std::string& Source, const std::string& OutDir,
                                         const std::string& Pattern, const TvxCsvTable& Table,
                                         const std::string& TableName,
                                         const TvxJobVariables& Variables) {
  std::vector<TvxBatchFile> Files;
  const std::string SourceId = PathIdentity(Source);
  std::set<std::string> Taken = {SourceId};
  for (const TvxCsvRecord& Row : Table.Rows) {
    TvxBatchFile F;
    F.Input = Source;
    F.Label = TableName + " line " + std::to_string(Row.Line);
    for (size_t I = 0; I < Table.Names.size(); ++I)
      F.Values.emplace_back(Table.Names[I], Row.Fields[I]);
    TvxJobVariables Own = Variables;
    Own.Values.insert(Own.Values.end(), F.Values.begin(), F.Values.end());
    const std::string Name = SafeFileName(ExpandJobVariables(Pattern, Own, Source));
    if (Name.empty()) {
      F.Refused = "--output-name gives an empty file name";
    } else {
      F.Output = vx::TvxCustomPDFDocument::TargetFileName((fs::path(OutDir) / Name).string());
      const std::string Id = PathIdentity(F.Output);
      if (Id == SourceId)
        F.Refused = "would be written over the input (" + F.Output + ")";
      else if (!Taken.insert(Id).second)
        F.Refused = "another recipient is written to " + F.Output;
    }
    Files.push_back(std::move(F));
  }
  return Files;
}

}  // namespace vxcli
