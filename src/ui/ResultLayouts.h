#pragma once

#include <cstdint>
#include <vector>

namespace korvalt {

class ResultsListView;

// The column layouts of the results list, by layout code.
class ResultLayouts {
public:
    struct Column {
        const char* caption;
        int divisor; // the column is the list's width divided by this
    };

    // Columns of a layout; an unknown code has those of layout 1.
    static const std::vector<Column>& columns(std::int16_t code);
    static bool isKnown(std::int16_t code);

    // Removes every column and appends those of `code`, each as wide as the
    // list's current width divided by its divisor. Returns the code now
    // shown (1 for an unknown code).
    static std::int16_t apply(ResultsListView& list, std::int16_t code);
};

} // namespace korvalt
