#pragma once

#include "database/access/JetFormat.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvalt::bench {

double median(std::vector<double> values);
double millisecondsOf(const std::function<void()>& work);

// False, with a note on standard output, when the benchmark file is absent.
bool accessFileAt(const std::string& path);

// The Pipe table of an Access file and its drawing of about 330 records (the
// first by name among equals), with the addresses of the drawing's rows.
struct DrawingToDelete {
    std::string drawing;
    std::uint32_t tdefPage = 0;
    std::vector<access::RowId> rows;
};
DrawingToDelete pickDrawing(const std::string& path);

} // namespace korvalt::bench
