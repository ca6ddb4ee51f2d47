#pragma once
// The cutting tool is started from one parameter text ("-i \"a.wmv\" -o \"b.wmv\" -y"). This
// splits such a text into arguments the way a shell would for these texts: tokens separated by
// white space, double quotes group a path that may hold spaces (the quotes themselves are
// dropped), a backslash before a double quote or another backslash escapes it.
#include <string>
#include <string_view>
#include <vector>

namespace mendery {

std::vector<std::string> SplitParameterText(std::string_view text);

// Quotes one path for a parameter text: "\"" + path + "\"" (a path holding a double quote has
// it escaped, so that the text splits back into the same path).
std::string QuotedPath(const std::string& path);

}  // namespace mendery
