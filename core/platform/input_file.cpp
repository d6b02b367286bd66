// The members of a day's file opened for reading that are the same on every
// system. The system's own are in input_file_posix.cpp and
// input_file_windows.cpp, its InputFilePrivate in the private header that
// CMake names for it.

#include "platform.h"

#include ABSENCE_SYSTEM_P_H

namespace absence::platform {

InputFilePrivate *InputFilePrivateOf(const InputFile &file)
{
    return file.d.get();
}

InputFile::InputFile(const QString &path, Sharing sharing) : d(std::make_unique<InputFilePrivate>(path, sharing))
{
}
InputFile::~InputFile() = default;

InputFile::Outcome InputFile::outcome() const
{
    return d->outcome;
}

bool InputFile::Close()
{
    return d->Close();
}

} // namespace absence::platform
