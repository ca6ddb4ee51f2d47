#pragma once
// A captioned group of radio buttons with an item index, in one or more columns.
#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace mendery::ui {

class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, const QStringList& items, int columns = 1, QWidget* parent = nullptr);
    int ItemIndex() const;
    // Selects an item and runs the click handling, as a user's click would.
    void SetItemIndex(int index);
    // Selects an item without the click handling (restoring a state).
    void ShowItemIndex(int index);
    QAbstractButton* Item(int index) const;
    int Count() const;

signals:
    void Clicked(int index);

private:
    QButtonGroup* buttons_;
};

}  // namespace mendery::ui
