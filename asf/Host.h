#pragma once
// How a tool talks to whatever shows it: a log, progress, a chance for pending events to run
// (where a stop request arrives), message boxes and questions. The desktop program implements
// it with Qt widgets, the command line with stdout/stderr, tests with a recording host.
#include <cstdint>
#include <string_view>

namespace mendery {

class ILogSink {
public:
    virtual ~ILogSink() = default;
    virtual void Log(std::string_view line) = 0;  // one line; empty text gives an empty line
    virtual void ClearLog() = 0;
};

class IProgressSink {
public:
    virtual ~IProgressSink() = default;
    virtual void SetProgressRange(std::int64_t maximum) = 0;  // minimum is always 0
    virtual void SetProgress(std::int64_t position) = 0;
    virtual void SetStatus(std::string_view /*text*/) {}       // counter or status texts
};

enum class MessageKind { Plain, Information, Warning, Error, Confirmation };
enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

class IHost : public ILogSink, public IProgressSink {
public:
    virtual void ProcessMessages() = 0;
    virtual void Message(std::string_view text, MessageKind kind) = 0;
    virtual Answer Ask(std::string_view text, Buttons buttons, MessageKind kind) = 0;
};

}  // namespace mendery
