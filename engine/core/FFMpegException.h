// Exceptions of the transcoding core: the one way a failure leaves a step of the core. The
// message of each is the user-visible text; the engine component catches std::exception at its
// boundary and keeps what() as the last error, the run wrapper as the terminate message.
#pragma once

#include <stdexcept>
#include <string>

namespace velto {

// A failure of the transcoding core: bad option values, set-up and run errors.
class FFMpegException : public std::runtime_error {
public:
    explicit FFMpegException(const std::string& message) : std::runtime_error(message) {}
};

// The failure of a library call: the core's text followed by the library's reason for code
// ("Error opening filters: Invalid argument").
FFMpegException LibraryFailure(const std::string& text, int code);

// A packet or frame the decoder refused. The loop logs it and goes on unless the task exits on
// errors; any other failure ends the run.
class TDecodeFailure : public FFMpegException {
public:
    using FFMpegException::FFMpegException;
};

// A second pass asked for fewer bits than the encoder's coarsest quantiser gives the first
// pass's pictures. Share is the rate asked for against the least the log allows; Shrinkable says
// that the job's picture could be made smaller instead.
class TRateOutOfReach : public FFMpegException {
public:
    TRateOutOfReach(const std::string& message, double share, bool shrinkable)
        : FFMpegException(message), Share(share), Shrinkable(shrinkable) {}
    double Share;
    bool Shrinkable;
};

// A malformed integer or floating-point option value ("'%s' is not a valid integer value").
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const std::string& message) : std::runtime_error(message) {}
};

// A violated precondition of an option value (a codec tag that is not four characters).
class EAssertionFailed : public std::runtime_error {
public:
    explicit EAssertionFailed(const std::string& message) : std::runtime_error(message) {}
};

} // namespace velto
