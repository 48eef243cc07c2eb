#pragma once

#include <QString>

class QTextEdit;

// The log text in a QTextEdit, lines grouped linesPerBlock to a text block and joined inside a
// block by line separators (U+2028). A block a line costs about three times the memory for a
// week-long log; toPlainText() turns both separators into the same line feed, so the plain text
// and the export stay exactly the appended text. New text always goes to the end, and the view
// follows it unless the operator is selecting text.
class LogView
{
public:
    static constexpr int linesPerBlock = 16;

    explicit LogView(QTextEdit *edit) : edit(edit) {}

    // Appends text made of lines that end in a line feed; a last line without one is continued
    // by the next append.
    void Append(const QString &text);
    void Clear();
    QString PlainText() const;

private:
    QTextEdit *edit = nullptr;
    int linesInBlock = 0;
};
