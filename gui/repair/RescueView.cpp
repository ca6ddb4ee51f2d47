#include "gui/repair/RescueView.h"

#include <QHeaderView>
#include <QTableWidget>
#include <algorithm>
#include <map>

#include "asf/OutputNames.h"
#include "gui/kit/Text.h"

namespace mendery::ui {

QString StepStateText(StepState state) {
    switch (state) {
        case StepState::Waiting: return QStringLiteral("等待");
        case StepState::Running: return QStringLiteral("运行中");
        case StepState::Done: return QStringLiteral("完成");
        case StepState::NotKept: return QStringLiteral("未保留");
        case StepState::Failed: return QStringLiteral("失败");
        case StepState::Stopped: return QStringLiteral("已停止");
        case StepState::NotRun: return QStringLiteral("未运行");
    }
    return {};
}

StepState EndedStepState(const RescueStep& step) {
    switch (step.outcome) {
        case Outcome::NotRun: return StepState::NotRun;
        case Outcome::Done: return step.kept ? StepState::Done : StepState::NotKept;
        case Outcome::Aborted: return StepState::Stopped;
        default: return StepState::Failed;
    }
}

namespace {
QString YesNo(bool yes) { return yes ? QStringLiteral("是") : QStringLiteral("否"); }
QString Seconds(double seconds) { return QString::number(seconds, 'f', 1) + QStringLiteral(" 秒"); }
QString Count(std::int64_t n) { return QString::number(n); }
}  // namespace

QString CheckSummary(const DecodeCheck& check) {
    if (!check.opened) {
        QString text = QStringLiteral("不能解码");
        if (!check.whyNot.empty()) text += QStringLiteral(": ") + UiText(check.whyNot);
        return text;
    }
    return QStringLiteral("可播放 %1, 帧 %2, 解码错误 %3, 可定位 %4")
        .arg(Seconds(check.playableSeconds), Count(check.Frames()), Count(check.decodeErrors), YesNo(check.seekable));
}

QStringList StepDetailLines(const RescueStep& step) {
    QStringList lines;
    lines << ToQt(step.title);
    if (!step.reason.empty()) lines << QStringLiteral("原因: ") + UiText(step.reason);
    lines << QString();
    for (const auto& line : step.log) lines << UiText(line);
    if (step.check) lines << QString() << QStringLiteral("解码检查: ") + CheckSummary(*step.check);
    if (!step.note.empty()) lines << QStringLiteral("说明: ") + UiText(step.note);
    return lines;
}

namespace {

struct StreamRow {
    QString label;
    std::int64_t frames[2] = {-1, -1};  // before, after; -1: that side did not decode it
};

// Every stream either side decoded, in stream-number order.
std::map<int, StreamRow> StreamRows(const DecodeCheck* sides[2]) {
    std::map<int, StreamRow> rows;
    for (int side = 0; side < 2; ++side) {
        if (!sides[side] || !sides[side]->opened) continue;
        for (const auto& s : sides[side]->streams) {
            StreamRow& row = rows[s.number];
            if (row.label.isEmpty())
                row.label = ToQt(s.kind) + QStringLiteral("流 %1 帧数").arg(s.number);
            row.frames[side] = s.frames;
        }
    }
    return rows;
}

void SetCell(QTableWidget* table, int row, int column, const QString& text, const QString& hint = QString()) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (!hint.isEmpty()) item->setToolTip(hint);
    table->setItem(row, column, item);
}

}  // namespace

void FillCompareTable(QTableWidget* table, const DecodeCheck& before, const DecodeCheck* after) {
    const DecodeCheck* sides[2] = {&before, after};
    const auto streams = StreamRows(sides);
    QStringList labels{QStringLiteral("能否解码"), QStringLiteral("可播放时长")};
    for (const auto& [number, row] : streams) labels << row.label;
    labels << QStringLiteral("解码错误") << QStringLiteral("可定位");

    table->clearContents();
    table->setColumnCount(2);
    table->setHorizontalHeaderLabels({QStringLiteral("修复前"), QStringLiteral("修复后")});
    table->setRowCount(static_cast<int>(labels.size()));
    table->setVerticalHeaderLabels(labels);
    const QString none = QStringLiteral("—");
    for (int side = 0; side < 2; ++side) {
        const DecodeCheck* check = sides[side];
        if (!check) {
            for (int r = 0; r < table->rowCount(); ++r) SetCell(table, r, side, none);
            continue;
        }
        int r = 0;
        SetCell(table, r++, side, check->opened ? YesNo(true) : YesNo(false), UiText(check->whyNot));
        SetCell(table, r++, side, check->opened ? Seconds(check->playableSeconds) : none);
        for (const auto& [number, row] : streams) SetCell(table, r++, side, row.frames[side] < 0 ? none : Count(row.frames[side]));
        SetCell(table, r++, side, check->opened ? Count(check->decodeErrors) : none);
        SetCell(table, r++, side, check->opened ? YesNo(check->seekable) : none);
    }
}

QString ResultText(const RescueReport& report, bool outputExisted) {
    const QString untouched = outputExisted ? QStringLiteral(", 已有的文件保持不变") : QString();
    switch (report.outcome) {
        case Outcome::Done: return QStringLiteral("修复完成, 已保存: ") + ToQt(report.output);
        case Outcome::Aborted: return QStringLiteral("已停止, 没有生成输出文件") + untouched + QLatin1Char('.');
        case Outcome::NothingUsable:
            if (report.steps.empty()) return QStringLiteral("没有适用的修复步骤 (见诊断), 没有生成输出文件") + untouched + QLatin1Char('.');
            return QStringLiteral("没有得到比源文件更好的结果, 没有生成输出文件") + untouched + QStringLiteral(" (原因见日志).");
        case Outcome::NotRun: return QString();
        case Outcome::Refused:
            if (report.needsReference)
                return QStringLiteral("文件头无法读取, 没有生成输出文件") + untouched +
                       QStringLiteral(". 请勾选 \"参考文件\" 并选择一个用同样设置录制的完好文件, 以重建文件头.");
            [[fallthrough]];
        default: return QStringLiteral("修复失败, 没有生成输出文件") + untouched + QStringLiteral(" (原因见日志).");
    }
}

QString RunningStepCaption(std::size_t index, std::size_t planned, const std::string& title) {
    return QStringLiteral("第 %1 步 (共 %2 步): ").arg(index + 1).arg(planned) + ToQt(title);
}

QString RanStepsCaption(const std::vector<RescueStep>& steps) {
    const auto ran = std::count_if(steps.begin(), steps.end(), [](const RescueStep& s) { return s.outcome != Outcome::NotRun; });
    return QStringLiteral("已运行 %1 步 (共 %2 步)").arg(ran).arg(steps.size());
}

QString RescueOutputName(const QString& source) { return ToQt(ToolOutputName(ToStd(source), OutputFor::Rescue)); }

}  // namespace mendery::ui
