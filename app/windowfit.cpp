#include "app/windowfit.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QTabWidget>

#include <algorithm>

namespace {

// Around the tab widget and around the rows of a page without a layout, as in the form.
constexpr int margin = 10;
// Room above and below a line of text inside a box's frame.
constexpr int textClearance = 2;

bool ShowsText(const QWidget *widget)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return !button->text().isEmpty();
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return !label->text().isEmpty();
    return qobject_cast<const QAbstractSpinBox *>(widget) != nullptr;
}

// The designed size, grown as far as the widget's text needs: to the widget's own minimum width,
// and to its own minimum height once a line of its font no longer fits the designed height (the
// designs are a few pixels under the style's comfortable height, which is fine at normal fonts).
QSize NeededSize(const QWidget &widget, const QSize &designed)
{
    const QSize own = widget.minimumSizeHint();
    QSize needed = designed.expandedTo(QSize(own.width(), 0));
    if (widget.fontMetrics().height() + 2 * textClearance > designed.height())
        needed.setHeight(qMax(designed.height(), own.height()));
    return needed;
}

// A designed minimum size takes the place of the widget's own minimum in its layout, even when
// larger fonts need more.
void RaiseMinimumsToTexts(QWidget &page)
{
    for (QWidget *widget : page.findChildren<QWidget *>()) {
        if (!widget->minimumSize().isNull() && ShowsText(widget))
            widget->setMinimumSize(NeededSize(*widget, widget->minimumSize()));
    }
}

// Rows at fixed positions get the size their contents need, each below the one before with
// the gap the form left between them; all of them widen alike, so their right edges stay in line.
// Returns the size the page needs for them.
QSize RestackRows(QWidget &page)
{
    QList<QWidget *> rows = page.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    std::sort(rows.begin(), rows.end(),
              [](const QWidget *a, const QWidget *b) { return a->y() < b->y(); });
    int widening = 0;
    for (const QWidget *row : rows)
        widening = qMax(widening, NeededSize(*row, row->size()).width() - row->width());
    QSize needed;
    int formBottom = 0;
    int bottom = 0;
    bool first = true;
    for (QWidget *row : rows) {
        QRect place = row->geometry();
        if (!first)
            place.moveTop(qMax(place.top(), bottom + place.top() - formBottom));
        formBottom = row->geometry().bottom() + 1;
        place.setSize(QSize(place.width() + widening, NeededSize(*row, place.size()).height()));
        row->setGeometry(place);
        bottom = place.bottom() + 1;
        needed = needed.expandedTo(QSize(place.right() + 1 + margin, bottom + margin));
        first = false;
    }
    return needed;
}

} // namespace

void FitWindowToContents(QMainWindow &window, QTabWidget &tabs)
{
    window.ensurePolished();
    for (int i = 0; i < tabs.count(); ++i) {
        QWidget *page = tabs.widget(i);
        RaiseMinimumsToTexts(*page);
        if (page->layout() == nullptr)
            page->setMinimumSize(RestackRows(*page));
    }
    // The tab widget's minimum size holds every page at its minimum, the size below which a
    // layout squeezes its widgets under their texts.
    const QSize tabsSize = tabs.size().expandedTo(tabs.minimumSizeHint());
    tabs.setMaximumSize(tabs.maximumSize().expandedTo(tabsSize));
    tabs.resize(tabsSize);

    QWidget *central = window.centralWidget();
    central->setMinimumSize(tabs.geometry().right() + 1 + margin,
                            tabs.geometry().bottom() + 1 + margin);
    const QSize windowSize = window.size().expandedTo(window.sizeHint());
    window.setMaximumSize(window.maximumSize().expandedTo(windowSize));
    window.resize(windowSize);
}
