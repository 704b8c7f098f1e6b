#pragma once

#include <QString>

#include <stdexcept>

// An error that aborts the user action that caused it. The window that started the action
// catches it and shows its text in a message box; the program keeps running.
class RolvanError : public std::runtime_error
{
public:
    explicit RolvanError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }

    QString message() const { return m_message; }

private:
    QString m_message;
};

// A text that could not be converted (a date, a number, a yes/no value).
class ConversionError : public RolvanError
{
public:
    using RolvanError::RolvanError;
};

// A statement the database rejected.
class DatabaseError : public RolvanError
{
public:
    using RolvanError::RolvanError;
};

// Cancels the current action without a message (a declined delete confirmation).
class SilentAbort : public std::exception
{
public:
    const char *what() const noexcept override { return "aborted"; }
};
