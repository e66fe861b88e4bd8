#include "monitor/trafficfile.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

#include <sys/stat.h>

namespace {

// RFC 4180: a field holding a comma, a quote or a line break goes in quotes, its quotes doubled.
QString csvField(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\r') &&
        !text.contains(u'\n'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

QString fileError(const QString &path, const QString &reason)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
}

}  // namespace

bool isCsvName(const QString &path)
{
    return path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
}

QByteArray csvHeader()
{
    return QByteArrayLiteral("time,channel,direction,hex,text,verdict\r\n");
}

QByteArray trafficFileLine(const TrafficEntry &entry, bool csv, bool hex)
{
    if (!csv)
        return (entryLine(entry, hex) + u'\n').toUtf8();
    static const char *const directions[] = {"out", "in", "note", "frame"};
    QString bytesHex;
    QString text;
    if (entry.kind != TrafficEntry::Note) {
        bytesHex = QString::fromLatin1(entry.bytes.toHex(' ').toUpper());
        text = visibleText(entry.bytes);
        if (entry.dropped > 0)
            text += QStringLiteral(" … (%1 more bytes)").arg(entry.dropped);
    }
    const QString verdict = entry.kind == TrafficEntry::Note || entry.kind == TrafficEntry::Frame
                                ? entry.note
                                : QString();
    return (isoLocalTime(entry.wallMs) + u',' + csvField(entry.channel) + u',' +
            QLatin1String(directions[entry.kind]) + u',' + bytesHex + u',' + csvField(text) + u',' +
            csvField(verdict) + QLatin1String("\r\n"))
        .toUtf8();
}

QString saveTraffic(const QString &path, const std::vector<TrafficEntry> &entries, bool hex)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return fileError(path, file.errorString());
    const bool csv = isCsvName(path);
    QByteArray chunk = csv ? csvHeader() : QByteArray();
    for (size_t n = 0; n <= entries.size(); ++n) {
        if (n < entries.size())
            chunk += trafficFileLine(entries[n], csv, hex);
        if (chunk.size() >= 64 * 1024 || (n == entries.size() && !chunk.isEmpty())) {
            if (file.write(chunk) != chunk.size())
                return fileError(path, file.errorString());
            chunk.clear();
        }
    }
    return QString();
}

TrafficFile::TrafficFile(QObject *parent) : QObject(parent)
{
    m_flush.setSingleShot(true);
    m_flush.setInterval(0);
    connect(&m_flush, &QTimer::timeout, this, &TrafficFile::flush);
}

TrafficFile::~TrafficFile()
{
    // Whatever is still to write goes out; a failure now has no one left to tell.
    const QSignalBlocker quiet(this);
    close();
}

QString TrafficFile::open(const QString &path)
{
    close();
    m_firstName = path;
    m_number = 0;
    m_csv = isCsvName(path);
    return openFile(path);
}

QString TrafficFile::openFile(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return fileError(path, m_file.errorString());
    m_size = m_file.size();
    m_entries = 0;
    m_checkAt = 0;
    // A CSV file, new or empty, starts with its header; one that has lines already goes on.
    if (m_csv && m_size == 0) {
        const QByteArray header = csvHeader();
        if (m_file.write(header) != header.size()) {
            const QString error = fileError(path, m_file.errorString());
            m_file.close();
            return error;
        }
        m_size = header.size();
    }
    return QString();
}

void TrafficFile::append(const TrafficEntry &entry)
{
    if (!m_file.isOpen())
        return;
    // Formatting and writing cost a few microseconds an entry, as much again as the round trip
    // they record: they wait for the event loop. An event loop that does not come round for a
    // thousand entries does not hold them any longer.
    m_pending.push_back(entry);
    if (m_pending.size() >= 1000)
        flush();
    else if (!m_flush.isActive())
        m_flush.start();
}

void TrafficFile::flush()
{
    m_flush.stop();
    const std::vector<TrafficEntry> entries = std::exchange(m_pending, {});
    QByteArray lines;
    for (const TrafficEntry &entry : entries) {
        if (!m_file.isOpen())
            return;
        // A file removed while open takes writes without a word and keeps them nowhere: the name
        // is looked at once a second of the record's time, not at every line.
        if (entry.wallMs >= m_checkAt) {
            m_checkAt = entry.wallMs + 1000;
            if (!stillThere()) {
                fail(fileError(m_file.fileName(),
                               QStringLiteral("the file was removed or replaced")));
                return;
            }
        }
        const QByteArray line = trafficFileLine(entry, m_csv, m_hex);
        if (m_entries > 0 && m_size + lines.size() + line.size() > m_rotateBytes) {
            if (!write(lines) || !rotate())
                return;
            lines.clear();
        }
        lines += line;
        ++m_entries;
    }
    write(lines);
}

bool TrafficFile::write(const QByteArray &lines)
{
    if (lines.isEmpty() || !m_file.isOpen())
        return m_file.isOpen();
    if (m_file.write(lines) != lines.size()) {
        fail(fileError(m_file.fileName(), m_file.errorString()));
        return false;
    }
    m_size += lines.size();
    return true;
}

bool TrafficFile::rotate()
{
    m_file.close();
    // Never into a file of an earlier run: the next number not taken.
    QString next;
    do
        next = numberedName(m_firstName, ++m_number);
    while (QFileInfo::exists(next));
    const QString error = openFile(next);
    if (error.isEmpty())
        return true;
    fail(error);
    return false;
}

void TrafficFile::close()
{
    flush();
    m_file.close();
}

void TrafficFile::fail(const QString &message)
{
    m_file.close();
    m_pending.clear();
    emit failed(message);
}

bool TrafficFile::stillThere() const
{
    struct stat named = {};
    struct stat written = {};
    return ::stat(QFile::encodeName(m_file.fileName()).constData(), &named) == 0 &&
           ::fstat(m_file.handle(), &written) == 0 && named.st_dev == written.st_dev &&
           named.st_ino == written.st_ino;
}

QString TrafficFile::numberedName(const QString &path, int number)
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.isEmpty())
        return path + u'.' + QString::number(number);
    return path.chopped(suffix.size()) + QString::number(number) + u'.' + suffix;
}
