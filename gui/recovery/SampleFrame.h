#pragma once
// TSampleFrame: the sampler page. Six statements must be ticked, and a file be known, before
// the button copies the start of the damaged file into a sample file.
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace mendery::ui {

class TSampleFrame : public QWidget {
    Q_OBJECT
public:
    explicit TSampleFrame(QWidget* parent = nullptr);

    QString DamagedFile;
    void SetDamagedFile(const QString& path);

    // Writes the sample of a file and returns its path; on failure it has told the user and
    // returns nothing.
    std::function<std::optional<std::string>(const std::string&)> MakeSample;

    QCheckBox *LatestVersionBox, *ReadHintsBox, *ReadFaqBox, *MayNotRecoverBox, *DamagedFileBox, *OriginalFileBox;
    QToolButton* MakeSampleButton;
    QLabel* ResultLabel;
    QLabel* DoneImage;

private:
    void BuildStatements(QWidget* page, QVBoxLayout* layout);
    void BuildResult(QWidget* page, QVBoxLayout* layout);
    void StatementClick();
    void MakeSampleClick();
    QList<QCheckBox*> Boxes() const;
    QScrollArea* scroll_;
};

}  // namespace mendery::ui
