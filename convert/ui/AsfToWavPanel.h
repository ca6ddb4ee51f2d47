#pragma once
// The WAV extractor panel: log, progress, counter and output row over TAsf2Wav.
#include <functional>

#include "app/ui/ToolFrame.h"
#include "convert/AsfToWav.h"

namespace mendery::ui {

class TAsf2WavPanel : public TToolFrame {
    Q_OBJECT
public:
    explicit TAsf2WavPanel(QWidget* parent = nullptr);
    TAsf2Wav& Engine() { return engine_; }

    void Prepare() override;
    void Run() override;
    void Abort() override { engine_.Aborted = true; }

private:
    TAsf2Wav engine_;
};

// Runs a converter, showing an input/output error that ends it as the program's error display.
void RunConverter(QWidget* owner, const std::function<void()>& convert);

}  // namespace mendery::ui
