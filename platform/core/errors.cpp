// Texts of the error family.
#include "platform/core/errors.h"

#include "platform/core/format.h"

namespace platform {

InvalidArgumentError::InvalidArgumentError() : Error("An invalid argument was encountered.") {}

ArchiveError::ArchiveError(Cause cause, std::string fileName)
    : Error("archive error"), m_cause(cause), m_fileName(std::move(fileName))
{
}

std::string ArchiveError::userMessage() const
{
    switch (m_cause) {
    case Cause::EndOfFile:
        return format("An attempt was made to access %s past its end.", m_fileName.c_str());
    case Cause::BadFormat:
        return format("An unexpected file format was encountered while reading %s.", m_fileName.c_str());
    case Cause::Generic:
        break;
    }
    return format("An unexpected error occurred while accessing %s.", m_fileName.c_str());
}

FileError::FileError(std::string fileName, std::string reason)
    : Error("file error"), m_fileName(std::move(fileName)), m_reason(std::move(reason))
{
}

std::string FileError::userMessage() const
{
    return format("An error occurred while accessing %s: %s.", m_fileName.c_str(), m_reason.c_str());
}

InvalidTimeError::InvalidTimeError() : Error("The date and time could not be turned into a time value (invalid argument).") {}

} // namespace platform
