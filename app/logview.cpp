#include "app/logview.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

void LogView::Append(const QString &text)
{
    QString grouped;
    grouped.reserve(text.size());
    for (const QChar ch : text) {
        if (ch != QLatin1Char('\n')) {
            grouped += ch;
            continue;
        }
        if (++linesInBlock < linesPerBlock) {
            grouped += QChar::LineSeparator;
        } else {
            grouped += QLatin1Char('\n');
            linesInBlock = 0;
        }
    }
    // A restore fills an empty view with up to a week of lines at once: one insertText() of that
    // many blocks takes minutes, setPlainText() a fraction of a second.
    QTextDocument *document = edit->document();
    if (document->isEmpty()) {
        edit->setPlainText(grouped);
    } else {
        QTextCursor atEnd(document);
        atEnd.movePosition(QTextCursor::End, QTextCursor::MoveAnchor, 1);
        atEnd.insertText(grouped);
    }
    QTextCursor end(document);
    end.movePosition(QTextCursor::End, QTextCursor::MoveAnchor, 1);
    if (!edit->textCursor().hasSelection())
        edit->setTextCursor(end);
}

void LogView::Clear()
{
    edit->clear();
    linesInBlock = 0;
}

QString LogView::PlainText() const
{
    return edit->toPlainText();
}
