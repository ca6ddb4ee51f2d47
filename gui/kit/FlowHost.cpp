#include "gui/kit/FlowHost.h"

#include <QLabel>
#include <cstdio>

#include "gui/kit/PProcForm.h"
#include "gui/kit/QtHost.h"
#include "gui/kit/Text.h"

namespace mendery::ui {

FlowHost::FlowHost(QWidget* owner, std::function<bool()> closing) : owner_(owner), closing_(std::move(closing)) {}

FlowHost::~FlowHost() { CloseProgress(); }

TPProcForm* FlowHost::Progress() {
    if (!progress_) {
        progress_ = new TPProcForm(owner_);
        bar_.Attach(progress_->ProgressBar);
        progress_->show();
    }
    return progress_;
}

void FlowHost::CloseProgress() {
    delete progress_.data();
    bar_.Attach(nullptr);
}

void FlowHost::Log(std::string_view line) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

void FlowHost::SetProgressRange(std::int64_t maximum) {
    Progress();
    bar_.SetRange(maximum);
}

void FlowHost::SetProgress(std::int64_t position) {
    Progress();
    bar_.SetPosition(position);
}

void FlowHost::SetStatus(std::string_view text) { Progress()->PercentLabel->setText(ToQt(text)); }

void FlowHost::ProcessMessages() { ProcessMessagesThrottled(sinceEvents_); }

void FlowHost::Message(std::string_view text, MessageKind kind) {
    CloseProgress();
    if (Closing()) return Log(text);
    ShowHostMessage(owner_, text, kind);
}

Answer FlowHost::Ask(std::string_view text, Buttons buttons, MessageKind kind) {
    CloseProgress();
    if (Closing()) return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    return AskHostQuestion(owner_, text, buttons, kind);
}

}  // namespace mendery::ui
