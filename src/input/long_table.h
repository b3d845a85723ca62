#pragma once
#include <string>
#include <string_view>

// Gene sets as a long table (--net): one line per set and gene, tab- or
// comma-separated, with a header that names the columns, as decoupler,
// PROGENy, DoRothEA and CollecTRI networks come (source, target, weight).
// The columns are found by name in any case: set, source or term; gene,
// target or feature; score, weight, mor or value. Others are ignored; fields
// may be quoted as R and pandas quote them. Returns the same records as the
// gene-set file's text, line for line, so that the gene-set reader takes
// them by its rules and its messages name the table's own line numbers.
std::string long_table_text(std::string_view text, const std::string& file_name);

// A GMT file (set name, description, then genes) holds no score per gene:
// ends the run with the line that says so. Anything else passes.
void refuse_gmt(std::string_view text, const std::string& file_name);
