#pragma once

#include "plot/ByteSink.h"

#include <cstdint>

class QIODevice;

namespace kelviq {

// A writer's bytes onto a Qt device: a plot file, a device or FIFO, standard output. For a
// file, each block starts on its way to the disk at once.
class DeviceSink : public ByteSink
{
public:
    explicit DeviceSink(QIODevice* device) : m_device(device) {}

    bool write(const char* data, std::size_t length) override;
    std::string errorString() const override;

private:
    QIODevice* m_device;
    std::int64_t m_written = 0;
};

} // namespace kelviq
