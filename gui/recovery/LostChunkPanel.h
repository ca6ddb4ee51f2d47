#pragma once
// The lost-chunk recovery panel: log, progress, counter and output row over TLostChunk.
#include <memory>

#include "gui/kit/ToolFrame.h"
#include "recovery/LostChunk.h"

namespace mendery::ui {

class LostChunkPanel : public ToolFrame {
    Q_OBJECT
public:
    explicit LostChunkPanel(QWidget* parent = nullptr);
    TLostChunk& Engine() { return engine_; }

    void Prepare() override { ClearRun(); }
    void Run() override;
    void Abort() override { engine_.Aborted = true; }
    RunEnd LastRunEnd() const override { return RunEndOf(engine_.LastOutcome(), engine_.LastSummary().chunksWritten); }

private:
    TLostChunk engine_;
};

}  // namespace mendery::ui
