#include "widgets/multilinebox.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextCursor>

MultiLineBox::MultiLineBox(QWidget *parent) : QPlainTextEdit(parent)
{
    m_redraw.setSingleShot(true);
    // Changes are drawn together a moment later: a box that a stream appends to on every pass of
    // a loop (the Modbus RTU receive loop, a flooding converter) would otherwise lay its whole
    // text out again for every few bytes and keep a core busy with nothing but that.
    connect(&m_redraw, &QTimer::timeout, this, &MultiLineBox::flushDisplay);
    connect(this, &QPlainTextEdit::textChanged, this, &MultiLineBox::takeEdits);
}

void MultiLineBox::setText(const QString &text)
{
    m_text = text;
    if (m_keepLimit > 0 && m_text.size() > m_keepLimit)
        m_text = m_text.right(m_keepLimit);
    scheduleDisplay();
}

void MultiLineBox::appendText(const QString &more)
{
    if (m_keepLimit > 0 && more.size() >= m_keepLimit) {
        m_text = more.right(m_keepLimit);
    } else {
        m_text += more;
        if (m_keepLimit > 0 && m_text.size() > m_keepLimit)
            m_text.remove(0, m_text.size() - m_keepLimit);
    }
    scheduleDisplay();
}

void MultiLineBox::scheduleDisplay()
{
    // Laying a line out again costs far more than the character that came: an echo every 60 ms
    // drawn one character at a time was a third of the loop test's CPU.
    // A command and its reply (two changes) are still drawn as soon as they come.
    if (m_lastChange.isValid() && m_lastChange.elapsed() < StreamGapMs)
        ++m_streak;
    else
        m_streak = 0;
    m_lastChange.start();
    if (m_redraw.isActive())
        return;
    // Drawn on the event loop's next pass when the last drawing is old enough, so a reply or an
    // echo shows without a wake-up of its own.
    const qint64 spacing = m_streak >= 2 ? StreamRedrawMs : RedrawDelayMs;
    const qint64 since = m_lastDrawn.isValid() ? m_lastDrawn.elapsed() : spacing;
    m_redraw.start(int(qBound(qint64(0), spacing - since, spacing)));
}

QString MultiLineBox::displayed(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            // CR LF, a lone CR and CR CR LF each show as one line break.
            if (i + 1 < text.size() && (text.at(i + 1) == u'\n' || text.at(i + 1) == u'\r'))
                continue;
            shown.append(u'\n');
        } else if (c == u'\n' || c == u'\t') {
            shown.append(c);
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            shown.append(QChar(0x00B7));
        } else {
            shown.append(c);
        }
    }
    return shown;
}

void MultiLineBox::flushDisplay()
{
    m_redraw.stop();
    m_lastDrawn.start();
    const QString shown = displayed(m_text);
    m_editingByProgram = true;
    if (!m_shown.isEmpty() && shown.size() > m_shown.size() && shown.startsWith(m_shown)) {
        // Text added at the end, as a reply or an echo comes in: only the new part is laid out
        // and drawn. The history of edits goes, as it does when the whole text is set.
        document()->setUndoRedoEnabled(false);
        QTextCursor end(document());
        // In one edit block the document is laid out once, at its end, and the cursor's move
        // does not lay the last line out on its own.
        end.beginEditBlock();
        end.movePosition(QTextCursor::End);
        end.insertText(shown.mid(m_shown.size()));
        end.endEditBlock();
        document()->setUndoRedoEnabled(true);
    } else if (shown != m_shown) {
        setPlainText(shown);
    }
    m_shown = shown;
    m_editingByProgram = false;
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void MultiLineBox::takeEdits()
{
    // The operator typed into the box: the typed text becomes the box's text.
    if (!m_editingByProgram) {
        m_redraw.stop();
        m_text = toPlainText();
        m_shown = m_text;
    }
}

void MultiLineBox::keyPressEvent(QKeyEvent *event)
{
    if (m_maxLength > 0 && !event->text().isEmpty() && event->text().at(0).isPrint() &&
        toPlainText().size() >= m_maxLength && !textCursor().hasSelection()) {
        event->ignore();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void MultiLineBox::insertFromMimeData(const QMimeData *source)
{
    if (m_maxLength > 0 && source->hasText()) {
        const qsizetype room = qMax<qsizetype>(0, m_maxLength - toPlainText().size());
        insertPlainText(source->text().left(room));
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}
