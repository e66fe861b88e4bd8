#pragma once

#include <QString>
#include <stdexcept>

// The two kinds of error the handlers catch: a fault of the serial port (missing, busy, closed,
// lost) and a command text that cannot be put on the line as it stands.
class LinkError : public std::runtime_error
{
public:
    explicit LinkError(const QString &what) : std::runtime_error(what.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

class CommError : public LinkError
{
public:
    using LinkError::LinkError;
};

class FormatError : public LinkError
{
public:
    using LinkError::LinkError;
};
