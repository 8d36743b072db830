#include "ppd_template.h"

namespace vrel::cli {

std::string fillTemplate(std::string_view text, const std::map<std::string, std::string>& values) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find("{{", at);
        const std::size_t close = open == std::string_view::npos ? open : text.find("}}", open + 2);
        if (close == std::string_view::npos)
            break;
        out += text.substr(at, open - at);
        const auto value = values.find(std::string(text.substr(open + 2, close - open - 2)));
        out += value != values.end() ? std::string_view(value->second)
                                     : text.substr(open, close + 2 - open);
        at = close + 2;
    }
    out += text.substr(std::min(at, text.size()));
    return out;
}

} // namespace vrel::cli
