// The fixed text of the PPD that vrel ppd writes for rastertovrel's own
// queue: data/ppd/vrel-ppd-head.ppd.in, built into the tool (no file to find
// at run time). Its {{name}} fields are filled in by fillTemplate.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace vrel::cli {

// The PPD's head: header keywords, page sizes, resolutions, colour model.
std::string_view ppdHeadTemplate();

// The text with every {{name}} field replaced by its value, in one pass (a
// value is never searched for fields); a field without a value stays as it is.
std::string fillTemplate(std::string_view text, const std::map<std::string, std::string>& values);

} // namespace vrel::cli
