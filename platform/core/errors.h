// The exception family that handlers raise and the error boundary reports to the user.
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    // The sentence the error boundary shows in its message box.
    virtual std::string userMessage() const { return what(); }
};

// A list index or other argument outside its allowed range.
class InvalidArgumentError : public Error {
public:
    InvalidArgumentError();
};

// A fault while reading or writing an archive stream.
class ArchiveError : public Error {
public:
    enum class Cause { EndOfFile, BadFormat, Generic };
    ArchiveError(Cause cause, std::string fileName);
    Cause cause() const { return m_cause; }
    const std::string& fileName() const { return m_fileName; }
    std::string userMessage() const override;

private:
    Cause m_cause;
    std::string m_fileName;
};

// An operating-system level failure on a named file (open, write, flush, rename).
class FileError : public Error {
public:
    FileError(std::string fileName, std::string reason);
    const std::string& fileName() const { return m_fileName; }
    const std::string& reason() const { return m_reason; }
    std::string userMessage() const override;

private:
    std::string m_fileName;
    std::string m_reason;
};

// A local date and time that cannot be turned into a time value.
class InvalidTimeError : public Error {
public:
    InvalidTimeError();
};

} // namespace platform
