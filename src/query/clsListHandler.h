#pragma once

namespace korvalt {

// Empties the results list before a report fills it.
class clsListHandler {
public:
    // Removes every row; columns and sort settings stay.
    void ClearList();
};

} // namespace korvalt
