#include "log/logview.h"

#include <QTextCursor>
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
    QTextCursor end(edit->document());
    end.movePosition(QTextCursor::End, QTextCursor::MoveAnchor, 1);
    end.insertText(grouped);
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
