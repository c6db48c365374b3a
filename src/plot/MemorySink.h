#pragma once

#include "plot/ByteSink.h"

#include <cstddef>
#include <string>

namespace kelviq {

// A plot kept in memory: for the web page, which hands the bytes to the browser, and for
// whoever checks what a writer wrote.
class MemorySink final : public ByteSink
{
public:
    bool write(const char* data, std::size_t length) override
    {
        bytes.append(data, length);
        return true;
    }
    std::string errorString() const override { return {}; }

    std::string bytes;
};

} // namespace kelviq
