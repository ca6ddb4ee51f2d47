#pragma once
// A host that shows nothing and answers every question No: for a tool run whose log nobody
// reads (a helper step inside another tool, the fuzz targets). A subclass may answer otherwise.
#include "asf/Host.h"

namespace mendery {

class NullHost : public IHost {
public:
    void Log(std::string_view) override {}
    void ClearLog() override {}
    void SetProgressRange(std::int64_t) override {}
    void SetProgress(std::int64_t) override {}
    void ProcessMessages() override {}
    void Message(std::string_view, MessageKind) override {}
    Answer Ask(std::string_view, Buttons, MessageKind) override { return Answer::No; }
};

}  // namespace mendery
