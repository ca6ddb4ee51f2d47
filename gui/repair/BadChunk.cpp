#include "gui/repair/BadChunk.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "gui/kit/RadioGroup.h"
#include "gui/kit/Widgets.h"

namespace mendery::ui {

namespace {
TBadChunk* instance = nullptr;
}

TBadChunk& TBadChunk::Instance() {
    if (!instance) {
        instance = new TBadChunk;
        // Kept for the program's life; released with the application object.
        QObject::connect(qApp, &QObject::destroyed, [] { delete instance; instance = nullptr; });
    }
    return *instance;
}

bool TBadChunk::Exists() { return instance != nullptr; }

TBadChunk::TBadChunk(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BadChunk"));
    setWindowTitle(QStringLiteral("侦测损坏的数据块"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    ChunkLabel = new QLabel(this);
    ChunkLabel->setObjectName(QStringLiteral("Label1"));
    layout->addWidget(ChunkLabel);
    ActionGroup = new RadioGroup(QStringLiteral("怎样做"),
                                  {QStringLiteral("跳过此数据块"), QStringLiteral("删除它"), QStringLiteral("以零填充"),
                                   QStringLiteral("复制最后好的"), QStringLiteral("删除+恢复最近")},
                                  2, this);
    ActionGroup->setObjectName(QStringLiteral("RadioGroup1"));
    layout->addWidget(ActionGroup);
    OkButton = new QPushButton(QApplication::style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("确定"), this);
    OkButton->setObjectName(QStringLiteral("BitBtn1"));
    OkButton->setDefault(true);
    layout->addWidget(OkButton, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
}

BadChunkAction TBadChunk::Decide(std::int64_t chunkIndex) {
    ChunkLabel->setText(QStringLiteral("数据块数量: ") + QString::number(chunkIndex));
    if (exec() != QDialog::Accepted) return BadChunkAction::DoNothing;
    switch (ActionGroup->ItemIndex()) {
        case 1: return BadChunkAction::Delete;
        case 2: return BadChunkAction::FillWithZero;
        case 3: return BadChunkAction::CopyLastGood;
        case 4: return BadChunkAction::DeletePlusLastGood;
        default: return BadChunkAction::DoNothing;
    }
}

}  // namespace mendery::ui
