#pragma once
// What a tool dialog needs of the frame it hosts; the frames implement it.
#include <QString>

#include "gui/kit/RunEnd.h"

class QWidget;

namespace mendery::ui {

class QtHost;

// What a dialog needs of the frame it hosts.
class IToolFrame {
public:
    virtual ~IToolFrame() = default;
    virtual QWidget* Widget() = 0;
    virtual void SetSource(const QString& path) = 0;
    virtual void SetOutput(const QString& path) = 0;  // into the output path and its edit box
    virtual QString Output() const = 0;               // as the output edit box shows it now
    virtual void Prepare() = 0;                       // Reset (or Prepare)
    virtual void Run() = 0;                           // returns when done or aborted
    virtual void Abort() = 0;                         // sets the abort request
    virtual QtHost& Host() = 0;
    // Where the next run writes: the staged temporary file beside the output (empty: the
    // output itself). The output edit box keeps showing the output.
    virtual void SetWorkOutput(const QString& path) = 0;
    // How the last run ended: decides whether its file replaces the output.
    virtual RunEnd LastRunEnd() const = 0;
    // After the run's file was put in place (or thrown away): what the frame does later with
    // "its" output (the AVI header edits) concerns the output itself.
    virtual void OutputSettled(RunEnd) {}
};

}  // namespace mendery::ui
