#pragma once
// The WAV extractor panel: log, progress, counter and output row over TAsf2Wav.
#include "gui/kit/ToolFrame.h"
#include "convert/Asf2Wav.h"

namespace mendery::ui {

class Asf2WavPanel : public ToolFrame {
    Q_OBJECT
public:
    explicit Asf2WavPanel(QWidget* parent = nullptr);
    TAsf2Wav& Engine() { return engine_; }

    void Prepare() override;
    void Run() override;
    void Abort() override { engine_.Aborted = true; }
    RunEnd LastRunEnd() const override { return RunEndOf(engine_.LastOutcome(), engine_.LastSummary().objects); }

private:
    TAsf2Wav engine_;
};

}  // namespace mendery::ui
