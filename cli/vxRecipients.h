// One copy of a source per row of a recipients file: the row's columns are
// the copy's variables, in its watermark and in its file name.
#pragma once

#include <string>
#include <vector>

#include "cli/vxBatch.h"
#include "cli/vxCsvReader.h"

namespace vxcli {

// Name with every character a file name cannot hold ('/', NUL) made '_'.
std::string SafeFileName(std::string Name);

// A copy of Source into OutDir per row of Table (TableName in messages),
// named by Pattern with the run's Variables and the row's columns, made
// safe and ending in .pdf. A copy whose name is empty, another row's copy
// took first, or that would replace Source is refused.
std::vector<TvxBatchFile> RecipientFiles(const std::string& Source, const std::string& OutDir,
                                         const std::string& Pattern, const TvxCsvTable& Table,
                                         const std::string& TableName,
                                         const TvxJobVariables& Variables);

}  // namespace vxcli
