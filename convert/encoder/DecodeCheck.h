#pragma once
// The decode check inside the plugin (see convert/DecodeChecker.h for what it finds).
#include <functional>
#include <string>

#include "convert/DecodeChecker.h"

namespace mendery {

DecodeResult RunDecodeCheck(const std::string& path, const std::function<bool()>& stop = {});

}  // namespace mendery
