#include "app/logview.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QtTest>

namespace {

QString Lines(int first, int count)
{
    QString text;
    for (int line = first; line < first + count; ++line)
        text += QStringLiteral("%1 12.340 0.5670\n").arg(line);
    return text;
}

} // namespace

// The grouped log view: its plain text, and so the export, is exactly the appended text, however
// the lines fall into blocks.
class TestLogView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void plainTextIsTheAppendedText_data();
    void plainTextIsTheAppendedText();
    void linesShareBlocks();
    void clearStartsAfresh();
    void restoredTextThenNewLines();
    void selectionStaysAndLinesGoToTheEnd();

private:
    std::unique_ptr<QTextEdit> edit;
    std::unique_ptr<LogView> view;
};

void TestLogView::init()
{
    edit = std::make_unique<QTextEdit>();
    edit->setReadOnly(true);
    edit->show();
    view = std::make_unique<LogView>(edit.get());
}

void TestLogView::plainTextIsTheAppendedText_data()
{
    QTest::addColumn<int>("lines");
    for (const int lines : {0, 1, 15, 16, 17, 32, 100})
        QTest::newRow(qPrintable(QString::number(lines))) << lines;
}

void TestLogView::plainTextIsTheAppendedText()
{
    QFETCH(int, lines);
    for (int line = 0; line < lines; ++line)
        view->Append(Lines(line, 1));
    QCOMPARE(view->PlainText(), Lines(0, lines));
    QCOMPARE(edit->toPlainText(), Lines(0, lines));
}

void TestLogView::linesShareBlocks()
{
    for (int line = 0; line < 160; ++line)
        view->Append(Lines(line, 1));
    // Ten full blocks and the empty one the next line goes into.
    QCOMPARE(edit->document()->blockCount(), 160 / LogView::linesPerBlock + 1);
    QCOMPARE(edit->document()->firstBlock().text().count(QChar::LineSeparator),
             LogView::linesPerBlock - 1);
}

void TestLogView::clearStartsAfresh()
{
    view->Append(Lines(0, 20));
    view->Clear();
    QCOMPARE(view->PlainText(), QString());
    view->Append(Lines(100, 17));
    QCOMPARE(view->PlainText(), Lines(100, 17));
    // The first block after the clear is a full one again.
    QCOMPARE(edit->document()->firstBlock().text().count(QChar::LineSeparator),
             LogView::linesPerBlock - 1);
}

void TestLogView::restoredTextThenNewLines()
{
    // A restore hands over many lines at once; the lines after it continue the same text.
    view->Append(Lines(0, 40));
    view->Append(Lines(40, 1));
    view->Append(Lines(41, 30));
    QCOMPARE(view->PlainText(), Lines(0, 71));
    QCOMPARE(edit->document()->blockCount(), 71 / LogView::linesPerBlock + 1);
}

void TestLogView::selectionStaysAndLinesGoToTheEnd()
{
    view->Append(Lines(0, 3));
    QTextCursor selection(edit->document());
    selection.setPosition(2);
    selection.setPosition(30, QTextCursor::KeepAnchor);
    edit->setTextCursor(selection);
    view->Append(Lines(3, 1));
    QCOMPARE(view->PlainText(), Lines(0, 4));
    QVERIFY(edit->textCursor().hasSelection());
    // What the operator copies has line feeds, not the separators inside a block.
    QCOMPARE(edit->textCursor().selection().toPlainText(), Lines(0, 3).mid(2, 28));

    edit->setTextCursor(QTextCursor(edit->document()));
    view->Append(Lines(4, 1));
    QCOMPARE(edit->textCursor().position(), edit->document()->characterCount() - 1);
}

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
