#pragma once
// The report's templates: each is copied byte for byte with the tags of the report's own
// vocabulary (such as <MEMORY> or <DISK>) replaced by values and table rows of the report
// data; every other tag, HTML's own included, passes unchanged.

#include <string>
#include <string_view>

#include "online/report_data.h"

namespace qm::online {

// The tags in index order: the opening tag of pair k at 2k, its closing tag at 2k + 1.
Lines BuildTags();

// Renders the source template into the target file, replacing it (an empty rendering leaves
// an empty file). Raises when the template cannot be read or the target cannot be written.
void ProcessTemplate(const ReportData& data, std::string_view source, std::string_view target);
// Appends what one whole tag, from "<" to ">", renders to. A tag of the vocabulary followed
// by a blank and attribute words takes "LINE_OFF" (one colour for all rows) and "COLOR_2"
// (rows start on the second colour); closing tags render nothing; any other tag is copied.
void RenderTag(const ReportData& data, std::string& output, std::string_view tag);

}  // namespace qm::online
