#pragma once

#include <cstddef>
#include <string>

namespace kelviq {

// Where a writer's bytes go: a file, a device, memory. Writers hand over large blocks.
class ByteSink
{
public:
    virtual ~ByteSink() = default;

    // Takes all length bytes; false when it could not, with errorString() saying why.
    virtual bool write(const char* data, std::size_t length) = 0;
    // Why the last write failed (UTF-8).
    virtual std::string errorString() const = 0;
};

} // namespace kelviq
