#pragma once

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QString>
#include <QTimer>

// A multi-line text box that keeps its text exactly as set (carriage returns, line feeds and
// every other character stay as they are, so what the program reads back is what it wrote) and
// shows it with control characters made visible as line breaks or blanks. maxLength limits what
// the operator can type, as a text box's limit does; the program itself may set longer texts.
// Redrawing is coalesced: however many changes come, the box is drawn at most once every
// RedrawDelayMs, and once every StreamRedrawMs while a stream goes on; a change after a quiet
// spell is drawn at once.
class MultiLineBox : public QPlainTextEdit
{
    Q_OBJECT
    Q_PROPERTY(int maxLength READ maxLength WRITE setMaxLength)
    Q_PROPERTY(QString text READ text WRITE setText)
public:
    explicit MultiLineBox(QWidget *parent = nullptr);

    static constexpr int RedrawDelayMs = 50;
    // Changes less than StreamGapMs apart make a stream; from its third change on the box is
    // drawn at most every StreamRedrawMs.
    static constexpr int StreamGapMs = 100;
    static constexpr int StreamRedrawMs = 250;

    QString text() const { return m_text; }
    void setText(const QString &text);
    void appendText(const QString &more);

    int maxLength() const { return m_maxLength; }
    void setMaxLength(int length) { m_maxLength = length; }

    // The most the box keeps (0: no limit); beyond it the oldest text is dropped.
    void setKeepLimit(qsizetype chars) { m_keepLimit = chars; }
    qsizetype keepLimit() const { return m_keepLimit; }

    // Draws a pending change now.
    void flushDisplay();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void scheduleDisplay();
    void takeEdits();
    static QString displayed(const QString &text);

    QString m_text;
    QString m_shown;  // what the box now shows, control characters made visible
    int m_maxLength = 0;
    qsizetype m_keepLimit = 0;
    bool m_editingByProgram = false;
    QTimer m_redraw;
    QElapsedTimer m_lastDrawn;
    QElapsedTimer m_lastChange;
    int m_streak = 0;  // changes in a row, each less than StreamGapMs after the one before
};
