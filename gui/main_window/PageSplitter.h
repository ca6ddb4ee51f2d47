#pragma once
#include <QResizeEvent>
#include <QSplitter>
#include <algorithm>
#include <cmath>

namespace mendery::ui {

// The splitter above the list: the explorer panel keeps its share of the page's height when the
// window is resized; moving the splitter changes that share.
class PageSplitter : public QSplitter {
public:
    using QSplitter::QSplitter;
    int panelHeight = 0, pageHeight = 0;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QSplitter::resizeEvent(event);
        const int newPage = height();
        if (pageHeight > 0 && panelHeight > 0 && count() == 2 && widget(0)->isVisible()) {
            panelHeight = static_cast<int>(std::lround(double(panelHeight) * newPage / pageHeight));
            setSizes({panelHeight, std::max(0, newPage - panelHeight - handleWidth())});
        }
        pageHeight = newPage;
    }
};

}  // namespace mendery::ui
