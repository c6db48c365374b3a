#pragma once

namespace kelviq {

// A maximal horizontal run of selected pixels: columns begin .. end-1 of one row.
struct Run
{
    int begin;
    int end;
    friend bool operator==(const Run&, const Run&) = default;
};

} // namespace kelviq
